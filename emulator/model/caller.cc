#include "model/caller.h"

#include <unistd.h>

namespace emu {
namespace internal {
namespace {

thread_local int t_callerPid = 0;

}  // namespace

int CallerPid() {
  return t_callerPid ? t_callerPid : static_cast<int>(getpid());
}

void SetCallerPid(int pid) {
  t_callerPid = pid;
}

}  // namespace internal
}  // namespace emu
