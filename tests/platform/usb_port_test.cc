// A HID interface's USB port chain from its sysfs path (Linux) or its
// device's location path (Windows), and the Linux lookup through sysfs.
#include "platform/usb_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/usb_port_walk.h"

namespace {

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

// Root hubs of two controllers and of two PCI roots, in location path form.
const std::string kXhci = "PCIROOT(0)#PCI(1400)#USBROOT(0)";
const std::string kEhci = "PCIROOT(0)#PCI(1A00)#USBROOT(0)";
const std::string kSecondPciRoot = "PCIROOT(10)#PCI(0000)#USBROOT(0)";
const std::string kThirdPciRoot = "PCIROOT(2)#PCI(0000)#USBROOT(0)";

struct LocationCase {
  std::string path;
  std::vector<std::string> rootHubs;
  std::string port;
};

void ExpectPorts(const std::vector<LocationCase>& cases) {
  for (const LocationCase& c : cases) {
    const std::string port = PortFromLocationPath(c.path, c.rootHubs);
    EXPECT_EQ(port, c.port) << c.path;
    if (!port.empty()) {
      EXPECT_TRUE(IsPortChain(port)) << port;
    }
  }
}

TEST(UsbPort, PortChainOfAWindowsLocationPath) {
  ExpectPorts({
      // A dongle on port 3 of a hub on port 2 of the machine's only root hub.
      {kXhci + "#USB(2)#USB(3)", {kXhci}, "1-2.3"},
      // An interface of a composite device sits on its device's port.
      {kXhci + "#USB(2)#USB(3)#USBMI(1)", {kXhci}, "1-2.3"},
      {kXhci + "#USB(12)", {kXhci}, "1-12"},
      // Port numbers as sysfs writes them; what follows the ports is not one.
      {kXhci + "#USB(02)#USB(0)", {kXhci}, "1-2.0"},
      {kXhci + "#USB(5)#FOO(1)#USB(6)", {kXhci}, "1-5"},
      // No port behind a root hub: not a USB device, or the hub itself.
      {kXhci, {kXhci}, ""},
      {kXhci + "#", {kXhci}, ""},
      {kXhci + "#USBMI(1)", {kXhci}, ""},
      {kXhci + "#USB(x)", {kXhci}, ""},
      {kXhci + "#USB(2)#USB()", {kXhci}, ""},
      {kXhci + "#USB(2)#USB(3a)", {kXhci}, ""},
      {"ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)#ACPI(HS02)", {kXhci}, ""},
      {"USB(2)#USB(3)", {kXhci}, ""},
      {"", {kXhci}, ""},
  });
}

TEST(UsbPort, BusOfAWindowsLocationPath) {
  ExpectPorts({
      // The bus is the root hub's place among all of them, in PCI order,
      // whatever order they are listed in.
      {kXhci + "#USB(4)", {kEhci, kXhci}, "1-4"},
      {kEhci + "#USB(4)", {kXhci, kEhci}, "2-4"},
      {kEhci + "#USB(4)", {kEhci + "#USB(1)", kXhci + "#USB(7)#USB(2)"}, "2-4"},
      // Numbers compare as numbers: PCIROOT(2) before PCIROOT(10).
      {kSecondPciRoot + "#USB(1)", {kSecondPciRoot, kThirdPciRoot, kXhci}, "3-1"},
      {kThirdPciRoot + "#USB(1)", {kSecondPciRoot, kThirdPciRoot, kXhci}, "2-1"},
      // The device's own root hub counts even when the list lacks it;
      // paths of other forms in the list do not.
      {kEhci + "#USB(4)", {}, "1-4"},
      {kEhci + "#USB(4)", {kXhci, "ACPI(_SB_)#ACPI(PCI0)#ACPI(XHC_)#ACPI(RHUB)", ""}, "2-4"},
  });
}

// Only a hidraw node is looked up, and only one that sysfs knows: a path
// with a port chain in it is not read as one, and no node this high exists.
TEST(UsbPort, SysfsLookupWantsAPresentHidrawNode) {
  for (const char* path :
       {"/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0", "/dev/hidraw-e2e-1",
        "/dev/hidraw4294967295", "\\\\?\\hid#vid_248a&pid_8266#x", ""}) {
    EXPECT_EQ(PosixUsbPort(path), "") << path;
  }
}

}  // namespace
