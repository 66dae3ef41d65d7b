// Reading a scenario's hotplug keys: a device plugged and pulled more than
// once ("plugs"), one plugged after another left its port for good
// ("plugAfter"), one pulled after its update ("pullAfterUpdateMs"), and the
// checks across devices that only the whole scenario allows.
#ifndef QUORVEL_EMULATOR_MODEL_SCENARIO_HOTPLUG_H_
#define QUORVEL_EMULATOR_MODEL_SCENARIO_HOTPLUG_H_

#include <nlohmann/json.hpp>
#include <vector>

#include "model/device_config.h"
#include "model/scenario_values.h"

namespace emu {
namespace internal {

// The device's hotplug keys into *d; false, with the message in c, on a
// malformed key or one that conflicts with the device's other presence keys
// (appearAtMs, vanishAtMs).
bool ParseHotplug(const nlohmann::json& j, DeviceConfig* d, Ctx& c);
// The checks across the devices: a plugAfter names a device of the scenario
// other than itself, no chain of them leads back to where it started, and no
// two devices are plugged into one port at once when their times tell so
// without running; false, with the message in c, otherwise.
bool CheckHotplug(const std::vector<DeviceConfig>& devices, Ctx& c);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_SCENARIO_HOTPLUG_H_
