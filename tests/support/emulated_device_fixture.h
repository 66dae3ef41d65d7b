// Fixture for in-process tests against the emulator: the virtual platform is
// installed and the emulator's clock is bound to it, so reply windows, scan
// delays and reboots take no real time.
#ifndef QUORVEL_TESTS_SUPPORT_EMULATED_DEVICE_FIXTURE_H_
#define QUORVEL_TESTS_SUPPORT_EMULATED_DEVICE_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "emulator.h"
#include "support/virtual_platform.h"

// Binds the emulator's clock to g_virtual.now (whole milliseconds).
void BindEmulatorToVirtualClock();
// The next wait inside the emulator (a read waiting for input) ends lateMs
// after its deadline, as a thread of a loaded machine that is run late.
void WakeLateOnce(int32_t lateMs);

class EmulatedDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Loads a scenario; fails the test on a malformed one.
  void LoadScenario(const nlohmann::json& scenario);
  // Loads tests/scenarios/NAME.
  void LoadScenarioFile(const std::string& name);
  const nlohmann::json& Record() { return emu::Record(); }

 private:
  std::unique_ptr<ScopedVirtualPlatform> platform_;
};

#endif  // QUORVEL_TESTS_SUPPORT_EMULATED_DEVICE_FIXTURE_H_
