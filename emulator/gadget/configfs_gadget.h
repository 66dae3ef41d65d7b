// One USB HID gadget made through configfs (libcomposite, usb_f_hid) for one
// emulated device, bound to a UDC (dummy_hcd's dummy_udc.N), so that the
// host side of the same machine enumerates it as a real USB device (usbhid,
// hid-generic, a /dev/hidrawN node) at port N+1-1 of bus N+1. Only one
// gadget is bound to a UDC at a time.
#ifndef QUORVEL_EMULATOR_GADGET_CONFIGFS_GADGET_H_
#define QUORVEL_EMULATOR_GADGET_CONFIGFS_GADGET_H_

#include <cstddef>
#include <string>

#include "model/device_port.h"

namespace emu {

struct ConfigfsGadget {
  std::string dir;   // /sys/kernel/config/usb_gadget/quorvelN
  std::string udc;   // dummy_udc.N
  std::string hcd;   // /sys/devices/platform/dummy_hcd.N: the host side of that UDC
  std::string hidg;  // /dev/hidgM: the gadget side's reports, there while bound
};

// Makes gadget number index, for UDC number udc, with the
// device's identity, its report descriptor, report_length 64 and one
// configuration; not bound. False (with *error) when configfs or the
// function is not there.
bool MakeGadget(size_t index, size_t udc, const PortDevice& device, ConfigfsGadget* gadget,
                std::string* error);
// Sets vendor and product ID, release, strings and serial number (an empty serial when
// the device reports none) for the next bind; false with *error.
bool SetGadgetIdentity(const ConfigfsGadget& gadget, const PortDevice& device, std::string* error);
// Connects the gadget to the host (writes the UDC name; fails while another
// gadget holds the UDC), or disconnects it; false with *error.
bool BindGadget(const ConfigfsGadget& gadget, std::string* error);
bool UnbindGadget(const ConfigfsGadget& gadget, std::string* error);
// Unbinds and removes the gadget's configfs tree; what cannot be removed is
// left.
void RemoveGadget(const ConfigfsGadget& gadget);
// The host's view of the bound gadget once enumerated: its port chain
// ("1-1") and hidraw node ("/dev/hidraw0"); false while it has none yet.
bool FindHostSide(const ConfigfsGadget& gadget, std::string* port, std::string* hidraw);

}  // namespace emu

#endif  // QUORVEL_EMULATOR_GADGET_CONFIGFS_GADGET_H_
