// The shared bus process (quorvel-emulator-bus): one set of emulated devices,
// served to every process that connects to its Unix socket with the shared
// bus's client library preloaded.
#ifndef QUORVEL_EMULATOR_SHARED_BUS_SERVER_H_
#define QUORVEL_EMULATOR_SHARED_BUS_SERVER_H_

#include <string>

namespace emu {
namespace shared_bus {

struct Options {
  std::string socketPath;
  std::string scenarioPath;
  std::string recordPath;  // empty: no record
  std::string statePath;   // empty: no state; loaded first when the file exists
};

// Serves the scenario's devices until SIGTERM, SIGINT or SIGHUP, then writes
// the record and the state and ends the process with status 0. Returns 1,
// with a message on standard error, when the scenario, the state or the
// socket fails.
int RunSharedBus(const Options& options);

}  // namespace shared_bus
}  // namespace emu

#endif  // QUORVEL_EMULATOR_SHARED_BUS_SERVER_H_
