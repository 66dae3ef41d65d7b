// Fixture for the device procedures: one emulated device (or several), the
// program's globals reset, English log output captured.
#ifndef QUORVEL_TESTS_SUPPORT_DFU_FIXTURE_H_
#define QUORVEL_TESTS_SUPPORT_DFU_FIXTURE_H_

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "console/command.h"
#include "console/loaded_images.h"
#include "dfu/run_record.h"
#include "support/emulated_device_fixture.h"
#include "transport/device_selection.h"

class DfuTest : public EmulatedDeviceTest {
 protected:
  static constexpr const char* kPath = "/dev/hidraw0";

  void SetUp() override;
  void TearDown() override;

  // A protocol device named "dev" at kPath, with the given keys replaced.
  static nlohmann::json Device(const nlohmann::json& overrides = nlohmann::json::object());
  void LoadDevices(const std::vector<nlohmann::json>& devices);
  void LoadDevice(const nlohmann::json& overrides = nlohmann::json::object());
  void Open(const char* path = kPath);

  // The request bytes the device received, upper-case hex, in order.
  std::vector<std::string> Requests(const std::string& device = "dev");
  // Virtual time at which the device received its n-th request.
  double RequestTime(size_t index, const std::string& device = "dev");
  const nlohmann::json& Transfer(size_t index, const std::string& device = "dev");

  // What the procedures under test fill, and the selection they are handed
  // (any device unless a test narrows it).
  RunRecord record;
  DeviceSelection selection;
  // The command the parser's records form now (settings, flags, images).
  static Command Current() { return CurrentCommand(); }

  // A one-part image of the given length (deterministic bytes), loaded as
  // the program image.
  void UseOnePartImage(int32_t length, const std::string& versionHex = "0102030004000000");
};

std::string UpperHex(const std::string& hex);

#endif  // QUORVEL_TESTS_SUPPORT_DFU_FIXTURE_H_
