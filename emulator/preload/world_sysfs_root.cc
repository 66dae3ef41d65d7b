#include <mutex>

#include "model/world.h"
#include "preload/sysfs_view.h"

namespace emu {
namespace internal {

std::string SysfsViewRoot() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  return TheWorld().sysfsRoot;
}

}  // namespace internal
}  // namespace emu
