// Report framing and timing as the host sees it: accepted report lengths on
// Windows and on hidraw, report IDs on read, 64-byte replies and truncated
// reads, replies that outlive a read's
// time-out, exact virtual time-outs and the full-speed frame model.
#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

const char* kCollectionPath =
    "\\\\?\\hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    "001111000030}";
const char* kWindowsPath =
    "\\\\?\\hid#vid_248a&pid_8266&mi_01#7&1b2c3d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

class FramingTest : public EmulatedDeviceTest {
 protected:
  hid_device* OpenOnly(const json& device) {
    LoadScenario(Scenario(device));
    hid_device* dev = hid_open_path(device.value("path", "/dev/hidraw0").c_str());
    EXPECT_NE(dev, nullptr);
    return dev;
  }
};

TEST_F(FramingTest, NormalInterfaceOnWindowsTakesOnly65ByteReportsWithIdZero) {
  hid_device* dev = OpenOnly(Device({{"path", kWindowsPath}}));
  Bytes report(65, 0);
  report[1] = 0x0A;
  report[2] = 0x55;
  EXPECT_EQ(hid_write(dev, report.data(), 64), -1);
  EXPECT_EQ(hid_write(dev, report.data(), 66), -1);
  report[0] = 0x0A;  // a report ID the interface does not have
  EXPECT_EQ(hid_write(dev, report.data(), 65), -1);
  EXPECT_TRUE(Read(dev, 50).empty());  // nothing reached the device
  report[0] = 0x00;
  EXPECT_EQ(hid_write(dev, report.data(), 65), 65);
  EXPECT_EQ(Read(dev, 50), Padded({0x0A, 0x55}));
  hid_close(dev);
  EXPECT_EQ(Record()["devices"]["d"]["requests"].size(), 1u);
}

TEST_F(FramingTest, CollectionInterfaceTakes64ByteReportsLedByTheRequest) {
  hid_device* dev = OpenOnly(Device({{"path", kCollectionPath}}));
  EXPECT_EQ(Send(dev, {0x0A, 0x55}, false), -1);  // 65 bytes: wrong for a collection
  EXPECT_EQ(Send(dev, {0x0A, 0x56}, true), 64);
  EXPECT_EQ(Read(dev, 50), Padded({0x0A, 0x56, 0x00}));
  Bytes noId(64, 0);
  EXPECT_EQ(hid_write(dev, noId.data(), 64), -1);
  hid_close(dev);
}

// hidraw hands every report of at least two bytes to the device as written,
// a report ID 0 included; the device reads what it got. Without report IDs it
// takes 64 bytes behind the 0 a USB host drops, or 64 bytes as they are; with
// report ID 0x0A only a 64-byte report led by 0x0A.
TEST_F(FramingTest, HidrawPassesReportsOnAndTheDeviceReadsItsOwn) {
  hid_device* dev = OpenOnly(Device());
  EXPECT_EQ(Send(dev, {0x0A, 0x55}), 65);
  EXPECT_EQ(Read(dev, 50), Padded({0x0A, 0x55}));
  EXPECT_EQ(Send(dev, {0x0A, 0x56}, true), 64);
  EXPECT_EQ(Read(dev, 50), Padded({0x0A, 0x56}));
  Bytes tooLong(66, 0);
  tooLong[1] = 0x0A;
  tooLong[2] = 0x55;
  EXPECT_EQ(hid_write(dev, tooLong.data(), tooLong.size()), 66);
  EXPECT_EQ(hid_write(dev, tooLong.data(), 1), -1);  // no room for a report ID and data
  EXPECT_TRUE(Read(dev, 50).empty());
  hid_close(dev);
  EXPECT_EQ(Record()["devices"]["d"]["requests"].size(), 2u);
  EXPECT_EQ(Record()["devices"]["d"]["protocolErrors"],
            json::array({"output report of 66 bytes led by 0x00 not taken"}));

  dev = OpenOnly(Device({{"collection", true}}));
  EXPECT_EQ(Send(dev, {0x0A, 0x55}), 65);  // reaches the device as report ID 0
  EXPECT_TRUE(Read(dev, 50).empty());
  EXPECT_EQ(Send(dev, {0x0A, 0x55}, true), 64);
  EXPECT_EQ(Read(dev, 50), Padded({0x0A, 0x55}));
  hid_close(dev);
  EXPECT_EQ(Record()["devices"]["d"]["protocolErrors"],
            json::array({"output report of 65 bytes led by 0x00 not taken"}));
}

