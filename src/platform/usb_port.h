// Where a HID interface sits on USB, as a port chain ("1-2.3": bus 1, port 2
// of the root hub, port 3 of the hub behind it). Identical devices share
// vendor and product ID, and a boot loader may report no serial number, so
// the port is what tells one of them from another across its restarts.
#ifndef QUORVEL_PLATFORM_USB_PORT_H_
#define QUORVEL_PLATFORM_USB_PORT_H_

#include <string>
#include <vector>

// "hidraw7" for "/dev/hidraw7"; empty for any other path.
std::string HidrawNodeOfPath(const std::string& path);

// The port chain in a resolved sysfs path of a hidraw node or of a device
// above it: its last component of the form bus-port[.port...] (the USB
// device; the interface behind it is "1-2.3:1.0"). Empty when the path runs
// through no USB device (Bluetooth, I2C, virtual devices).
std::string PortFromSysfsPath(const std::string& resolved);

// The root hub part of a Windows location path, up to its USBROOT(n)
// element: "PCIROOT(0)#PCI(1400)#USBROOT(0)" of
// "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(2)#USB(3)". Empty when the path does
// not run through a USB root hub (the ACPI form of the same place, devices
// off USB).
std::string RootHubOfLocationPath(const std::string& path);

// The port chain of a USB device or interface at a Windows location path:
// the USB(n) elements after the root hub are its ports ("#USBMI(n)", an
// interface of a composite device, ends them). Windows numbers no buses, so
// the bus is the root hub's 1-based place among the machine's root hubs
// (rootHubs: location paths in any order; the device's own hub counts even
// when missing there), ordered element by element with arguments compared as
// numbers: stable while the machine's USB controllers stay the same. Empty
// when the path has no root hub followed by at least one USB(n) port.
std::string PortFromLocationPath(const std::string& path, const std::vector<std::string>& rootHubs);

// Whether text is a port chain: digits, '-', digits, then ".digits" groups.
bool IsPortChain(const std::string& text);

#endif  // QUORVEL_PLATFORM_USB_PORT_H_
