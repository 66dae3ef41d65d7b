// Incoming reports: reads in 64-byte units within one total time-out on the
// virtual clock, late input staying queued, and the drain that throws away
// stale input after connecting.
#include <cstring>

#include "transport/transport_fixture.h"

namespace {

std::vector<uint8_t> ReportBytes(uint8_t seed) {
  return Pattern(64, seed, 7);
}

std::vector<uint8_t> Head(const std::vector<uint8_t>& bytes, size_t count) {
  return std::vector<uint8_t>(bytes.begin(), bytes.begin() + count);
}

class ReportReadTest : public TransportTest {
 protected:
  // One device that sends the given input reports unasked, open on the link.
  void OpenWithReports(std::initializer_list<nlohmann::json> reports,
                       const nlohmann::json& extra = {}) {
    nlohmann::json device = DeviceJson("a", "/dev/hidraw0");
    device["reports"] = nlohmann::json::array();
    for (const nlohmann::json& report : reports)
      device["reports"].push_back(report);
    if (extra.is_object())
      device.update(extra);
    LoadDevices({device});
    ASSERT_EQ(OpenLink("/dev/hidraw0"), 1);
  }

  // Reads one 64-byte unit; the bytes when it came, empty on a time-out.
  std::vector<uint8_t> ReadUnit(int32_t timeoutMs) {
    std::vector<uint8_t> unit(64);
    if (ReadReports(unit.data(), 64, timeoutMs) != 1)
      return {};
    return unit;
  }
};

TEST_F(ReportReadTest, HundredBytesAreOneReportAndPartOfTheNext) {
  OpenWithReports(
      {ReportAt(0, ReportBytes(1)), ReportAt(0, ReportBytes(2)), ReportAt(0, ReportBytes(3))});
  std::vector<uint8_t> buffer(128, 0xEE);
  ASSERT_EQ(ReadReports(buffer.data(), 100, 200), 1);
  EXPECT_EQ(Head(buffer, 100), Concat(ReportBytes(1), Head(ReportBytes(2), 36)));
  // Only 36 bytes were asked for the second unit.
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 100, buffer.end()),
            std::vector<uint8_t>(28, 0xEE));
  // The rest of the second report is gone: the next read gets the third.
  EXPECT_EQ(ReadUnit(200), ReportBytes(3));
  EXPECT_EQ(g_virtual.now, 0);
  EXPECT_TRUE(IoLockFree());
}

TEST_F(ReportReadTest, SilentDeviceTimesOutAfterExactlyTheTimeOut) {
  OpenWithReports({});
  uint8_t buffer[64];
  EXPECT_EQ(ReadReports(buffer, 64, 200), -1);
  EXPECT_EQ(g_virtual.now, 200);
  EXPECT_EQ(ReadReports(buffer, 64, 1000), -1);
  EXPECT_EQ(g_virtual.now, 1200);
  // A zero time-out looks once and does not wait.
  EXPECT_EQ(ReadReports(buffer, 64, 0), -1);
  EXPECT_EQ(g_virtual.now, 1200);
  EXPECT_TRUE(IoLockFree());
}

TEST_F(ReportReadTest, LateReplyStaysQueuedForTheNextRead) {
  OpenWithReports({ReportAt(300, ReportBytes(9))});
  EXPECT_TRUE(ReadUnit(200).empty());
  EXPECT_EQ(g_virtual.now, 200);
  EXPECT_EQ(ReadUnit(200), ReportBytes(9));
  EXPECT_EQ(g_virtual.now, 300);
}

TEST_F(ReportReadTest, LaterUnitsWaitOnlyForWhatIsLeftOfTheTimeOut) {
  OpenWithReports({ReportAt(50, ReportBytes(1)), ReportAt(150, ReportBytes(2))});
  std::vector<uint8_t> buffer(128, 0);
  EXPECT_EQ(ReadReports(buffer.data(), 128, 100), -1);
  EXPECT_EQ(g_virtual.now, 100);
  // What did arrive stays in the buffer.
  EXPECT_EQ(Head(buffer, 64), ReportBytes(1));
  EXPECT_EQ(ReadUnit(100), ReportBytes(2));
  EXPECT_EQ(g_virtual.now, 150);
}

