#include "support/shared_bus.h"

#include "support/environment.h"

namespace e2e {

SharedBus::SharedBus(const Workspace& workspace, const nlohmann::json& scenario) {
  BusSetup setup;
  setup.program = QUORVEL_BINARY_DIR "/quorvel-emulator-bus";
  setup.dir = workspace.NewDirectory("bus-");
  setup.scenario = scenario;
  setup.env = CleanEnvironment();
  setup.env.push_back("LANG=C");
  if (!setup.dir.empty())
    bus_ = StartBus(setup);
}

SharedBus::~SharedBus() {
  Stop();
}

nlohmann::json SharedBus::Stop() {
  return StopBus(&bus_).record;
}

}  // namespace e2e
