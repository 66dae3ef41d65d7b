// The Linux preload library's start and end: tools/emulate preloads it in
// front of the unmodified program, in place of hidapi. Loading at library
// load puts scenario time zero at process start. When a signal that the
// program leaves at its default action would kill the process, the outputs
// are written first.
#include <mutex>

#include "model/world.h"
#include "preload/environment.h"
#include "preload/fatal_signals.h"

namespace emu {
namespace internal {
namespace {

__attribute__((constructor)) void LoadAtStartup() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  LoadFromEnvironment();
  WriteOutputsOnFatalSignals();
}

__attribute__((destructor)) void WriteAtUnload() {
  WriteOutputsAtUnload();
}

}  // namespace
}  // namespace internal
}  // namespace emu
