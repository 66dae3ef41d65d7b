// Finding the command's device and waiting for a restarted one.
#include "dfu/connection.h"

#include "console/loaded_images.h"
#include "dfu/mode_control.h"
#include "image/image_store.h"
#include "output/log_printers.h"
#include "support/dfu_fixture.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"
#include "transport/device_selection.h"
#include "transport/hid_link.h"

namespace {

using Strings = std::vector<std::string>;

TEST_F(DfuTest, ScanDelayByKindAndTimeout) {
  EXPECT_EQ(ScanDelay(kWaitRestart, 20000), 3000);
  EXPECT_EQ(ScanDelay(kWaitRestart, 12000), 3000);
  EXPECT_EQ(ScanDelay(kWaitRestart, 10000), 2500);
  EXPECT_EQ(ScanDelay(kWaitRestart, 11999), 2999);
  EXPECT_EQ(ScanDelay(kWaitBootloader, 20000), 0);
  EXPECT_EQ(ScanDelay(kWaitForcedMode, 10000), 0);
}

// The first probe of a device already on the bus but unknown shows when the
// wait's first scan happened: sleep 200 ms per cycle, then 200 ms settle.
// Record times count from the scenario's load.
double FirstProbeTime(WaitKind kind, int32_t timeout) {
  ClearDevices(&KnownDevices);
  RunRecord record;
  WaitForReturn(DeviceSelection(), kind, timeout, &record);
  CloseLink();
  return emu::Record()["devices"]["dev"]["requests"].at(0)["atMs"].get<double>();
}

TEST_F(DfuTest, WaitScansAfterItsDelay) {
  LoadDevice();
  EXPECT_DOUBLE_EQ(FirstProbeTime(kWaitRestart, 20000), 3000 + 200);
  LoadDevice();
  EXPECT_DOUBLE_EQ(FirstProbeTime(kWaitRestart, 10000), 2600 + 200);
  LoadDevice();
  EXPECT_DOUBLE_EQ(FirstProbeTime(kWaitBootloader, 10000), 200 + 200);
  LoadDevice();
  EXPECT_DOUBLE_EQ(FirstProbeTime(kWaitForcedMode, 10000), 200 + 200);
}

TEST_F(DfuTest, ConnectTriesEveryMatchingDeviceOnceAndDrains) {
  nlohmann::json silent =
      Device({{"name", "silent"}, {"path", "/dev/hidraw1"}, {"protocol", false}});
  nlohmann::json other =
      Device({{"name", "other"}, {"path", "/dev/hidraw2"}, {"productId", "0x1111"}});
  // A report that arrives just after the handshake's reply (at 801 ms).
  nlohmann::json dev = Device({{"reports", {{{"atMs", 820}, {"hex", "0A9999"}}}}});
  LoadDevices({silent, other, dev});
  CurrentDevices.vendorId = 0x248A;
  CurrentDevices.productId = 0x8266;
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 1);
  EXPECT_EQ(HidLink.path, kPath);
  EXPECT_EQ(
      TakeOutput(),
      ">>: Query connected device: \"Quorvel Test Mouse(HID\\VID_248A&PID_8266&REV_0100)\"\n");
  EXPECT_TRUE(Record()["devices"]["other"]["requests"].empty());
  EXPECT_EQ(KnownDevices.entries.size(), 2u);
  // The stray report queued before the connection was drained.
  EXPECT_EQ(Handshake(), 1);
}

class SelectionTest : public DfuTest {
 protected:
  // Three dongles alike but for their serial numbers and ports.
  static std::vector<nlohmann::json> IdenticalDongles() {
    g_virtual.ports = {{"/dev/hidraw1", "1-1"}, {"/dev/hidraw2", "1-2"}, {"/dev/hidraw3", "1-3.4"}};
    return {Device({{"name", "a"}, {"path", "/dev/hidraw1"}, {"serial", "QV-A"}}),
            Device({{"name", "b"}, {"path", "/dev/hidraw2"}, {"serial", "QV-B"}}),
            Device({{"name", "c"}, {"path", "/dev/hidraw3"}})};
  }
  static int Opens(const char* name) {
    return static_cast<int>(emu::Record()["devices"][name]["opens"].size());
  }
};

