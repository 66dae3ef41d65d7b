// Reading the language and the console encoding from POSIX locale names,
// and a HID interface's USB port chain from its sysfs path (Linux) or its
// device's location path (Windows).
#include "platform/locale_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/usb_port.h"

namespace {

TEST(LocaleNames, LanguagePart) {
  EXPECT_EQ(LocaleLanguagePart("zh_CN.UTF-8"), "zh");
  EXPECT_EQ(LocaleLanguagePart("ZH.GBK"), "zh");
  EXPECT_EQ(LocaleLanguagePart("zh@latin"), "zh");
  EXPECT_EQ(LocaleLanguagePart("C"), "c");
  EXPECT_EQ(LocaleLanguagePart("POSIX"), "posix");
  EXPECT_EQ(LocaleLanguagePart("en_US"), "en");
  EXPECT_EQ(LocaleLanguagePart(""), "");
}

TEST(LocaleNames, GbkFamilyCodesetsGiveGbk) {
  for (const char* name : {"zh_CN.GBK", "zh_CN.gb2312", "zh_CN.GB-18030", "zh_CN.cp936",
                           "zh_CN.EUC-CN", "zh_CN.euc_cn@x"}) {
    EXPECT_EQ(LocaleEncoding(name), ConsoleEncoding::kGbk) << name;
  }
  for (const char* name :
       {"zh_CN.UTF-8", "zh_CN", "C", "", "en_US.ISO-8859-1", "zh_TW.BIG5", "gbk"}) {
    EXPECT_EQ(LocaleEncoding(name), ConsoleEncoding::kUtf8) << name;
  }
}

TEST(UsbPort, HidrawNodeOnlyForHidrawPaths) {
  EXPECT_EQ(HidrawNodeOfPath("/dev/hidraw0"), "hidraw0");
  EXPECT_EQ(HidrawNodeOfPath("/dev/hidraw123"), "hidraw123");
  for (const char* path :
       {"/dev/hidraw", "/dev/hidraw1/", "/dev/hidraw-e2e-1", "/dev/hidraw1a", "hidraw1",
        "/dev/usb/hiddev0", "/tmp/../dev/hidraw1", "\\\\?\\hid#vid_248a&pid_8266#x", ""}) {
    EXPECT_EQ(HidrawNodeOfPath(path), "") << path;
  }
}

TEST(UsbPort, PortChains) {
  for (const char* port : {"1-2", "1-2.3", "3-10.4.1", "12-1"})
    EXPECT_TRUE(IsPortChain(port)) << port;
  for (const char* text : {"", "1", "1-", "-2", "usb1", "1-2.", "1-.2", "1-2..3", "1-2:1.0", "a-2",
                           "1-2.x", "0003:248A"}) {
    EXPECT_FALSE(IsPortChain(text)) << text;
  }
}

TEST(UsbPort, DeepestUsbDeviceOfTheSysfsPath) {
  // A dongle on port 3 of a hub on port 2 of bus 1.
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2.3/1-2.3:1.1/"
                              "0003:248A:8266.0004/hidraw/hidraw7"),
            "1-2.3");
  // The HID device above the node ("hidrawN/device").
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.0/"
                              "0003:046D:C52B.0001"),
            "3-1");
  // Bluetooth, I2C and uhid devices have no USB device above them.
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/virtual/misc/uhid/0005:046D:B019.0005/hidraw/hidraw2"),
            "");
  EXPECT_EQ(PortFromSysfsPath("/sys/devices/platform/AMDI0010:00/i2c-0/i2c-ELAN0001:00/"
                              "0018:04F3:3195.0003/hidraw/hidraw1"),
            "");
  EXPECT_EQ(PortFromSysfsPath(""), "");
}

