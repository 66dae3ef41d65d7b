// Devices plugged into and pulled out of their ports while the bus runs, as
// the scenario's hotplug keys say: plug windows of one device (its firmware
// kept between them), a device plugged after another left its port for good,
// and a device pulled once its update is done. Called from the presence
// schedule (presence.h) with the world's lock held.
#ifndef QUORVEL_EMULATOR_MODEL_HOTPLUG_H_
#define QUORVEL_EMULATOR_MODEL_HOTPLUG_H_

#include <cstdint>

#include "model/device_state.h"

namespace emu {
namespace internal {

// Schedules the plug windows of a freshly loaded device; a device plugged
// later (a first window after time zero, or a plugAfter) starts off the bus.
void InitHotplug(DeviceState& d);
// The device is plugged in (a kPlug event): on the bus, freshly powered, on
// the lowest free node when the scenario asks for it.
void PlugIn(DeviceState& d, const PresenceEvent& e);
// The device is pulled out (a kPull event): off the bus, and a restart under
// way ends there, its new firmware kept for the next plug.
void PullOut(DeviceState& d, const PresenceEvent& e);
// After an event of device `index` at atUs: a device off the bus with nothing
// scheduled to bring it back has left for good, once; the devices plugged
// after it are scheduled then and its node's entry goes.
void AfterDeparture(int index, int64_t atUs);
// The device came back from restart e.restart: when that applied new
// firmware and the device is pulled after its update, the pull is scheduled
// (replacing an earlier one, so that a second restart of the same update
// counts from its own return).
void NoteUpdateReturn(DeviceState& d, const PresenceEvent& e);
// A device arriving in its port at atUs while another is plugged into it is
// a scenario error; the world's scenarioErrors notes it.
void NotePortArrival(const DeviceState& d, int64_t atUs);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_HOTPLUG_H_
