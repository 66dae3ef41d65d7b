#include "support/emulated_device_fixture.h"

namespace {

int32_t g_lateWakeMs = 0;

int64_t VirtualNowMicros() {
  return static_cast<int64_t>(g_virtual.now) * 1000;
}

void VirtualSleepUntilMicros(int64_t deadline) {
  int64_t ms = (deadline + 999) / 1000 + g_lateWakeMs;
  g_lateWakeMs = 0;
  if (ms > g_virtual.now)
    g_virtual.now = static_cast<int32_t>(ms);
}

}  // namespace

void WakeLateOnce(int32_t lateMs) {
  g_lateWakeMs = lateMs;
}

void BindEmulatorToVirtualClock() {
  g_lateWakeMs = 0;
  emu::Clock clock;
  clock.nowMicros = VirtualNowMicros;
  clock.sleepUntilMicros = VirtualSleepUntilMicros;
  emu::SetClock(clock);
}

void EmulatedDeviceTest::SetUp() {
  platform_ = std::make_unique<ScopedVirtualPlatform>();
  BindEmulatorToVirtualClock();
  emu::Reset();
}

void EmulatedDeviceTest::TearDown() {
  emu::Reset();
  emu::UseRealClock();
  platform_.reset();
}

void EmulatedDeviceTest::LoadScenario(const nlohmann::json& scenario) {
  std::string error;
  ASSERT_TRUE(emu::LoadScenario(scenario, &error)) << error;
}

void EmulatedDeviceTest::LoadScenarioFile(const std::string& name) {
  std::string error;
  ASSERT_TRUE(
      emu::LoadScenarioFile(std::string(QUORVEL_SOURCE_DIR) + "/tests/scenarios/" + name, &error))
      << error;
}
