// A guard for Debian's hidapi (0.13.1, hidraw backend): its enumeration reads
// each hidraw node's parent "uevent" attribute through libudev and hands the
// result to strlen() unchecked. A device that leaves the bus between the
// kernel's listing and that read (a dongle pulled, a chip restarting, a
// gadget unbound) makes libudev return NULL, and the whole process dies of a
// segmentation fault: a station that scans while operators pull dongles, or
// an update waiting for its restarted device, would crash in the library.
//
// The executable defines the libudev function hidapi calls, so the dynamic
// linker binds hidapi's call to this one (an executable's symbols come first
// in the global scope). It forwards to libudev's own and turns a missing
// "uevent" into an empty text, which hidapi reads as a device without IDs
// and skips: the device is gone anyway. Every other attribute, and every
// other caller, gets libudev's answer unchanged.
//
// Built into the program only (not into a library), so that the linker
// exports it to the shared libraries the program loads.
#include <dlfcn.h>

#include <cstring>

struct udev_device;

extern "C" const char* udev_device_get_sysattr_value(struct udev_device* device, const char* name);

namespace {

using SysattrReader = const char* (*)(struct udev_device*, const char*);

SysattrReader LibudevReader() {
  static const SysattrReader reader =
      reinterpret_cast<SysattrReader>(dlsym(RTLD_NEXT, "udev_device_get_sysattr_value"));
  return reader;
}

}  // namespace

extern "C" const char* udev_device_get_sysattr_value(struct udev_device* device, const char* name) {
  SysattrReader reader = LibudevReader();
  const char* value = reader != nullptr ? reader(device, name) : nullptr;
  if (value == nullptr && name != nullptr && std::strcmp(name, "uevent") == 0)
    return "";
  return value;
}
