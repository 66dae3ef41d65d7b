// The shared bus's wire between a process and the bus process: frames led
// by their length, 4 bytes little-endian, whole messages or nothing, and the
// enumeration records carried across with their wide strings.
#include <gtest/gtest.h>
#include <hidapi/hidapi.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "shared_bus/device_info_json.h"
#include "shared_bus/wire.h"

namespace {

using nlohmann::json;

class SharedBusWireTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends_), 0); }
  void TearDown() override {
    for (int& fd : ends_) {
      if (fd >= 0)
        close(fd);
    }
  }
  void WriteRaw(const std::string& bytes) {
    ASSERT_EQ(write(ends_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string ReadRaw(size_t size) {
    std::string bytes(size, '\0');
    size_t got = 0;
    while (got < size) {
      ssize_t n = read(ends_[1], bytes.data() + got, size - got);
      if (n <= 0)
        break;
      got += static_cast<size_t>(n);
    }
    return bytes.substr(0, got);
  }
  static std::string Head(uint32_t size) {
    return std::string{static_cast<char>(size & 0xFF), static_cast<char>((size >> 8) & 0xFF),
                       static_cast<char>((size >> 16) & 0xFF), static_cast<char>(size >> 24)};
  }

  int ends_[2] = {-1, -1};
};

TEST_F(SharedBusWireTest, AFrameIsTheLengthLittleEndianThenTheJsonText) {
  json message = {{"call", "write"}, {"handle", 3}, {"hex", std::string(300, 'A')}};
  ASSERT_TRUE(emu::wire::Send(ends_[0], message));
  std::string body = message.dump();
  ASSERT_GT(body.size(), 256u);  // the length needs its second byte
  EXPECT_EQ(ReadRaw(4), Head(static_cast<uint32_t>(body.size())));
  EXPECT_EQ(ReadRaw(body.size()), body);
}

TEST_F(SharedBusWireTest, ReceiveTakesWholeFramesInOrder) {
  WriteRaw(Head(11) + "{\"call\":1}");  // one byte short: the next frame's first byte completes it
  WriteRaw(" " + Head(2) + "[]");
  json first;
  json second;
  ASSERT_TRUE(emu::wire::Receive(ends_[0], &first));
  ASSERT_TRUE(emu::wire::Receive(ends_[0], &second));
  EXPECT_EQ(first, json({{"call", 1}}));
  EXPECT_EQ(second, json::array());
}

TEST_F(SharedBusWireTest, ReceiveRefusesOversizeLengthsGarbageAndCutFrames) {
  json message;
  WriteRaw(Head(emu::wire::kMaxMessage + 1));
  EXPECT_FALSE(emu::wire::Receive(ends_[0], &message));
  WriteRaw(Head(5) + "{nope");
  EXPECT_FALSE(emu::wire::Receive(ends_[0], &message));
  WriteRaw(Head(10) + "{\"a\"");
  close(ends_[1]);
  ends_[1] = -1;
  EXPECT_FALSE(emu::wire::Receive(ends_[0], &message));
}

TEST_F(SharedBusWireTest, SendToAPeerThatHasGoneFailsWithoutASignal) {
  close(ends_[1]);
  ends_[1] = -1;
  EXPECT_FALSE(emu::wire::Send(ends_[0], json{{"call", "hello"}}));
}

TEST(SharedBusDeviceInfoTest, EnumerationRecordsCrossWithTheirStrings) {
  hid_device_info info{};
  std::string path = "/dev/hidraw7";
  std::wstring product = L"Empf\u00E4nger \u6D4B\U0001F600";
  info.path = path.data();
  info.vendor_id = 0x248A;
  info.product_id = 0x8266;
  info.release_number = 0x0102;
  info.product_string = product.data();
  info.interface_number = 2;
  info.bus_type = HID_API_BUS_USB;
  json list = emu::wire::InfoListToJson(&info);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0]["serial"].is_null());
  hid_device_info* back = emu::wire::InfoListFromJson(json::parse(list.dump()));
  ASSERT_NE(back, nullptr);
  EXPECT_STREQ(back->path, "/dev/hidraw7");
  EXPECT_EQ(back->vendor_id, 0x248A);
  EXPECT_EQ(back->product_id, 0x8266);
  EXPECT_EQ(back->release_number, 0x0102);
  EXPECT_EQ(std::wstring(back->product_string), product);
  EXPECT_EQ(back->serial_number, nullptr);
  EXPECT_EQ(back->manufacturer_string, nullptr);
  EXPECT_EQ(back->interface_number, 2);
  EXPECT_EQ(back->bus_type, HID_API_BUS_USB);
  EXPECT_EQ(back->next, nullptr);
  hid_free_enumeration(back);
  EXPECT_EQ(emu::wire::InfoListFromJson(json::object()), nullptr);
}

}  // namespace