TEST_F(SelectionTest, SelectionConnectsOnlyTheDeviceWithThatSerialOrPort) {
  struct Case {
    DeviceSelection selection;  // serial, port, whether serials ignore case
    const char* path;           // nullptr: none connects
  };
  const Case cases[] = {
      {{"QV-B", "", false}, "/dev/hidraw2"},
      {{"", "1-3.4", false}, "/dev/hidraw3"},
      {{"QV-A", "1-1", false}, "/dev/hidraw1"},
      {{"qv-b", "", false}, nullptr},  // serial numbers compare exactly
      {{"qv-b", "", true}, "/dev/hidraw2"},
      {{"QV-A", "1-2", false}, nullptr},  // both must hold
      {{"", "1-3", false}, nullptr},      // a port is not a prefix
      {{"QV-C", "", false}, nullptr},     // c reports no serial number
      {{"QV-C", "", true}, nullptr},      // nor without regard to case
  };
  for (const Case& c : cases) {
    LoadDevices(IdenticalDongles());
    CurrentDevices.vendorId = 0x248A;
    CurrentDevices.productId = 0x8266;
    selection = c.selection;
    record = RunRecord();  // each case is a command of its own
    std::string label = c.selection.serial + "/" + c.selection.port;
    EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), c.path ? 1 : 0) << label;
    EXPECT_EQ(HidLink.path, c.path ? c.path : "") << label;
    // The others were never even opened.
    EXPECT_EQ(Opens("a") + Opens("b") + Opens("c"), c.path ? 1 : 0) << label;
    if (c.path) {
      EXPECT_EQ(record.connected.path, c.path);
    }
    CloseLink();
  }
  // Without a selection the first one answers, as ever.
  LoadDevices(IdenticalDongles());
  selection = DeviceSelection();
  record = RunRecord();
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 1);
  EXPECT_EQ(HidLink.path, "/dev/hidraw1");
  EXPECT_EQ(record.connected.serial, "QV-A");
  EXPECT_EQ(record.connected.port, "1-1");
}

TEST_F(SelectionTest, SelectedDeviceThatIsAbsentIsWaitedForWithOneLineOnStandardError) {
  std::vector<nlohmann::json> devices = IdenticalDongles();
  devices[1]["appearAtMs"] = 5000;
  LoadDevices(devices);
  CurrentDevices.vendorId = 0x248A;
  CurrentDevices.productId = 0x8266;
  selection = {"QV-B", "", false};
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  EXPECT_GE(g_virtual.now, 5000);
  EXPECT_EQ(HidLink.path, "/dev/hidraw2");
  EXPECT_EQ(g_virtual.err,
            "quorvel-dfu: waiting for device 248A:8266 (any interface) with serial number QV-B "
            "to be connected and to answer; press Ctrl-C to stop\n");
  EXPECT_EQ(Opens("a") + Opens("c"), 0);
  CloseLink();
  g_virtual.err.clear();
  selection = DeviceSelection();
  record = RunRecord();
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 1);
  EXPECT_EQ(g_virtual.err, "");  // nothing without a selection
}

// After a restart every newly attached interface is a candidate, whatever
// its IDs; with a selection only the selected one, so that the restarted
// device of another instance is never probed.
TEST_F(SelectionTest, WaitsFollowOnlyTheSelectedDevice) {
  LoadDevices(IdenticalDongles());
  ClearDevices(&KnownDevices);
  selection = {"", "1-3.4", false};
  EXPECT_TRUE(WaitForReturn(selection, kWaitBootloader, 10000, &record));
  EXPECT_EQ(HidLink.path, "/dev/hidraw3");
  EXPECT_EQ(Opens("a") + Opens("b"), 0);
  CloseLink();
  LoadDevices(IdenticalDongles());
  ClearDevices(&KnownDevices);
  selection = {"QV-Z", "", false};
  TakeOutput();
  EXPECT_FALSE(WaitForReturn(selection, kWaitBootloader, 10000, &record));
  EXPECT_EQ(Opens("a") + Opens("b") + Opens("c"), 0);
  EXPECT_EQ(HidLink.path, "");
}

