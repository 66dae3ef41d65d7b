// The program learns a hidraw node's USB port from sysfs. When the devices
// have a sysfs tree (model/sysfs_tree.cc), the preloaded library answers
// realpath() of a path under /sys from that tree and hands the answer back
// as a /sys path, so the program reads exactly what it would read on a real
// machine.
#ifndef QUORVEL_EMULATOR_PRELOAD_SYSFS_VIEW_H_
#define QUORVEL_EMULATOR_PRELOAD_SYSFS_VIEW_H_

#include <string>

namespace emu {
namespace internal {

// Where the devices' sysfs tree is, "" when they have none. Each preload
// library defines its own: its world's (world_sysfs_root.cc), or the shared
// bus's (shared_bus/client_connection.cc).
std::string SysfsViewRoot();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_PRELOAD_SYSFS_VIEW_H_
