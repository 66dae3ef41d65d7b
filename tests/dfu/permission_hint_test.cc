// The hint printed when the command's device is on the bus but the system
// refuses to open it for lack of access rights (no udev rule), and the
// refusal as the HID link records it.
#include "console/program.h"
#include "dfu/connection.h"
#include "output/log_printers.h"
#include "support/dfu_fixture.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

// Written out in full: the hint must name the installed rules file and the
// commands that apply it.
const char kHint[] =
    ">> : Permission denied opening the device: copy 70-quorvel-dfu.rules (from "
    "/usr/lib/udev/rules.d/ when installed, udev/ in the source) to /etc/udev/rules.d/, list the "
    "device's vendor ID in it, run \"udevadm control --reload-rules && udevadm trigger\" as root, "
    "then replug the device\n";
const char kHintZh[] =
    ">> ：无权限打开设备：请将 70-quorvel-dfu.rules（已安装时位于 "
    "/usr/lib/udev/rules.d/，源码中位于 "
    "udev/）复制到 /etc/udev/rules.d/，在其中列出该设备的厂商 ID，以 root 身份运行 \"udevadm "
    "control --reload-rules && udevadm trigger\"，然后重新插拔设备\n";
const char kConnected[] =
    ">>: Query connected device: \"Quorvel Test Mouse(HID\\VID_248A&PID_8266&REV_0100)\"\n";

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class PermissionHintTest : public DfuTest {
 protected:
  static nlohmann::json Denied(const char* name, const char* path) {
    return Device({{"name", name}, {"path", path}, {"openError", "permission"}});
  }
  static nlohmann::json Busy(const char* name, const char* path) {
    return Device({{"name", name}, {"path", path}, {"openError", "busy"}});
  }
  void FilterOnTheMouse() {
    CurrentDevices.vendorId = 0x248A;
    CurrentDevices.productId = 0x8266;
  }
};

TEST_F(PermissionHintTest, OpenLinkTellsARefusalFromOtherFailures) {
  LoadDevices({Device(), Denied("denied", "/dev/hidraw1"), Busy("busy", "/dev/hidraw2")});
  EXPECT_EQ(OpenLink("/dev/hidraw1"), 0);
  EXPECT_TRUE(HidLink.lastOpenDenied);
  EXPECT_EQ(OpenLink("/dev/hidraw2"), 0);
  EXPECT_FALSE(HidLink.lastOpenDenied);
  EXPECT_EQ(OpenLink("/dev/hidraw1"), 0);
  EXPECT_EQ(OpenLink("/dev/hidraw9"), 0);  // not on the bus
  EXPECT_FALSE(HidLink.lastOpenDenied);
  EXPECT_EQ(OpenLink("/dev/hidraw1"), 0);
  EXPECT_EQ(OpenLink(nullptr), 0);
  EXPECT_FALSE(HidLink.lastOpenDenied);
  EXPECT_EQ(OpenLink("/dev/hidraw1"), 0);
  EXPECT_EQ(OpenLink(kPath), 1);
  EXPECT_FALSE(HidLink.lastOpenDenied);
  // Kept off by another instance's device lock, the interface was never
  // tried, so nothing is known about its access rights.
  g_virtual.locksHeldElsewhere.insert("hidraw1");
  EXPECT_EQ(OpenLink("/dev/hidraw1"), 0);
  EXPECT_FALSE(HidLink.lastOpenDenied);
}

TEST_F(PermissionHintTest, OneScanThatFindsOnlyARefusedDeviceHints) {
  LoadDevices({Denied("dev", kPath)});
  FilterOnTheMouse();
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), kHint);
  // The scan itself is the usual single one.
  EXPECT_EQ(g_virtual.sleeps, (std::vector<int32_t>{400, 200}));
  EXPECT_EQ(HidLink.device, nullptr);
  // Each call serves a command of its own, which gets its own hint.
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), kHint);
}

TEST_F(PermissionHintTest, OnlyARefusedCandidateHints) {
  // Busy, or refused but not of the command's device: no hint.
  LoadDevices({Busy("dev", kPath), Device({{"name", "other"},
                                           {"path", "/dev/hidraw4"},
                                           {"productId", "0x1111"},
                                           {"openError", "permission"}})});
  FilterOnTheMouse();
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), "");
}

TEST_F(PermissionHintTest, NoHintWhenAnotherInterfaceConnects) {
  LoadDevices({Denied("denied", "/dev/hidraw1"), Device()});
  FilterOnTheMouse();
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 1);
  EXPECT_EQ(TakeOutput(), kConnected);
  EXPECT_EQ(HidLink.path, kPath);
}

// In command-line mode standard output keeps to the progress and result
// lines: the hint goes to standard error there.
TEST_F(PermissionHintTest, OnStandardErrorWithoutLogging) {
  LoadDevices({Denied("dev", kPath)});
  FilterOnTheMouse();
  LogEnabled = 0;
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), "");
  EXPECT_EQ(TakeErrors(), "quorvel-dfu" + std::string(kHint).substr(3));
  LogEnabled = 1;
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), kHint);
  EXPECT_EQ(TakeErrors(), "");
}

