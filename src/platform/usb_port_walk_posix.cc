// The USB port of a hidraw node, from its place in the sysfs device tree.
#include <stdlib.h>

#include <string>

#include "platform/usb_port.h"
#include "platform/usb_port_walk.h"

// hidraw's path is the node; sysfs links the node to its place in the
// device tree, which runs through every USB hub on the way to the device.
std::string PosixUsbPort(const std::string& path) {
  std::string node = HidrawNodeOfPath(path);
  if (node.empty())
    return "";
  char* resolved = realpath(("/sys/class/hidraw/" + node).c_str(), nullptr);
  if (resolved == nullptr)
    return "";
  std::string port = PortFromSysfsPath(resolved);
  free(resolved);
  return port;
}
