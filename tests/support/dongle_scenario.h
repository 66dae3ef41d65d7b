// The emulated devices the runs use: the dongle (a protocol device of
// vendor 248A, product 8266) with the few things runs vary, another vendor's
// keyboard beside it, and unique device paths.
#ifndef QUORVEL_TESTS_SUPPORT_DONGLE_SCENARIO_H_
#define QUORVEL_TESTS_SUPPORT_DONGLE_SCENARIO_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace e2e {

// What the device costs; fast enough that a run spends its time in the
// program's own waits.
struct DongleTiming {
  double replyMs = 1;
  double eraseMs = 10;
  double blockWriteMs = 0.2;
  double verifyMs = 5;
  int64_t usbFrameUs = 0;  // > 0: one report per USB frame; < 0: not given
};

// Its restart: it leaves the bus leaveMs after its reply and is back awayMs
// later, under another path and product ID when those are given.
struct DongleReboot {
  double leaveMs = 20;
  double awayMs = 400;
  std::string path;
  std::string productId;
};

struct DongleSetup {
  std::string name = "dongle";
  std::string path;
  std::string version = "01-00-0000-00000001";  // controller and App alike
  int blockSize = 256;                          // 0: not given
  DongleTiming timing;
  DongleReboot reboot;
  // Release 0120, "Quorvel" and the product name, type code 10, not in the
  // forced upgrade mode; without them the emulator's defaults stand.
  bool described = true;
  std::string product = "Receiver";
  int interfaceNumber = 1;  // < 0: not given
  std::string serial;       // empty: not given
  std::string port;         // empty: not given
};

// The scenario entry of the dongle (see emulator/scenario.cc for the keys).
nlohmann::json DongleJson(const DongleSetup& setup);

// A device path no other process uses at the same time: the program's
// device lock is named after the path and is system-wide.
std::string UniqueDevicePath();
// The same as a hidraw node ("/dev/hidrawN"), for devices whose USB port the
// program finds through sysfs; n (below 100) numbers the devices of one run.
std::string UniqueHidrawPath(int n);
// USB port k of a production line's hubs: "1-3.P.H" with four ports a hub.
std::string LinePort(int k);

// The dongle of the end-to-end runs: a unique path and a restart that is
// back 420 ms after its reply, before the earliest scan that looks for it
// (600 ms); the given keys replaced.
nlohmann::json Dongle(const nlohmann::json& overrides = nlohmann::json::object());
extern const char kDongleName[];  // how the program shows that dongle
// A HID keyboard of another vendor that does not speak the protocol.
nlohmann::json OtherKeyboard();
nlohmann::json Scenario(const std::vector<nlohmann::json>& devices);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_DONGLE_SCENARIO_H_