TEST_F(ReportReadTest, SeveralUnitsWithinTheTimeOutSucceed) {
  OpenWithReports(
      {ReportAt(10, ReportBytes(1)), ReportAt(20, ReportBytes(2)), ReportAt(30, ReportBytes(3))});
  std::vector<uint8_t> buffer(192, 0);
  EXPECT_EQ(ReadReports(buffer.data(), 192, 100), 1);
  EXPECT_EQ(buffer, Concat(Concat(ReportBytes(1), ReportBytes(2)), ReportBytes(3)));
  // Returns as soon as the last unit is in, not at the time-out.
  EXPECT_EQ(g_virtual.now, 30);
}

TEST_F(ReportReadTest, BadArgumentsReadNothing) {
  OpenWithReports({ReportAt(0, ReportBytes(4))});
  uint8_t buffer[64];
  EXPECT_EQ(ReadReports(nullptr, 64, 100), 0);
  EXPECT_EQ(ReadReports(buffer, 0, 100), 0);
  EXPECT_EQ(ReadReports(buffer, -1, 100), 0);
  EXPECT_EQ(g_virtual.now, 0);
  EXPECT_EQ(ReadUnit(0), ReportBytes(4));
}

TEST_F(ReportReadTest, ClosedLinkTimesOutAtOnce) {
  OpenWithReports({ReportAt(0, ReportBytes(4))});
  CloseLink();
  uint8_t buffer[64];
  EXPECT_EQ(ReadReports(buffer, 64, 100), -1);
  EXPECT_EQ(g_virtual.now, 0);
}

TEST_F(ReportReadTest, DeviceThatLeftTheBusTimesOutAfterTheTimeOut) {
  OpenWithReports({}, {{"vanishAtMs", 10}});
  g_virtual.now = 20;
  uint8_t buffer[64];
  EXPECT_EQ(ReadReports(buffer, 64, 200), -1);
  EXPECT_EQ(g_virtual.now, 220);
}

TEST_F(ReportReadTest, DrainQuietDeviceIsDrainedForFiftyOneMilliseconds) {
  OpenWithReports({});
  g_virtual.now = 1000;
  DrainInput();
  EXPECT_EQ(g_virtual.now, 1051);
  EXPECT_TRUE(IoLockFree());
  // No sleeping: the drain polls.
  EXPECT_TRUE(g_virtual.sleeps.empty());
}

TEST_F(ReportReadTest, DrainStaleInputGoesAndLaterInputStays) {
  // Reports already queued or arriving within the drain are stale; those
  // still arriving in full reports at its end go too; one after it stays.
  OpenWithReports({ReportAt(0, ReportBytes(1)), ReportAt(0, ReportBytes(2)),
                   ReportAt(20, ReportBytes(3)), ReportAt(50, ReportBytes(4)),
                   ReportAt(51, ReportBytes(5)), ReportAt(51, ReportBytes(6)),
                   ReportAt(53, ReportBytes(7))});
  DrainInput();
  EXPECT_EQ(g_virtual.now, 51);
  EXPECT_EQ(ReadUnit(100), ReportBytes(7));
  EXPECT_EQ(g_virtual.now, 53);
  EXPECT_TRUE(ReadUnit(100).empty());
}

TEST_F(ReportReadTest, DrainClosedLinkIsNotDrained) {
  OpenWithReports({ReportAt(0, ReportBytes(1))});
  CloseLink();
  DrainInput();
  EXPECT_EQ(g_virtual.now, 0);
  EXPECT_TRUE(IoLockFree());
}

TEST_F(ReportReadTest, DrainDeviceThatLeftTheBusEndsTheDrainOnTime) {
  OpenWithReports({}, {{"vanishAtMs", 5}});
  g_virtual.now = 10;
  DrainInput();
  EXPECT_EQ(g_virtual.now, 61);
}

}  // namespace
