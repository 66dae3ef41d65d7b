// The emulator as a drop-in hidapi.dll, put beside a test copy of the
// program in place of the real one: it loads when the DLL loads and writes
// its outputs as it is detached at process exit. Ctrl-C and closing the
// console end the program through ExitProcess, which detaches the DLL too,
// so Windows needs no signal handling here.
#include <mutex>

#include "model/host_view.h"
#include "model/world.h"
#include "preload/environment.h"

namespace emu {
namespace internal {
namespace {

__attribute__((constructor)) void LoadAtStartup() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  LoadFromEnvironment();
}

__attribute__((destructor)) void WriteAtUnload() {
  WriteOutputsAtUnload();
}

}  // namespace

// Windows has no sysfs: the program reads a device's USB port from its
// location path, which the device's own path stands for here, so there is
// no view to keep.
void PrepareHostView() {}
void PublishHostNode(const DeviceState&) {}
void WithdrawHostNode(const DeviceState&) {}
void RemoveHostView() {}

}  // namespace internal
}  // namespace emu