// The kernel drops an input report whose first byte is not a report ID the
// descriptor declares; without report IDs every report reaches the host.
TEST_F(FramingTest, HidrawDropsInputWithAnUndeclaredReportId) {
  json wrongLead = {{{"command", "0x56"}, {"action", "wrongLead"}}};
  hid_device* dev = OpenOnly(Device({{"faults", wrongLead}}));
  ASSERT_EQ(Send(dev, {0x0A, 0x56}), 65);
  EXPECT_EQ(Read(dev, 50), Padded({0x0B, 0x56, 0x00}));
  hid_close(dev);
  dev = OpenOnly(Device({{"collection", true}, {"faults", wrongLead}}));
  ASSERT_EQ(Send(dev, {0x0A, 0x56}, true), 64);
  ASSERT_EQ(Send(dev, {0x0A, 0x55}, true), 64);
  EXPECT_EQ(Read(dev, 50), Padded({0x0A, 0x55}));  // the 0B 56 reply never shows
  EXPECT_TRUE(Read(dev, 50).empty());
  hid_close(dev);
  // A Windows collection passes it on: there the report ID is the collection's.
  dev = OpenOnly(Device({{"path", kCollectionPath}, {"faults", wrongLead}}));
  ASSERT_EQ(Send(dev, {0x0A, 0x56}, true), 64);
  EXPECT_EQ(Read(dev, 50), Padded({0x0B, 0x56, 0x00}));
  hid_close(dev);
}

TEST_F(FramingTest, CollectionModeCanBeForcedEitherWay) {
  // Upper-case "COL" does not make a collection path; the key overrides.
  hid_device* dev = OpenOnly(Device({{"path", "\\\\?\\HID#VID_248A&PID_8266&MI_01&COL02#1"}}));
  EXPECT_EQ(Send(dev, {0x0A, 0x55}), 65);
  hid_close(dev);
  dev = OpenOnly(Device({{"path", kWindowsPath}, {"collection", true}}));
  EXPECT_EQ(Send(dev, {0x0A, 0x55}), -1);
  EXPECT_EQ(Send(dev, {0x0A, 0x55}, true), 64);
  hid_close(dev);
}

TEST_F(FramingTest, RepliesAre64BytesAndShortReadsDropTheRest) {
  hid_device* dev = OpenOnly(Device({{"controllerVersion", "0102030004000000"}}));
  ASSERT_EQ(Send(dev, {0x0A, 0x00, 0x00}), 65);
  Bytes full = Read(dev, 200, 100);
  EXPECT_EQ(full, Padded({0x0A, 0x00, 0x00, 1, 2, 3, 0, 4, 0, 0, 0}));
  ASSERT_EQ(Send(dev, {0x0A, 0x00, 0x00}), 65);
  ASSERT_EQ(Send(dev, {0x0A, 0x56}), 65);
  EXPECT_EQ(Read(dev, 200, 4), (Bytes{0x0A, 0x00, 0x00, 1}));
  // The next read starts with the next report, not the rest of the first.
  EXPECT_EQ(Read(dev, 200, 8), (Bytes{0x0A, 0x56, 0, 0, 0, 0, 0, 0}));
  hid_close(dev);
}

TEST_F(FramingTest, TimeOutsAdvanceTheVirtualClockExactly) {
  hid_device* dev = OpenOnly(Device({{"timing", {{"replyMs", 30}}}}));
  g_virtual.now = 1000;
  EXPECT_TRUE(Read(dev, 200).empty());
  EXPECT_EQ(Now(), 1200);
  EXPECT_TRUE(Read(dev, 0).empty());
  EXPECT_EQ(Now(), 1200);
  ASSERT_EQ(Send(dev, {0x0A, 0x55}), 65);
  EXPECT_EQ(Read(dev, 200).size(), 64u);
  EXPECT_EQ(Now(), 1230);  // the read returned when the reply arrived
  hid_close(dev);
}