// The wait's snapshot saw another dongle under /dev/hidraw1; when that node
// leads to the selected dongle after the restarts (the system handed the
// freed node on), it is a new interface and is found. While the node still
// leads to the device the snapshot saw, it stays known and is not probed.
TEST_F(SelectionTest, AKnownNodeThatNowLeadsToAnotherDeviceIsACandidate) {
  struct Row {
    const char* portAtSnapshot;
    bool found;
  } rows[] = {{"1-2", true}, {"1-1", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.portAtSnapshot);
    LoadDevices({IdenticalDongles()[0]});
    g_virtual.ports["/dev/hidraw1"] = row.portAtSnapshot;
    RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface);
    g_virtual.ports["/dev/hidraw1"] = "1-1";
    selection = {"", "1-1", false};
    EXPECT_EQ(WaitForReturn(selection, kWaitBootloader, 2000, &record), row.found);
    EXPECT_EQ(Opens("a"), row.found ? 1 : 0);
    CloseLink();
    TakeOutput();
  }
}

TEST_F(DfuTest, ConnectWithoutDeviceMakesOneQuietScan) {
  LoadDevices({Device({{"productId", "0x1111"}})});
  CurrentDevices.vendorId = 0x248A;
  CurrentDevices.productId = 0x8266;
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), "");
  EXPECT_EQ(g_virtual.sleeps, (std::vector<int32_t>{400, 200}));
}

TEST_F(DfuTest, ConnectWaitsForADeviceThatAppearsLater) {
  nlohmann::json busy = Device({{"name", "busy"}, {"path", "/dev/hidraw1"}, {"protocol", false}});
  LoadDevices({busy, Device({{"appearAtMs", 5000}})});
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  EXPECT_EQ(HidLink.path, kPath);
  EXPECT_GE(g_virtual.now, 5000);
  // The silent device was probed once only, in the first cycle.
  EXPECT_EQ(Record()["devices"]["busy"]["requests"].size(), 1u);
}

TEST_F(DfuTest, StatusHandshakeConnectsButIsRejectedByAPlainWait) {
  LoadDevice({{"handshake", {{"status", 3}}}});
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 1);
  CloseLink();
  ClearDevices(&KnownDevices);
  EXPECT_FALSE(WaitForReturn(selection, kWaitRestart, 10000, &record));
  std::string out = TakeOutput();
  EXPECT_NE(out.find(">> Timeout not waiting to connect failed! ("), std::string::npos);
  EXPECT_EQ(HidLink.device, nullptr);
}

TEST_F(DfuTest, KnownDevicesAreNotCandidatesButNewOnesAre) {
  nlohmann::json old = Device({{"name", "old"}, {"path", "/dev/hidraw5"}});
  LoadDevices({old, Device({{"appearAtMs", 1000}})});
  RefreshDevices(&KnownDevices,
                 DeviceFilter::kEveryInterface);  // only the old device is on the bus
  g_virtual.sleeps.clear();
  EXPECT_TRUE(WaitForReturn(selection, kWaitBootloader, 10000, &record));
  EXPECT_EQ(HidLink.path, kPath);
  EXPECT_TRUE(Record()["devices"]["old"]["requests"].empty());
  // The refresh above took its 200 ms settle time: cycles at 400 and 800 ms
  // scan, the second finds the device at 1000 ms; the drain adds 51 ms.
  EXPECT_EQ(TakeOutput(),
            ">> Wait to restart to the bootloader run (Timeout: 10 s)\n"
            "\r>>:   2%\r>>:   6%\r>>: 100%\n"
            ">> : Successful execution! (0.852s, 1.052s)\n");
}

