// Windows has no sysfs: a device's USB port there comes from its location
// path, so the emulator keeps no tree of its own.
#include "device_model.h"

namespace emu {
namespace internal {

void PrepareSysfsTree() {}
void PublishSysfsNode(const DeviceState&) {}
void RemoveSysfsTree() {}

}  // namespace internal
}  // namespace emu