TEST_F(FramingTest, LateReplyStaysQueuedForTheNextRead) {
  hid_device* dev = OpenOnly(Device({{"timing", {{"replyMs", 250}}}}));
  ASSERT_EQ(Send(dev, {0x0A, 0x55}), 65);
  EXPECT_TRUE(Read(dev, 200).empty());
  EXPECT_EQ(Now(), 200);
  ASSERT_EQ(Send(dev, {0x0A, 0x56}), 65);
  EXPECT_EQ(Read(dev, 200), Padded({0x0A, 0x55}));
  EXPECT_EQ(Now(), 250);
  EXPECT_EQ(Read(dev, 300), Padded({0x0A, 0x56}));
  EXPECT_EQ(Now(), 450);
  hid_close(dev);
}

TEST_F(FramingTest, BlockingReadWaitsForTheReplyOrGivesUpBounded) {
  hid_device* dev = OpenOnly(Device({{"timing", {{"replyMs", 40}}}}));
  Bytes buffer(64);
  ASSERT_EQ(Send(dev, {0x0A, 0x55}), 65);
  EXPECT_EQ(hid_read(dev, buffer.data(), buffer.size()), 64);
  EXPECT_EQ(Now(), 40);
  EXPECT_EQ(hid_read(dev, buffer.data(), buffer.size()), 0);  // nothing due: bounded wait
  EXPECT_EQ(Now(), 1040);
  EXPECT_EQ(hid_set_nonblocking(dev, 1), 0);
  int32_t before = Now();
  EXPECT_EQ(hid_read(dev, buffer.data(), buffer.size()), 0);
  EXPECT_EQ(Now(), before);
  hid_close(dev);
}

TEST_F(FramingTest, InputIsPerHandleAndLostWithoutListener) {
  LoadScenario(Scenario(Device({{"timing", {{"replyMs", 10}}}})));
  hid_device* a = hid_open_path("/dev/hidraw0");
  ASSERT_EQ(Send(a, {0x0A, 0x55}), 65);
  hid_close(a);  // the reply comes while nobody listens
  g_virtual.now = 20;
  hid_device* b = hid_open_path("/dev/hidraw0");
  EXPECT_TRUE(Read(b, 100).empty());
  hid_close(b);
}

TEST_F(FramingTest, UnsolicitedReportsWaitForAListener) {
  hid_device* dev = OpenOnly(Device({{"reports", {{{"atMs", 100}, {"hex", "0A9900"}}}}}));
  EXPECT_EQ(Read(dev, 500), Padded({0x0A, 0x99}));
  EXPECT_EQ(Now(), 100);
  hid_close(dev);
  LoadScenario(Scenario(Device({{"reports", {{{"atMs", 100}, {"hex", "0A98"}}}}})));
  g_virtual.now = 700;
  dev = hid_open_path("/dev/hidraw0");
  EXPECT_EQ(Read(dev, 0), Padded({0x0A, 0x98}));
  hid_close(dev);
}

TEST_F(FramingTest, FullSpeedFramesPaceWritesAndReplies) {
  hid_device* dev =
      OpenOnly(Device({{"timing", {{"replyMs", 0}, {"usbFrameUs", 1000}}},
                       {"faults", {{{"command", "0x56"}, {"action", "stray"}, {"hex", "0A99"}}}}}));
  g_virtual.now = 10;
  ASSERT_EQ(Send(dev, {0x0A, 0x55}), 65);
  ASSERT_EQ(Send(dev, {0x0A, 0x56}), 65);  // waits for the next OUT slot
  EXPECT_EQ(Now(), 11);
  ASSERT_EQ(Send(dev, {0x0A, 0x55}), 65);
  EXPECT_EQ(Now(), 12);
  // One input report per frame: the stray report takes the reply's frame.
  EXPECT_EQ(Read(dev, 100), Padded({0x0A, 0x55}));
  EXPECT_EQ(Read(dev, 100), Padded({0x0A, 0x99}));
  EXPECT_EQ(Read(dev, 100), Padded({0x0A, 0x56}));
  EXPECT_EQ(Now(), 12);
  EXPECT_EQ(Read(dev, 100), Padded({0x0A, 0x55}));
  EXPECT_EQ(Now(), 13);
  const json& requests = Record()["devices"]["d"]["requests"];
  EXPECT_EQ(requests[0]["atMs"], 10.0);
  EXPECT_EQ(requests[1]["atMs"], 11.0);
  EXPECT_EQ(requests[2]["atMs"], 12.0);
  hid_close(dev);
}

}  // namespace
