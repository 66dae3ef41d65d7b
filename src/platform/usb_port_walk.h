// Finding the USB port chain of a HID interface from the system's device
// tree: sysfs on Linux (usb_port_walk_posix.cc), the configuration manager on
// Windows (usb_port_walk_win32.cc). The chain's text is read with the helpers
// of platform/usb_port.h; the native seam offers the system's lookup as its
// usbPort.
#ifndef QUORVEL_PLATFORM_USB_PORT_WALK_H_
#define QUORVEL_PLATFORM_USB_PORT_WALK_H_

#include <string>

// The port chain ("1-2.3") of the HID interface at that hidapi path. Empty,
// and nothing else happens, when the interface is not on USB (Bluetooth,
// I2C, virtual devices), the path names no interface present now, or the
// system will not tell (a lookup it lacks, as under Wine). Only asks the
// system; waits for no device.
#ifdef _WIN32
std::string WinUsbPort(const std::string& path);
#else
std::string PosixUsbPort(const std::string& path);
#endif

#endif  // QUORVEL_PLATFORM_USB_PORT_WALK_H_
