#include "support/shared_bus.h"

#include "support/environment.h"

namespace e2e {

SharedBus::SharedBus(const Workspace& workspace, const nlohmann::json& scenario) {
  BusSpec spec;
  spec.program = QUORVEL_BINARY_DIR "/quorvel-emulator-bus";
  spec.dir = workspace.NewDirectory("bus-");
  spec.scenario = scenario;
  spec.env = CleanEnvironment();
  spec.env.push_back("LANG=C");
  if (!spec.dir.empty())
    bus_ = StartBus(spec);
}

SharedBus::~SharedBus() {
  Stop();
}

nlohmann::json SharedBus::Stop() {
  return StopBus(&bus_).record;
}

}  // namespace e2e
