// Where a HID interface sits on USB, as a port chain ("1-2.3": bus 1, port 2
// of the root hub, port 3 of the hub behind it). Identical devices share
// vendor and product ID, and a boot loader may report no serial number, so
// the port is what tells one of them from another across its restarts.
#ifndef QUORVEL_PLATFORM_USB_PORT_H_
#define QUORVEL_PLATFORM_USB_PORT_H_

#include <string>

// "hidraw7" for "/dev/hidraw7"; empty for any other path.
std::string HidrawNodeOfPath(const std::string& path);

// The port chain in a resolved sysfs path of a hidraw node or of a device
// above it: its last component of the form bus-port[.port...] (the USB
// device; the interface behind it is "1-2.3:1.0"). Empty when the path runs
// through no USB device (Bluetooth, I2C, virtual devices).
std::string PortFromSysfsPath(const std::string& resolved);

// Whether text is a port chain: digits, '-', digits, then ".digits" groups.
bool IsPortChain(const std::string& text);

#endif  // QUORVEL_PLATFORM_USB_PORT_H_