TEST_F(DfuTest, RestartedDeviceWithTheSamePathIsFoundAgain) {
  LoadDevice();
  Open();
  EXPECT_TRUE(RestartDevice());
  TakeOutput();
  EXPECT_TRUE(WaitForReturn(selection, kWaitRestart, 10000, &record));
  std::string out = TakeOutput();
  EXPECT_NE(out.find(">> Wait to restart connection (Timeout: 10 s)\n"), std::string::npos);
  EXPECT_NE(out.find(">>: Wait to connect to the device: \"Quorvel Test Mouse"), std::string::npos);
  EXPECT_EQ(HidLink.path, kPath);
}

TEST_F(DfuTest, VanishedKnownDevicesArePrunedOnePerScan) {
  nlohmann::json a = Device({{"name", "a"}, {"path", "/dev/hidraw5"}, {"vanishAtMs", 300}});
  nlohmann::json b = Device({{"name", "b"}, {"path", "/dev/hidraw6"}, {"vanishAtMs", 300}});
  LoadDevices({a, b});
  RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface);
  EXPECT_EQ(KnownDevices.entries.size(), 2u);
  // One scan before the time-out: one of the two vanished entries goes.
  EXPECT_FALSE(WaitForReturn(selection, kWaitBootloader, 400, &record));
  ASSERT_EQ(KnownDevices.entries.size(), 1u);
  EXPECT_EQ(KnownDevices.entries.front().path, "/dev/hidraw6");
  EXPECT_FALSE(WaitForReturn(selection, kWaitBootloader, 400, &record));
  EXPECT_EQ(KnownDevices.entries.size(), 0u);
}

void LoadOnePartVersion(const char* hex) {
  uint8_t bytes[64] = {};
  TwoPartImage = false;
  StoreProgramImage(bytes, sizeof(bytes), &LoadedImages.program);
  for (int i = 0; i < 8; ++i) {
    ProgramHeader.version[i] =
        static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  }
}

// The wait for the new version, pinned to a port, leaves alone a device
// there that reports another serial number than the command's device first
// did: a dongle plugged in after that one was pulled during its restart.
// One that reports none is still a candidate, and so is any device in the
// waits for an upgrade mode (a boot loader may report a serial number of
// its own) and in a wait that names no port.
TEST_F(SelectionTest, TheVersionWaitLeavesAloneADeviceWithAnotherSerialNumber) {
  struct Row {
    const char* port;
    const char* deviceSerial;
    bool versionWait;
    bool found;
  } rows[] = {{"1-1", "QV-B", true, false},
              {"1-1", "QV-A", true, true},
              {"1-3.4", "QV-B", true, true},
              {"1-1", "QV-B", false, true},
              {"", "QV-B", true, true}};
  LoadOnePartVersion("0102030004000000");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.port) + " " + row.deviceSerial + (row.versionWait ? " v" : ""));
    std::vector<nlohmann::json> dongles = IdenticalDongles();
    for (nlohmann::json& dongle : dongles)
      dongle["controllerVersion"] = "0102030004000000";
    LoadDevices(dongles);
    ClearDevices(&KnownDevices);
    g_virtual.err.clear();
    selection = {"", row.port, false};
    record = RunRecord();
    record.deviceSerial = row.deviceSerial;
    const bool found =
        row.versionWait
            ? WaitForVersion(selection,
                             SelectTransferImage(LoadedImages.program, ImagePart::kWhole), 4000,
                             &record)
            : WaitForReturn(selection, kWaitRestart, 4000, &record);
    EXPECT_EQ(found, row.found);
    EXPECT_EQ(Opens("a") + Opens("b") + Opens("c"), row.found ? 1 : 0);
    const bool noted =
        g_virtual.err.find("is not the one this command updates") != std::string::npos;
    EXPECT_EQ(noted, !row.found) << g_virtual.err;
    CloseLink();
    TakeOutput();
  }
}

