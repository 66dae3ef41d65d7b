// "list" at the prompt: every HID interface on the bus, or those of one
// vendor and product ID, without opening or writing to any of them.
#include "console/device_listing.h"

#include "console/program.h"
#include "output/log_printers.h"
#include "support/dfu_fixture.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

using Strings = std::vector<std::string>;

// The expected lines are written out in full here rather than built from the
// message table, so that a changed text or layout shows up as a failure.
const char kMouseLine[] =
    ">> \"Quorvel Test Mouse(HID\\VID_248A&PID_8266&REV_0100)\"  path: /dev/hidraw0  VID: 0x248A  "
    "PID: 0x8266  interface: 0\n";
const char kKeyboardLine[] =
    ">> \"Other Keyboard(HID\\VID_046D&PID_C31C&REV_0111)\"  path: /dev/hidraw3  VID: 0x046D  "
    "PID: 0xC31C  interface: 2\n";
const char kDongleLine[] =
    ">> \"Quorvel Receiver(HID\\VID_248A&PID_5000&REV_0100)\"  path: /dev/hidraw7  VID: 0x248A  "
    "PID: 0x5000  interface: 1\n";
const char kHeading[] = ">> HID interfaces on the bus:\n";
const char kNone[] = ">> No HID interface found\n";
const char kParameterError[] = ">> : Parameter error!\n";

class DeviceListingTest : public DfuTest {
 protected:
  // A protocol mouse, an unrelated keyboard that never answers, and a dongle
  // whose node the user may not open: listing must show all three alike.
  void LoadBus() {
    LoadDevices({Device(),
                 Device({{"name", "keyboard"},
                         {"path", "/dev/hidraw3"},
                         {"vendorId", "0x046D"},
                         {"productId", "0xC31C"},
                         {"release", "0x0111"},
                         {"interface", 2},
                         {"manufacturer", "Other"},
                         {"product", "Keyboard"},
                         {"protocol", false}}),
                 Device({{"name", "dongle"},
                         {"path", "/dev/hidraw7"},
                         {"productId", "0x5000"},
                         {"interface", 1},
                         {"product", "Receiver"},
                         {"openError", "permission"}})});
  }

  std::string List(const Strings& arguments) {
    TakeOutput();
    ListDevices(arguments);
    return TakeOutput();
  }

  void ExpectNothingSent() {
    for (const char* name : {"dev", "keyboard", "dongle"}) {
      EXPECT_TRUE(Record()["devices"][name]["requests"].empty()) << name;
    }
    EXPECT_EQ(HidLink.device, nullptr);
    EXPECT_FALSE(HidLink.hasPath);
    // No interface was even locked for opening.
    EXPECT_TRUE(g_virtual.locksHeldHere.empty());
  }
};

TEST_F(DeviceListingTest, ShowsEveryInterfaceInBusOrderWithoutTouchingAny) {
  LoadBus();
  EXPECT_EQ(List({}), std::string(kHeading) + kMouseLine + kKeyboardLine + kDongleLine);
  ExpectNothingSent();
  // The command's device lists and filter, which cv relies on, are left
  // alone: listing works on a list of its own.
  EXPECT_TRUE(CurrentDevices.entries.empty());
  EXPECT_TRUE(KnownDevices.entries.empty());
  EXPECT_EQ(CurrentDevices.vendorId, 0);
  EXPECT_EQ(CurrentDevices.productId, 0);
  EXPECT_EQ(CurrentDevices.interfaceNumber, -1);
}

TEST_F(DeviceListingTest, NarrowsToAVendorAndAProduct) {
  LoadBus();
  EXPECT_EQ(List({"248a"}), std::string(kHeading) + kMouseLine + kDongleLine);
  EXPECT_EQ(List({"248A", "5000"}), std::string(kHeading) + kDongleLine);
  EXPECT_EQ(List({"0x46d", "c31c"}), std::string(kHeading) + kKeyboardLine);
  // A vendor ID of 0 stands for any vendor, as in the device filter.
  EXPECT_EQ(List({"0", "8266"}), std::string(kHeading) + kMouseLine);
  EXPECT_EQ(CurrentDevices.vendorId, 0);
  EXPECT_EQ(List({"248a", "c31c"}), kNone);
  EXPECT_EQ(List({"1234"}), kNone);
  ExpectNothingSent();
}

