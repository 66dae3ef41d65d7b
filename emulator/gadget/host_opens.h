// Which processes of the host open a device's hidraw node: the device side
// of a real USB bus cannot tell, so the gadget front end asks the kernel
// (fanotify, reporting file handles, so that no open of its own reaches the
// node). The record then shows, as the emulator's own front ends do, which
// process opened which device.
#ifndef QUORVEL_EMULATOR_GADGET_HOST_OPENS_H_
#define QUORVEL_EMULATOR_GADGET_HOST_OPENS_H_

#include <string>
#include <vector>

namespace emu {

struct HostOpen {
  int pid = 0;
  std::string command;  // the opener's command line, arguments joined by spaces
};

// A descriptor that becomes readable when a process opens node; -1 (with
// *error) when the kernel offers no such watch.
int WatchOpens(const std::string& node, std::string* error);
// The opens seen on the watch since the last call, in order.
std::vector<HostOpen> TakeOpens(int watch);

}  // namespace emu

#endif  // QUORVEL_EMULATOR_GADGET_HOST_OPENS_H_
