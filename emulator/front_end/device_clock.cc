#include "front_end/device_clock.h"

#include <time.h>

#include "emulator.h"

namespace emu {
namespace {

int64_t g_lateMicros = 0;

int64_t MonotonicMicros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

int64_t DeviceNowMicros() {
  return MonotonicMicros() - g_lateMicros;
}

void DeviceSleepUntilMicros(int64_t deadline) {
  int64_t wait;
  while ((wait = deadline - DeviceNowMicros()) > 0) {
    timespec ts{static_cast<time_t>(wait / 1000000), static_cast<long>(wait % 1000000) * 1000};
    nanosleep(&ts, nullptr);
  }
}

void DeviceClockCatchUp(int64_t nextEvent) {
  int64_t now = DeviceNowMicros();
  if (nextEvent < now)
    g_lateMicros += now - nextEvent;
}

void UseDeviceClock() {
  SetClock(Clock{DeviceNowMicros, DeviceSleepUntilMicros});
}

}  // namespace emu
