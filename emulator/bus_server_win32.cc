// The shared bus is POSIX-only (a Unix socket and a stop signal); on
// Windows each program holds its devices in its own process.
#include <cstdio>

#include "emulator.h"

namespace emu {

int RunSharedBus(const SharedBusOptions&) {
  std::fprintf(stderr, "quorvel emulator: the shared bus is POSIX-only\n");
  return 1;
}

}  // namespace emu
