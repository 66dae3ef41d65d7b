// Which processes of the host open which hidraw node: the device side of a
// real USB bus cannot tell, so the gadget front end asks the kernel. One
// watch (fanotify on the /dev mount, reporting file handles, so that the
// watch opens nothing itself) is set before any device is plugged, so that
// no open is missed however soon a program finds a new node; each event is
// matched to its node by file handle.
#ifndef QUORVEL_EMULATOR_GADGET_HOST_OPENS_H_
#define QUORVEL_EMULATOR_GADGET_HOST_OPENS_H_

#include <string>
#include <vector>

namespace emu {

struct HostOpen {
  int pid = 0;
  std::string command;  // the opener's command line, arguments joined by spaces
  std::string node;     // "/dev/hidraw2"
};

// A descriptor that becomes readable when a process opens a file under
// /dev; -1 (with *error) when the kernel offers no such watch.
int WatchDeviceOpens(std::string* error);
// The opens of hidraw nodes seen on the watch since the last call, in
// order; opens of other files are dropped.
std::vector<HostOpen> TakeOpens(int watch);

}  // namespace emu

#endif  // QUORVEL_EMULATOR_GADGET_HOST_OPENS_H_
