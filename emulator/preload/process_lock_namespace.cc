// The in-process devices are this process's alone: so are their locks.
#include <unistd.h>

#include <string>

#include "preload/lock_namespace.h"

namespace emu {
namespace internal {

std::string LockNamespace() {
  return "process " + std::to_string(getpid());
}

}  // namespace internal
}  // namespace emu
