// The presence schedule of the devices: when they are on the bus, when they
// leave and come back (restarts, unplugging), and when their input reports
// become readable. Nothing runs by itself; each call into the emulator first
// brings every device up to the current time, processing its due events in
// time order. The world's lock is held by the caller throughout.
#ifndef QUORVEL_EMULATOR_MODEL_PRESENCE_H_
#define QUORVEL_EMULATOR_MODEL_PRESENCE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "model/bytes.h"
#include "model/device_state.h"

namespace emu {
namespace internal {

// Schedules a freshly loaded device's appearance, its scenario's departures
// and its unsolicited reports.
void InitPresence(DeviceState& d);
// Brings every device up to the clock's current time.
void AdvanceAll();
// Processes the due events of device `index` up to `now`: delivers reports
// to its open handles, makes it leave and come back.
void AdvanceDevice(int index, int64_t now);
// The next scheduled event of the device after now (report or presence
// change); kNever when there is none.
int64_t NextEventUs(const DeviceState& d, int64_t now);
// Queues a reply, padded to a report, readable at atUs or later: after the
// device's earlier replies, and on a USB frame when the device has frames.
void QueueReply(DeviceState& d, int64_t atUs, Bytes bytes);
// Starts a restart (none while one is under way): takes the pending image,
// records the restart, and schedules the departure after the last reply and
// the return after the device's time away.
void ScheduleRestart(DeviceState& d, int64_t requestUs, int64_t replyAtUs, const std::string& cause,
                     std::optional<int> mode);
// Schedules a departure at atUs, and a return after awayUs if given.
void ScheduleLeave(DeviceState& d, int64_t atUs, std::optional<int64_t> awayUs);
// Brings every restarting device to the end of its restart, whatever the
// clock says: a device comes back whether or not anyone waits for it.
void SettleRestarts();
// The device leaves the bus (a restart, a fault, a pull): its handles die and
// its queued replies are lost; the record notes the event at `at`.
void Depart(DeviceState& d, int64_t at, const char* event);
// With lowestFreeNodes, a device on a hidraw node that comes onto the bus
// takes the lowest node no present device holds; otherwise it keeps its path.
void TakeNode(DeviceState& d);
// The device is on the bus again, freshly powered at atUs: upgrade mode and
// passthrough off, no transfer under way, booting for its bootMs.
void ResetOnArrival(DeviceState& d, int64_t atUs);
// What restart `restart` brings when the device next boots: the new versions
// of a verified image, the boot loader, the identity of the scenario's reboot.
void ApplyRestart(DeviceState& d, int restart);
// The time the device takes in an output report written at now: the next
// free USB frame, or now for a device without frames.
int64_t NextOutSlot(DeviceState& d, int64_t now);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_PRESENCE_H_
