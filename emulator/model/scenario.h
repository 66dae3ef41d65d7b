// Reading a scenario: the devices on the emulated bus and how each behaves.
#ifndef QUORVEL_EMULATOR_MODEL_SCENARIO_H_
#define QUORVEL_EMULATOR_MODEL_SCENARIO_H_

#include <nlohmann/json.hpp>
#include <string>

#include "model/world.h"

namespace emu {
namespace internal {

// Adds the scenario's devices to world->devices and takes its recording
// switches and sysfs root; false, with the message in *error, on a malformed
// scenario (world then holds a part of it).
bool ParseScenario(const nlohmann::json& scenario, World* world, std::string* error);
// A path whose part from its first "hid" (any case) holds a lower-case "col"
// names one top-level collection: its reports carry their own report ID.
bool PathIsCollection(const std::string& path);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_SCENARIO_H_
