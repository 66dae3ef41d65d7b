// The shared bus of the end-to-end tests: the emulator's bus process built
// beside the program, with the scenario's devices, for several runs at once
// (RunOptions::bus).
#ifndef QUORVEL_TESTS_SUPPORT_SHARED_BUS_H_
#define QUORVEL_TESTS_SUPPORT_SHARED_BUS_H_

#include <nlohmann/json.hpp>
#include <string>

#include "support/bus_process.h"
#include "support/workspace.h"

namespace e2e {

// A bus in a directory of the workspace; stopped at the latest when it
// goes. Not started: see StartBus.
class SharedBus {
 public:
  SharedBus(const Workspace& workspace, const nlohmann::json& scenario);
  ~SharedBus();
  SharedBus(const SharedBus&) = delete;
  SharedBus& operator=(const SharedBus&) = delete;
  bool started() const { return bus_.started; }
  const std::string& socket() const { return bus_.socket; }
  // The bus's record (an empty object when there is none).
  nlohmann::json Stop();

 private:
  BusProcess bus_;
};

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_SHARED_BUS_H_