// While the first connection waits, a person learns after two seconds what
// it waits for and how to stop it, and, when another instance of the
// program holds the device, that this is why; each once per command.
TEST_F(PermissionHintTest, WaitingAndAnotherInstanceAreToldOnStandardError) {
  LoadDevices({Device({{"appearAtMs", 5000}})});
  FilterOnTheMouse();
  CurrentDevices.interfaceNumber = 0;
  ASSERT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  EXPECT_EQ(TakeErrors(),
            "quorvel-dfu: waiting for device 248A:8266 (interface 0) to be connected and to "
            "answer; press Ctrl-C to stop\n");
  CloseLink();
  // Found at once: nothing to say.
  LoadDevices({Device()});
  ASSERT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  EXPECT_EQ(TakeErrors(), "");
  CloseLink();

  LoadDevices({Device()});
  CurrentDevices.interfaceNumber = -1;
  std::string lockName;
  ASSERT_TRUE(DeviceLockName(kPath, &lockName));
  g_virtual.locksHeldElsewhere.insert(lockName);
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  const std::string held =
      "quorvel-dfu: \"Quorvel Test Mouse(HID\\VID_248A&PID_8266&REV_0100)\" is held by another "
      "quorvel-dfu process; waiting until it lets go\n";
  EXPECT_EQ(TakeErrors(), held + held);  // once per command, each call one command
  EXPECT_TRUE(Record()["devices"]["dev"]["requests"].empty());
}

TEST_F(PermissionHintTest, ChineseHint) {
  LoadDevices({Denied("dev", kPath)});
  UiLanguage = 0;
  EXPECT_EQ(ConnectDevice(selection, ConnectWait::kOneScan, &record), 0);
  EXPECT_EQ(TakeOutput(), kHintZh);
}

// The wait goes on as it would without the refused interfaces: it still
// connects the device that arrives later, at the same moment, and says so
// once only however many refusals it met.
TEST_F(PermissionHintTest, WaitingCommandHintsOnceAndStillConnects) {
  nlohmann::json late = Device({{"appearAtMs", 3000}});
  LoadDevices({late});
  FilterOnTheMouse();
  ASSERT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  const double connectedAlone = RequestTime(0);
  const std::vector<int32_t> sleepsAlone = g_virtual.sleeps;
  EXPECT_EQ(TakeOutput(), kConnected);

  CloseLink();
  g_virtual.sleeps.clear();
  nlohmann::json laterDenied = Denied("denied2", "/dev/hidraw2");
  laterDenied["appearAtMs"] = 1000;
  LoadDevices({Denied("denied1", "/dev/hidraw1"), laterDenied, late});
  ASSERT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  EXPECT_EQ(TakeOutput(), std::string(kHint) + kConnected);
  EXPECT_EQ(HidLink.path, kPath);
  EXPECT_DOUBLE_EQ(RequestTime(0), connectedAlone);
  EXPECT_EQ(g_virtual.sleeps, sleepsAlone);
  EXPECT_TRUE(Record()["devices"]["denied1"]["requests"].empty());
  EXPECT_TRUE(Record()["devices"]["denied2"]["requests"].empty());
}

// A restarted device is looked for among every interface on the bus; other
// people's devices that refuse to open are no reason for a hint there.
TEST_F(PermissionHintTest, RestartWaitsDoNotHint) {
  nlohmann::json denied = Denied("denied", "/dev/hidraw1");
  denied["appearAtMs"] = 1500;
  LoadDevices({Device(), denied});
  FilterOnTheMouse();
  // As in a command: connected first, then the device restarts and is
  // waited for while the refused interface comes onto the bus.
  ASSERT_EQ(ConnectDevice(selection, ConnectWait::kUntilFound, &record), 1);
  RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface);
  CloseLink();
  TakeOutput();
  EXPECT_FALSE(WaitForReturn(selection, kWaitBootloader, 2000, &record));
  std::string out = TakeOutput();
  EXPECT_EQ(out.find("Permission"), std::string::npos);
  EXPECT_NE(out.find("Timeout not waiting to connect failed!"), std::string::npos);
}

TEST_F(PermissionHintTest, AtThePromptOncePerCommand) {
  // cv looks at every interface; each cv is a command of its own.
  LoadDevices({Denied("dev", kPath)});
  g_virtual.language = "en";
  g_virtual.input = {"cv", "cv"};
  EXPECT_EQ(RunProgram({}), 0);
  std::string out = TakeOutput();
  const std::string tail = std::string(">> ") + kHint + ">> " + kHint + ">> \n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);

  // ctrl waits for its device: the hint comes once, after the query line and
  // before the device that arrives later is connected and restarted.
  nlohmann::json late = Device({{"appearAtMs", 4000}});
  LoadDevices({Denied("denied", "/dev/hidraw1"), late});
  g_virtual.input = {"ctrl 248a 8266 -r 1"};
  EXPECT_EQ(RunProgram({}), 0);
  out = TakeOutput();
  EXPECT_EQ(Count(out, kHint), 1u);
  const size_t hint = out.find(kHint);
  EXPECT_LT(out.find(">> Querying USB"), hint);
  EXPECT_LT(hint, out.find(kConnected));
  EXPECT_NE(out.find("control success!"), std::string::npos);
}

}  // namespace
