// Outgoing reports: framing with and without a report-ID byte, cutting data
// into 64-byte reports, the pause between reports, and a failed write
// closing the link.
#include <set>

#include "transport/device_discovery.h"
#include "transport/report_descriptor.h"
#include "transport/transport_fixture.h"

namespace {

const char kCollectionPath[] =
    "\\\\?\\hid#vid_248a&pid_8266&mi_01&col02#7&1b2c3d&0&0001#{4d1e55b2-f16f-11cf-88cb-"
    "001111000030}";

class ReportWriteTest : public TransportTest {
 protected:
  // Two devices that ignore what they receive: one with a report-ID byte,
  // one addressed as a top-level collection.
  void OpenQuietDevice(bool collection) {
    nlohmann::json normal = DeviceJson("normal", "/dev/hidraw0");
    nlohmann::json col = DeviceJson("col", kCollectionPath);
    normal["protocol"] = false;
    col["protocol"] = false;
    LoadDevices({normal, col});
    ASSERT_EQ(OpenLink(collection ? kCollectionPath : "/dev/hidraw0"), 1);
    ASSERT_EQ(HidLink.collectionMode, collection);
  }

  // After a failed write the link is closed in every part, and the closed
  // link does nothing.
  void ExpectLinkClosed() {
    EXPECT_EQ(HidLink.device, nullptr);
    EXPECT_FALSE(HidLink.hasPath);
    EXPECT_FALSE(HidLink.hasDeviceLock);
    EXPECT_TRUE(g_virtual.locksHeldHere.empty());
    EXPECT_TRUE(IoLockFree());
    int32_t now = g_virtual.now;
    uint8_t buffer[64];
    EXPECT_EQ(WriteReports(buffer, 1), 0);
    EXPECT_EQ(ReadReports(buffer, 64, 1000), -1);
    DrainInput();
    EXPECT_EQ(g_virtual.now, now);
  }
};

TEST_F(ReportWriteTest, CollectionModeSendsTheCallersFirstByteAsReportId) {
  OpenQuietDevice(true);
  std::vector<uint8_t> data = Concat({0x0A, 0x55}, Pattern(8, 0xC1));
  ASSERT_EQ(WriteReports(data.data(), 10), 1);
  EXPECT_EQ(WrittenLengths("col"), std::vector<int>({64}));
  EXPECT_EQ(WrittenHex("col"), std::vector<std::string>({HexOf(Concat(data, Zeros(54)))}));
  EXPECT_TRUE(IoLockFree());
}

// hidraw hands a leading 0 to a device with report IDs as report ID 0, which
// it does not have: the interface's report descriptor decides the framing.
TEST_F(ReportWriteTest, ReportDescriptorWithReportIdsSelectsCollectionMode) {
  nlohmann::json numbered = DeviceJson("numbered", "/dev/hidraw0");
  numbered["collection"] = true;
  LoadDevices({numbered, DeviceJson("plain", "/dev/hidraw1")});
  g_virtual.reportDescriptors["/dev/hidraw0"] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                 0x85, 0x0A, 0x95, 0x3F, 0x91, 0x02, 0xC0};
  g_virtual.reportDescriptors["/dev/hidraw1"] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1,
                                                 0x01, 0x95, 0x40, 0x91, 0x02, 0xC0};
  const uint8_t request[2] = {0x0A, 0x55};
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  EXPECT_TRUE(HidLink.collectionMode);
  ASSERT_EQ(WriteReports(request, 2), 1);
  EXPECT_EQ(WrittenLengths("numbered"), std::vector<int>({64}));
  ASSERT_EQ(OpenLink("/dev/hidraw1"), 1);
  EXPECT_FALSE(HidLink.collectionMode);
  ASSERT_EQ(WriteReports(request, 2), 1);
  EXPECT_EQ(WrittenLengths("plain"), std::vector<int>({65}));
  // No descriptor to read: the path alone decides, as before.
  g_virtual.reportDescriptors.clear();
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  EXPECT_FALSE(HidLink.collectionMode);
}