TEST_F(DfuTest, OnePartVersionMayMatchControllerOrApp) {
  LoadDevice({{"controllerVersion", "0102030004000000"}, {"appVersion", "0900000000000000"}});
  LoadOnePartVersion("0102030004000000");
  EXPECT_TRUE(WaitForVersion(
      selection, SelectTransferImage(LoadedImages.program, ImagePart::kWhole), 20000, &record));
  EXPECT_EQ(Requests(), Strings{"0A0000"});
  CloseLink();

  LoadDevice({{"controllerVersion", "0900000000000000"}, {"appVersion", "0102030004000000"}});
  ClearDevices(&KnownDevices);
  EXPECT_TRUE(WaitForVersion(
      selection, SelectTransferImage(LoadedImages.program, ImagePart::kWhole), 20000, &record));
  EXPECT_EQ(Requests(), (Strings{"0A0000", "0A0001"}));
  CloseLink();

  LoadDevice({{"controllerVersion", "0900000000000000"}, {"appVersion", "0900000000000000"}});
  ClearDevices(&KnownDevices);
  TakeOutput();
  EXPECT_FALSE(WaitForVersion(
      selection, SelectTransferImage(LoadedImages.program, ImagePart::kWhole), 20000, &record));
  std::string out = TakeOutput();
  EXPECT_NE(out.find(">> Timeout No newer version device detected! ("), std::string::npos);
  EXPECT_EQ(HidLink.device, nullptr);
}

void LoadTwoPartVersions(const char* controller, const char* app) {
  LoadOnePartVersion(controller);
  TwoPartImage = true;
  for (int i = 0; i < 8; ++i) {
    AppHeader.version[i] =
        static_cast<uint8_t>(std::stoi(std::string(app + 2 * i, 2), nullptr, 16));
  }
}

TEST_F(DfuTest, TwoPartVersionChecks) {
  LoadTwoPartVersions("0100000001000000", "0200000002000000");
  LoadDevice({{"controllerVersion", "0100000001000000"}, {"appVersion", "0200000002000000"}});
  EXPECT_TRUE(WaitForVersion(
      selection, SelectTransferImage(LoadedImages.program, ImagePart::kWhole), 20000, &record));
  EXPECT_EQ(Requests(), (Strings{"0A0000", "0A0001"}));
  CloseLink();

  LoadDevice({{"controllerVersion", "0100000001000000"}, {"appVersion", "0200000002000000"}});
  ClearDevices(&KnownDevices);
  EXPECT_TRUE(WaitForVersion(selection, SelectTransferImage(LoadedImages.program, ImagePart::kApp),
                             20000, &record));
  EXPECT_EQ(Requests(), Strings{"0A0001"});
  CloseLink();

  // Both queries must answer for the whole image.
  LoadDevice({{"controllerVersion", "0100000001000000"},
              {"appVersion", "0200000002000000"},
              {"faults", {{{"command", "0x00"}, {"occurrence", 2}, {"action", "noReply"}}}}});
  ClearDevices(&KnownDevices);
  EXPECT_FALSE(WaitForVersion(
      selection, SelectTransferImage(LoadedImages.program, ImagePart::kWhole), 20000, &record));
}

TEST_F(DfuTest, CompactProgressRunsFromNinetyToHundred) {
  LoadDevice();
  LogEnabled = 0;
  LastDownloadPercent = 0;
  EXPECT_TRUE(WaitForReturn(selection, kWaitBootloader, 10000, &record));
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  92%");
  LoadDevice({{"protocol", false}});
  ClearDevices(&KnownDevices);
  EXPECT_FALSE(WaitForReturn(selection, kWaitRestart, 1000, &record));
  std::string out = TakeOutput();
  const std::string last = "\r>> : Download progress: 100%";
  ASSERT_GE(out.size(), last.size());
  EXPECT_EQ(out.substr(out.size() - last.size()), last);
}

}  // namespace
