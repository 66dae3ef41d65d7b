// The devices' time: the clock that emulator.h's SetClock binds. Devices
// never run on their own; every action is scheduled at a time on this clock
// and takes effect when a caller next comes in.
#ifndef QUORVEL_EMULATOR_MODEL_CLOCK_H_
#define QUORVEL_EMULATOR_MODEL_CLOCK_H_

#include <cstdint>

namespace emu {
namespace internal {

// The clock's time in microseconds.
int64_t NowUs();
// Returns once the clock has reached deadline (at once when it has).
void SleepUntilUs(int64_t deadline);
// A clock time as milliseconds since the scenario's time zero.
double ScenarioMs(int64_t us);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_CLOCK_H_