TEST(ReportDescriptorTest, FindsAReportIdItemAmongShortAndLongItems) {
  struct Row {
    const char* label;
    std::vector<uint8_t> descriptor;
    bool numbered;
  };
  const std::vector<Row> rows = {
      {"empty", {}, false},
      {"no report ID",
       {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x95, 0x40, 0x81, 0x02, 0xC0},
       false},
      {"report ID 0x0A", {0x06, 0x00, 0xFF, 0xA1, 0x01, 0x85, 0x0A, 0x95, 0x3F, 0xC0}, true},
      // 0x85 as the data of another item is no report ID.
      {"0x85 inside item data", {0x26, 0x85, 0x00, 0x95, 0x85, 0xC0}, false},
      {"four-byte item data", {0x27, 0x85, 0x85, 0x85, 0x85, 0xC0}, false},
      {"after a long item", {0xFE, 0x02, 0x10, 0x85, 0x85, 0x85, 0x01}, true},
      {"long item hiding 0x85", {0xFE, 0x03, 0x10, 0x85, 0x01, 0x00}, false},
      {"truncated report ID item", {0xA1, 0x01, 0x85}, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(DescriptorNumbersReports(row.descriptor.data(), row.descriptor.size()), row.numbered)
        << row.label;
  }
  EXPECT_FALSE(DescriptorNumbersReports(nullptr, 4));
}

TEST_F(ReportWriteTest, NormalModePutsReportIdZeroInFront) {
  OpenQuietDevice(false);
  std::vector<uint8_t> data = Concat({0x0A, 0x55}, Pattern(8, 0xC1));
  ASSERT_EQ(WriteReports(data.data(), 10), 1);
  EXPECT_EQ(WrittenLengths("normal"), std::vector<int>({65}));
  EXPECT_EQ(WrittenHex("normal"),
            std::vector<std::string>({HexOf(Concat(Concat({0x00}, data), Zeros(54)))}));
  EXPECT_TRUE(IoLockFree());
}

TEST_F(ReportWriteTest, SixtyFourBytesFillOneReportWithoutPause) {
  OpenQuietDevice(false);
  g_virtual.now = 500;
  std::vector<uint8_t> data = Pattern(64, 0x10);
  ASSERT_EQ(WriteReports(data.data(), 64), 1);
  EXPECT_EQ(WrittenHex("normal"), std::vector<std::string>({HexOf(Concat({0x00}, data))}));
  EXPECT_EQ(g_virtual.now, 500);
}

TEST_F(ReportWriteTest, SixtyFiveBytesTakeTwoReportsOneTickApart) {
  OpenQuietDevice(false);
  g_virtual.now = 500;
  std::vector<uint8_t> data = Pattern(65, 0x10);
  ASSERT_EQ(WriteReports(data.data(), 65), 1);
  std::vector<uint8_t> first =
      Concat({0x00}, std::vector<uint8_t>(data.begin(), data.begin() + 64));
  std::vector<uint8_t> second = Concat({0x00, data[64]}, Zeros(63));
  EXPECT_EQ(WrittenLengths("normal"), std::vector<int>({65, 65}));
  EXPECT_EQ(WrittenHex("normal"), std::vector<std::string>({HexOf(first), HexOf(second)}));
  EXPECT_EQ(WrittenAt("normal"), std::vector<double>({500, 501}));
  // No pause after the last report.
  EXPECT_EQ(g_virtual.now, 501);
}

TEST_F(ReportWriteTest, LongWriteInCollectionModeIsPacedReportByReport) {
  OpenQuietDevice(true);
  g_virtual.now = 40;
  std::vector<uint8_t> data = Pattern(200, 0x0B, 3);
  // The device takes only its own report ID in front of each report.
  for (size_t offset = 0; offset < 200; offset += 64)
    data[offset] = 0x0A;
  ASSERT_EQ(WriteReports(data.data(), 200), 1);
  std::vector<std::string> expected;
  for (size_t offset = 0; offset < 200; offset += 64) {
    size_t size = std::min<size_t>(64, 200 - offset);
    std::vector<uint8_t> chunk(data.begin() + offset, data.begin() + offset + size);
    expected.push_back(HexOf(Concat(chunk, Zeros(64 - size))));
  }
  EXPECT_EQ(WrittenHex("col"), expected);
  EXPECT_EQ(WrittenLengths("col"), std::vector<int>({64, 64, 64, 64}));
  EXPECT_EQ(WrittenAt("col"), std::vector<double>({40, 41, 42, 43}));
  EXPECT_EQ(g_virtual.now, 43);
}

TEST_F(ReportWriteTest, NothingIsSentForMissingOrEmptyData) {
  OpenQuietDevice(false);
  uint8_t byte = 0x0A;
  EXPECT_EQ(WriteReports(nullptr, 10), 0);
  EXPECT_EQ(WriteReports(&byte, 0), 0);
  EXPECT_EQ(WriteReports(&byte, -64), 0);
  EXPECT_TRUE(Writes("normal").empty());
  EXPECT_EQ(g_virtual.now, 0);
  // Bad arguments do not close the link.
  EXPECT_NE(HidLink.device, nullptr);
  EXPECT_EQ(WriteReports(&byte, 1), 1);
  EXPECT_EQ(Writes("normal").size(), 1u);
}

TEST_F(ReportWriteTest, NothingIsSentWithoutADevice) {
  OpenQuietDevice(false);
  CloseLink();
  uint8_t byte = 0x0A;
  EXPECT_EQ(WriteReports(&byte, 1), 0);
  EXPECT_TRUE(Writes("normal").empty());
}

TEST_F(ReportWriteTest, RejectedReportClosesTheLink) {
  nlohmann::json device = DeviceJson("a", "/dev/hidraw0");
  device["faults"] = nlohmann::json::array({{{"action", "writeFails"}, {"afterWrites", 1}}});
  LoadDevices({device});
  ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  g_virtual.now = 10;
  std::vector<uint8_t> data = Concat({0x0A, 0x55}, Pattern(128, 0x01));
  EXPECT_EQ(WriteReports(data.data(), 130), 0);
  // One pause after the first report, none after the failure, and the third
  // report is never tried.
  EXPECT_EQ(g_virtual.now, 11);
  // The record keeps the rejected write as well.
  std::vector<std::string> hex = WrittenHex("a");
  ASSERT_EQ(hex.size(), 2u);
  EXPECT_EQ(hex[0], HexOf(Concat({0x00}, std::vector<uint8_t>(data.begin(), data.begin() + 64))));
  EXPECT_EQ(hex[1],
            HexOf(Concat({0x00}, std::vector<uint8_t>(data.begin() + 64, data.begin() + 128))));
  ExpectLinkClosed();
}

TEST_F(ReportWriteTest, DeviceWithAnotherReportLengthClosesTheLink) {
  // A collection-style device behind a Windows path that does not say so:
  // it takes 64-byte reports, the link sends 65, and Windows refuses them.
  const char kPath[] = "\\\\?\\hid#vid_248a&pid_8266&mi_01#7&1b2c3d&0&0000#{4d1e55b2}";
  nlohmann::json device = DeviceJson("a", kPath);
  device["collection"] = true;
  LoadDevices({device});
  ASSERT_EQ(OpenLink(kPath), 1);
  uint8_t request[2] = {0x0A, 0x55};
  EXPECT_EQ(WriteReports(request, 2), 0);
  ExpectLinkClosed();
}

TEST_F(ReportWriteTest, ClosedLinkNoLongerNamesADeviceInAList) {
  nlohmann::json device = DeviceJson("a", "/dev/hidraw0");
  device["faults"] = nlohmann::json::array({{{"action", "writeFails"}, {"afterWrites", 0}}});
  LoadDevices({device});
  ASSERT_EQ(RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface), 1);
  ASSERT_EQ(OpenLink(KnownDevices.entries.front().path.c_str()), 1);
  uint8_t request[2] = {0x0A, 0x55};
  ASSERT_EQ(WriteReports(request, 2), 0);
  RemoveDeviceByPath(&KnownDevices, HidLink.hasPath ? HidLink.path.c_str() : nullptr);
  EXPECT_EQ(KnownDevices.entries.size(), 1u);
  ASSERT_EQ(KnownDevices.entries.size(), 1u);
  EXPECT_EQ(KnownDevices.entries.front().path, "/dev/hidraw0");
}

}  // namespace
