// quorvel-emulator-bus: one set of emulated devices shared by every process
// that tools/emulate --shared (or --bus SOCKET) starts with the shared bus's
// client library preloaded.
//
//   quorvel-emulator-bus --socket PATH [--record FILE] [--state FILE] SCENARIO.json
//
// Runs until SIGTERM, SIGINT or SIGHUP, then writes the record and the state.
#include <cstdio>
#include <cstring>
#include <string>

#include "shared_bus/server.h"

int main(int argc, char** argv) {
  emu::shared_bus::Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string* value = arg == "--socket"   ? &options.socketPath
                         : arg == "--record" ? &options.recordPath
                         : arg == "--state"  ? &options.statePath
                                             : nullptr;
    if (value) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quorvel-emulator-bus: %s needs a value\n", arg.c_str());
        return 2;
      }
      *value = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && options.scenarioPath.empty()) {
      options.scenarioPath = arg;
    } else {
      std::fprintf(stderr,
                   "usage: quorvel-emulator-bus --socket PATH [--record FILE] [--state FILE] "
                   "SCENARIO.json\n");
      return 2;
    }
  }
  if (options.socketPath.empty() || options.scenarioPath.empty()) {
    std::fprintf(stderr, "quorvel-emulator-bus: --socket and a scenario are needed\n");
    return 2;
  }
  return emu::shared_bus::RunSharedBus(options);
}
