// The emulator's time source. Devices never run on their own: every action
// is scheduled at a time on this clock and takes effect when the program next
// calls in, so binding the clock to a virtual one makes whole updates run
// instantly and exactly.
#include "model/clock.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "emulator.h"
#include "model/world.h"

namespace emu {
namespace {

// The standard steady clock: CLOCK_MONOTONIC on Linux, the performance
// counter on Windows.
using RealClock = std::chrono::steady_clock;

int64_t RealNowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(RealClock::now().time_since_epoch())
      .count();
}

void RealSleepUntilMicros(int64_t deadline) {
  std::this_thread::sleep_until(RealClock::time_point(std::chrono::microseconds(deadline)));
}

Clock& ActiveClock() {
  static Clock clock{RealNowMicros, RealSleepUntilMicros};
  return clock;
}

}  // namespace

void SetClock(const Clock& clock) {
  std::lock_guard<std::recursive_mutex> lock(internal::TheWorld().mutex);
  ActiveClock() = clock;
}

void UseRealClock() {
  SetClock(Clock{RealNowMicros, RealSleepUntilMicros});
}

namespace internal {

int64_t NowUs() {
  return ActiveClock().nowMicros();
}

void SleepUntilUs(int64_t deadline) {
  if (deadline <= NowUs())
    return;
  ActiveClock().sleepUntilMicros(deadline);
}

double ScenarioMs(int64_t us) {
  return static_cast<double>(us - TheWorld().t0) / 1000.0;
}

}  // namespace internal
}  // namespace emu