TEST_F(DeviceListingTest, EmptyBusSaysSo) {
  LoadDevices({});
  EXPECT_EQ(List({}), kNone);
  // The bus was scanned once, after the usual settle time.
  EXPECT_EQ(g_virtual.sleeps, (std::vector<int32_t>{200}));
}

TEST_F(DeviceListingTest, RejectsIdsThatAreNotHexadecimalWordsWithoutScanning) {
  LoadBus();
  for (const Strings& arguments :
       {Strings{"zz"}, Strings{"248a", "10000"}, Strings{"-1"}, Strings{"248a", "x1"}}) {
    g_virtual.sleeps.clear();
    EXPECT_EQ(List(arguments), kParameterError) << arguments.back();
    EXPECT_TRUE(g_virtual.sleeps.empty()) << arguments.back();
  }
  LogEnabled = 0;
  EXPECT_EQ(List({"zz"}), "");
  ExpectNothingSent();
}

TEST_F(DeviceListingTest, ChineseTexts) {
  LoadBus();
  UiLanguage = 0;
  EXPECT_EQ(List({"248a", "8266"}),
            ">> \xE6\x80\xBB\xE7\xBA\xBF\xE4\xB8\x8A\xE7\x9A\x84 HID "
            "\xE6\x8E\xA5\xE5\x8F\xA3\xEF\xBC\x9A\n"
            ">> \"Quorvel Test Mouse(HID\\VID_248A&PID_8266&REV_0100)\"  "
            "\xE8\xB7\xAF\xE5\xBE\x84\xEF\xBC\x9A/dev/hidraw0  VID: 0x248A  PID: 0x8266  "
            "\xE6\x8E\xA5\xE5\x8F\xA3\xEF\xBC\x9A"
            "0\n");
  EXPECT_EQ(List({"1234"}),
            ">> \xE6\x9C\xAA\xE6\x89\xBE\xE5\x88\xB0 HID \xE6\x8E\xA5\xE5\x8F\xA3\n");
}

// Identical dongles are told apart by their serial numbers and USB ports,
// shown where the interface has them.
TEST_F(DeviceListingTest, SerialNumberAndPortFollowWhenKnown) {
  g_virtual.ports = {{"/dev/hidraw0", "1-3.2.1"}, {"/dev/hidraw7", "2-1"}};
  LoadDevices({Device({{"serial", "QV24A01X"}}),
               Device({{"name", "dongle"},
                       {"path", "/dev/hidraw7"},
                       {"productId", "0x5000"},
                       {"interface", 1},
                       {"product", "Receiver"}}),
               Device({{"name", "keyboard"},
                       {"path", "/dev/hidraw3"},
                       {"vendorId", "0x046D"},
                       {"productId", "0xC31C"},
                       {"release", "0x0111"},
                       {"interface", 2},
                       {"manufacturer", "Other"},
                       {"product", "Keyboard"},
                       {"serial", "K-9"}})});
  std::string mouse = kMouseLine;
  std::string dongle = kDongleLine;
  std::string keyboard = kKeyboardLine;
  EXPECT_EQ(List({}), std::string(kHeading) + mouse.substr(0, mouse.size() - 1) +
                          "  serial: QV24A01X  port: 1-3.2.1\n" +
                          dongle.substr(0, dongle.size() - 1) + "  port: 2-1\n" +
                          keyboard.substr(0, keyboard.size() - 1) + "  serial: K-9\n");
  UiLanguage = 0;
  std::string zh = List({"248a", "5000"});
  EXPECT_NE(zh.find("  \xE7\xAB\xAF\xE5\x8F\xA3\xEF\xBC\x9A"
                    "2-1\n"),
            std::string::npos)
      << zh;
}

TEST_F(DeviceListingTest, TypedAtThePromptInAnyCase) {
  LoadBus();
  g_virtual.input = {"LIST 248A 8266", "list 46d", "list q"};
  EXPECT_EQ(RunProgram({}), 0);
  std::string out = TakeOutput();
  const std::string expected = std::string(">> ") + kHeading + kMouseLine + ">> " + kHeading +
                               kKeyboardLine + ">> " + kParameterError + ">> \n";
  ASSERT_GE(out.size(), expected.size());
  EXPECT_EQ(out.substr(out.size() - expected.size()), expected);
  ExpectNothingSent();
}

}  // namespace
