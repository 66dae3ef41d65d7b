// The emulator's shared bus as a process of its own (quorvel-emulator-bus):
// it holds a scenario's devices for several runs of the program at once,
// which reach it over a socket, and writes one record of them all when it
// is stopped.
#ifndef QUORVEL_TESTS_SUPPORT_BUS_PROCESS_H_
#define QUORVEL_TESTS_SUPPORT_BUS_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace e2e {

struct BusSetup {
  std::string program;  // the quorvel-emulator-bus binary
  std::string dir;      // an existing directory for its files
  nlohmann::json scenario;
  std::vector<std::string> env;
  std::string outputPath;  // its standard output and error; empty: the caller's
};

struct BusProcess {
  pid_t pid = -1;
  bool started = false;  // listening on its socket
  std::string socket;    // dir/bus.sock
  std::string record;    // dir/record.json
};

// Writes dir/scenario.json, starts the bus and waits until it listens (ten
// seconds at most). Not started: the scenario could not be written, the bus
// ended first (it rejected the scenario) or it never listened; a bus that
// still runs then is killed.
BusProcess StartBus(const BusSetup& setup);

struct BusEnd {
  bool recordRead = false;
  nlohmann::json record = nlohmann::json::object();  // empty unless read
  int64_t cpuUs = 0;                                 // the bus process's own
};

// Ends the bus (SIGTERM), which writes its record, and reads the record.
// Stopping a bus that is not running only reads the record.
BusEnd StopBus(BusProcess* bus);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_BUS_PROCESS_H_
