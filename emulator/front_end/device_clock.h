// The clock of devices that stand in front of a real host stack (the uhid and
// USB gadget front ends): the monotonic clock less the time the front end has
// been late. When the front end wakes after a device's next event was due,
// the devices' clock is held back to that event, so that what a device does
// keeps its spacing on the host's side: a reply and the restart 20 ms after
// it stay 20 ms apart, instead of a late wake handing the host the reply and
// the device's departure at the same moment (hidapi then reports the
// departure and the reply is lost).
#ifndef QUORVEL_EMULATOR_FRONT_END_DEVICE_CLOCK_H_
#define QUORVEL_EMULATOR_FRONT_END_DEVICE_CLOCK_H_

#include <cstdint>

namespace emu {

// The devices' time in microseconds.
int64_t DeviceNowMicros();
// Sleeps until DeviceNowMicros() >= deadline.
void DeviceSleepUntilMicros(int64_t deadline);
// Called on waking: when nextEvent (devices' time) is already past, the
// devices' clock goes back to it.
void DeviceClockCatchUp(int64_t nextEvent);
// Binds the emulator's clock to the devices' clock.
void UseDeviceClock();

}  // namespace emu

#endif  // QUORVEL_EMULATOR_FRONT_END_DEVICE_CLOCK_H_
