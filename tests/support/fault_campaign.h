// The fault-injection campaign: the upgrade of every chip platform run
// in-process against an emulated device that misbehaves in one chosen way,
// each run judged by the emulator's record: the program must end, report
// the failure, and leave the device as its upgrade sequence promises.
#ifndef QUORVEL_TESTS_SUPPORT_FAULT_CAMPAIGN_H_
#define QUORVEL_TESTS_SUPPORT_FAULT_CAMPAIGN_H_

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/program_harness.h"

namespace campaign {

extern const char kInitialVersion[];  // both versions of the device before any update

// Firmware files written once per process into a scratch directory.
struct Firmware {
  std::string dir;
  std::string onePart;  // one-part image, digest intact
  std::string twoPart;  // Controller part at 0x10000, App part at 0x30000
  std::string passthrough;
  std::vector<uint8_t> onePartBytes;
  std::vector<uint8_t> twoPartBytes;
  size_t onePartImageSize = 0;  // header and body
  std::string onePartVersion;
  std::string controllerVersion;
  std::string appVersion;
  std::string passthroughSha256;
};
const Firmware& Files();

// One way to update a device: the platform, the files and the device.
struct Variant {
  std::string label;
  nlohmann::json device;          // the device to update (name "dongle")
  std::vector<std::string> args;  // vid, pid and the options of dfu
  std::string trace;              // the requests of a run without faults
  // Platforms 2 (two parts) and 4 (default program): once the chip has
  // acknowledged entering the forced upgrade mode, the sequence restarts it
  // after a failed chain and always tries to take it out of that mode.
  bool forcedAlwaysLeft = false;
  // After a successful update the chip is out of the forced upgrade mode.
  bool outOfForcedOnSuccess = true;
  std::string controllerAfter;
  std::string appAfter;
  std::string passthroughSha256;  // empty: no passthrough program
};
std::vector<Variant> Variants();
// The number of variants, and a name for each usable in a test name.
constexpr int kVariantCount = 14;
const char* VariantName(int index);
nlohmann::json Dongle(const nlohmann::json& overrides = nlohmann::json::object());

enum class Expect { kFailure, kSuccess };

struct FaultCase {
  std::string faultClass;  // the row of the campaign table
  std::string label;       // where the fault strikes
  nlohmann::json faults = nlohmann::json::array();
  nlohmann::json deviceChanges = nlohmann::json::object();
  Expect expect = Expect::kFailure;
  std::function<void(int32_t)> onTick;
};

struct Verdict {
  bool crashed = false;  // died by a signal or a sanitizer report (real binary)
  bool hung = false;
  bool expectationMet = true;           // success or failure as expected
  std::vector<std::string> problems;    // what the output got wrong
  std::vector<std::string> wrongState;  // why the device is not as promised
  bool leftInForcedMode = false;        // a failure left the chip in forced mode
  bool deviceGone = false;              // not on the bus at the end
};

struct CaseRun {
  harness::CommandOutcome outcome;
  nlohmann::json device;    // the record of the updated device, after settling
  nlohmann::json keyboard;  // the record of the other vendor's keyboard beside it
  Verdict verdict;
  std::string context;  // what to show when a check fails
};

// Loads the scenario and runs one case; the virtual platform must be
// installed with the guarded clock.
CaseRun RunCase(const Variant& variant, const FaultCase& fault, bool prompt);

// One exchange of a run without faults, as a place to strike.
struct Step {
  int command = 0;
  int occurrence = 0;  // counted per command byte, from 1
  int stage = 1;
  std::string label;  // "F+", "S completion", "H#2", ...
  double atMs = 0;    // when the device received the request
  size_t requestIndex = 0;
};
std::vector<Step> Steps(const nlohmann::json& device);
// The reply window a step's reply must arrive in.
int32_t WindowMs(const Step& step);

// Judging (campaign_judge.cc).
Verdict Judge(const Variant& variant, const FaultCase& fault, bool prompt,
              const harness::CommandOutcome& outcome, const nlohmann::json& device);
// Adds a judged case to the process totals, printed at the end of the run.
void Count(const std::string& faultClass, const Verdict& verdict);
// Checks one case with GoogleTest expectations and counts it.
void ExpectClean(const CaseRun& run, const std::string& faultClass);

}  // namespace campaign

#endif  // QUORVEL_TESTS_SUPPORT_FAULT_CAMPAIGN_H_
