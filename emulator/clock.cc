// The emulator's time source. Devices never run on their own: every action
// is scheduled at a time on this clock and takes effect when the program next
// calls in, so binding the clock to a virtual one makes whole updates run
// instantly and exactly.
#include <time.h>

#include <cerrno>

#include "device_model.h"
#include "emulator.h"

namespace emu {
namespace {

int64_t RealNowMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void RealSleepUntilMicros(int64_t deadline) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(deadline / 1000000);
  ts.tv_nsec = static_cast<long>((deadline % 1000000) * 1000);
  // A signal ends the wait early, as it ends a host's poll(): a read then
  // returns nothing yet and the program decides what to do about the
  // signal.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
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

World& TheWorld() {
  static World* world = new World();  // never destroyed: usable from exit handlers
  return *world;
}

}  // namespace internal
}  // namespace emu