TEST(UsbPort, RootHubOfAWindowsLocationPath) {
  EXPECT_EQ(RootHubOfLocationPath("PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)"),
            "PCIROOT(0)#PCI(1400)#USBROOT(0)");
  EXPECT_EQ(RootHubOfLocationPath("PCIROOT(0)#PCI(1C00)#PCI(0000)#USBROOT(1)"),
            "PCIROOT(0)#PCI(1C00)#PCI(0000)#USBROOT(1)");
  for (const char* path :
       {"", "ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)", "PCIROOT(0)#PCI(1400)",
        "PCIROOT(0)#PCI(1400)#USBROOT(x)#USB(2)", "PCIROOT(0)#PCI(1400)#USBROOT()",
        "PCIROOT(0)##USBROOT(0)#USB(2)", "PCIROOT(0)#PCI(1400)#USBROOT(0#USB(2)"}) {
    EXPECT_EQ(RootHubOfLocationPath(path), "") << path;
  }
}

TEST(UsbPort, PortChainOfAWindowsLocationPath) {
  const std::string xhci = "PCIROOT(0)#PCI(1400)#USBROOT(0)";
  const std::string ehci = "PCIROOT(0)#PCI(1A00)#USBROOT(0)";
  const std::string secondPciRoot = "PCIROOT(10)#PCI(0000)#USBROOT(0)";
  const std::string thirdPciRoot = "PCIROOT(2)#PCI(0000)#USBROOT(0)";
  struct Case {
    std::string path;
    std::vector<std::string> rootHubs;
    std::string port;
  } cases[] = {
      // A dongle on port 3 of a hub on port 2 of the machine's only root hub.
      {xhci + "#USB(2)#USB(3)", {xhci}, "1-2.3"},
      // An interface of a composite device sits on its device's port.
      {xhci + "#USB(2)#USB(3)#USBMI(1)", {xhci}, "1-2.3"},
      {xhci + "#USB(12)", {xhci}, "1-12"},
      // The bus is the root hub's place among all of them, in PCI order,
      // whatever order they are listed in.
      {xhci + "#USB(4)", {ehci, xhci}, "1-4"},
      {ehci + "#USB(4)", {xhci, ehci}, "2-4"},
      {ehci + "#USB(4)", {ehci + "#USB(1)", xhci + "#USB(7)#USB(2)"}, "2-4"},
      // Numbers compare as numbers: PCIROOT(2) before PCIROOT(10).
      {secondPciRoot + "#USB(1)", {secondPciRoot, thirdPciRoot, xhci}, "3-1"},
      {thirdPciRoot + "#USB(1)", {secondPciRoot, thirdPciRoot, xhci}, "2-1"},
      // The device's own root hub counts even when the list lacks it;
      // paths of other forms in the list do not.
      {ehci + "#USB(4)", {}, "1-4"},
      {ehci + "#USB(4)", {xhci, "ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)", ""}, "2-4"},
      // Port numbers as sysfs writes them; what follows the ports is not one.
      {xhci + "#USB(02)#USB(0)", {xhci}, "1-2.0"},
      {xhci + "#USB(5)#FOO(1)#USB(6)", {xhci}, "1-5"},
      // No port behind a root hub: not a USB device, or the hub itself.
      {xhci, {xhci}, ""},
      {xhci + "#", {xhci}, ""},
      {xhci + "#USBMI(1)", {xhci}, ""},
      {xhci + "#USB(x)", {xhci}, ""},
      {xhci + "#USB(2)#USB()", {xhci}, ""},
      {xhci + "#USB(2)#USB(3a)", {xhci}, ""},
      {"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)", {xhci}, ""},
      {"USB(2)#USB(3)", {xhci}, ""},
      {"", {xhci}, ""},
  };
  for (const Case& c : cases) {
    const std::string port = PortFromLocationPath(c.path, c.rootHubs);
    EXPECT_EQ(port, c.port) << c.path;
    if (!port.empty()) {
      EXPECT_TRUE(IsPortChain(port)) << port;
    }
  }
}

}  // namespace
