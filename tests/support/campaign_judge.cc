// Judging a campaign run by what the program printed and by the emulator's
// record of the device, and the totals of all runs of the process.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "support/fault_campaign.h"

namespace campaign {
namespace {

const char kForcedEnter[] = "Enter the forced upgrade mode";
const char kForcedExit[] = "Exit the forced upgrade mode";
const char kVerify[] = "Download complete, verify the result";
const char kRestart[] = "Restart the device";
const char kStepSuccess[] = ": Successful execution!";
const char kStepFailure[] = ": Execution failed!";

struct StepResult {
  std::string heading;
  bool answered = false;  // a step result line followed the heading
  bool success = false;
};

// The text a line shows on the screen: progress redrawn with carriage
// returns shows its last part.
std::string Shown(const std::string& line) {
  size_t at = line.rfind('\r');
  return at == std::string::npos ? line : line.substr(at + 1);
}

std::vector<std::string> Lines(const std::string& out) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos)
      end = out.size();
    lines.push_back(out.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::vector<StepResult> StepResults(const std::string& out) {
  std::vector<StepResult> steps;
  for (const std::string& raw : Lines(out)) {
    std::string line = Shown(raw);
    if (!StartsWith(line, ">> "))
      continue;
    std::string text = line.substr(3);
    if (StartsWith(text, kStepSuccess) || StartsWith(text, kStepFailure)) {
      if (!steps.empty() && !steps.back().answered) {
        steps.back().answered = true;
        steps.back().success = StartsWith(text, kStepSuccess);
      }
    } else if (text == kForcedEnter || text == kForcedExit || text == kVerify || text == kRestart) {
      steps.push_back({text, false, false});
    }
  }
  return steps;
}

// The result line must be the last line, start on a line of its own and be
// ended, whatever progress line came before it.
void CheckResultLine(const std::string& out, bool result, std::vector<std::string>* problems) {
  std::string expected = std::string(">> ") + (result ? "DFU success!" : "DFU failed!") + " (";
  size_t at = out.rfind(expected);
  if (at == std::string::npos) {
    problems->push_back("no result line \"" + expected + "...\"");
    return;
  }
  if (at != 0 && out[at - 1] != '\n') {
    problems->push_back("the result line does not start on a line of its own");
  }
  size_t end = out.find('\n', at);
  if (end == std::string::npos || end + 1 != out.size()) {
    problems->push_back("the result line is not the last, ended line");
  } else if (out.compare(end - 2, 2, "s)") != 0) {
    problems->push_back("the result line carries no total time");
  }
}

std::vector<std::string> RequestHexes(const nlohmann::json& device) {
  std::vector<std::string> hexes;
  for (const nlohmann::json& request : device.value("requests", nlohmann::json::array())) {
    std::string hex = request.value("hex", "");
    for (char& c : hex)
      c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    hexes.push_back(hex);
  }
  return hexes;
}

// A version the device runs must come from a transfer it verified itself.
// A whole two-part image carries the App version inside the image, not in
// the information request.
bool VerifiedTransferGave(const nlohmann::json& device, const std::string& version, bool app) {
  for (const nlohmann::json& t : device.value("transfers", nlohmann::json::array())) {
    if (t.value("target", "") != "device" || t.value("verified", nlohmann::json()) != true) {
      continue;
    }
    std::string part = t.value("part", "");
    if (part == "whole" && app)
      return true;
    bool partMatches = app ? part == "app" : (part == "controller" || part == "whole");
    if (partMatches && t.value("version", "") == version)
      return true;
  }
  return false;
}

void JudgeDevice(const Variant& variant, bool result, const nlohmann::json& device, Verdict* v) {
  const nlohmann::json final = device.value("final", nlohmann::json::object());
  bool onBus = final.value("onBus", false);
  bool forced = final.value("forcedUpgradeMode", false);
  std::string controller = final.value("controllerVersion", "");
  std::string app = final.value("appVersion", "");
  v->deviceGone = !onBus;
  if (result) {
    if (!onBus)
      v->wrongState.push_back("success reported, but the device is not on the bus");
    if (controller != variant.controllerAfter || app != variant.appAfter) {
      v->wrongState.push_back("success reported, but the device runs " + controller + " / " + app);
    }
    if (variant.outOfForcedOnSuccess && forced) {
      v->wrongState.push_back("success reported, but the chip is in the forced upgrade mode");
    }
    if (final.value("passthrough", false)) {
      v->wrongState.push_back("success reported, but passthrough is still on");
    }
    if (!variant.passthroughSha256.empty() &&
        final.value("passthroughImageSha256", nlohmann::json()) != variant.passthroughSha256) {
      v->wrongState.push_back("success reported, but the passthrough device was not updated");
    }
  } else if (onBus && forced) {
    v->leftInForcedMode = true;
  }
  if (controller != kInitialVersion && !VerifiedTransferGave(device, controller, false)) {
    v->wrongState.push_back("the device runs a Controller version it never verified");
  }
  if (app != kInitialVersion && !VerifiedTransferGave(device, app, true)) {
    v->wrongState.push_back("the device runs an App version it never verified");
  }
}

// What the program itself reported about the forced upgrade mode and the
// verification, held against what it then did to the device.
void JudgeSteps(const Variant& variant, const std::string& out, const nlohmann::json& device,
                Verdict* v) {
  std::vector<StepResult> steps = StepResults(out);
  bool onBus = device.value("final", nlohmann::json::object()).value("onBus", false);
  bool forced = device.value("final", nlohmann::json::object()).value("forcedUpgradeMode", false);
  bool entered = false;
  bool leaveTried = false;
  const StepResult* lastLeave = nullptr;
  const StepResult* lastVerify = nullptr;
  for (const StepResult& step : steps) {
    if (step.heading == kForcedEnter && step.success)
      entered = true;
    if (step.heading == kForcedExit && entered)
      leaveTried = true;
    if (step.heading == kForcedExit)
      lastLeave = &step;
    if (step.heading == kVerify)
      lastVerify = &step;
  }
  if (variant.forcedAlwaysLeft && entered && !leaveTried) {
    v->wrongState.push_back("the forced upgrade mode was entered, but leaving it was not tried");
  }
  if (lastLeave != nullptr && lastLeave->success && onBus && forced) {
    v->wrongState.push_back("leaving the forced upgrade mode succeeded, but the chip is in it");
  }
  if (lastVerify == nullptr || lastVerify->success) {
    return;
  }
  // Only the recovery of a chip in the forced upgrade mode restarts it after
  // a failed verification of the default program; the restarts the program
  // attempted count, whether or not the request reached the device.
  int restarts = 0;
  for (const StepResult* step = lastVerify + 1; step != steps.data() + steps.size(); ++step) {
    restarts += step->heading == kRestart;
  }
  bool passthrough = false;
  for (const std::string& hex : RequestHexes(device)) {
    passthrough = passthrough || hex == "0A0700";
  }
  int allowed = variant.forcedAlwaysLeft && !passthrough ? 1 : 0;
  if (restarts > allowed) {
    v->wrongState.push_back("the device was restarted after its verification failed");
  }
}

struct Counts {
  int cases = 0;
  int crashes = 0;
  int hangs = 0;
  int wrongState = 0;
  int unexpected = 0;
  int leftInForcedMode = 0;
  int deviceGone = 0;
};

std::map<std::string, Counts>& Totals() {
  static std::map<std::string, Counts> totals;
  return totals;
}

// Which tests this process ran, for the name of its totals file.
std::string RunName() {
  const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
  std::string name;
  int count = 0;
  for (int i = 0; i < unit.total_test_suite_count(); ++i) {
    const ::testing::TestSuite& suite = *unit.GetTestSuite(i);
    for (int j = 0; j < suite.total_test_count(); ++j) {
      if (!suite.GetTestInfo(j)->should_run())
        continue;
      if (count++ == 0)
        name = std::string(suite.name()) + "." + suite.GetTestInfo(j)->name();
    }
  }
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-')
      c = '_';
  }
  return count == 1 ? name : name + "-and-" + std::to_string(count - 1) + "-more";
}

class TotalsEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    if (Totals().empty())
      return;
    Counts all;
    nlohmann::json classes = nlohmann::json::object();
    for (const auto& entry : Totals()) {
      const Counts& c = entry.second;
      all.cases += c.cases;
      all.crashes += c.crashes;
      all.hangs += c.hangs;
      all.wrongState += c.wrongState;
      all.unexpected += c.unexpected;
      classes[entry.first] = {
          {"cases", c.cases},           {"crashes", c.crashes},
          {"hangs", c.hangs},           {"wrongState", c.wrongState},
          {"unexpected", c.unexpected}, {"leftInForcedMode", c.leftInForcedMode},
          {"deviceGone", c.deviceGone}};
      std::printf(
          "campaign class \"%s\": %d cases, %d hangs, %d wrong states, %d unexpected results, "
          "%d left in forced upgrade mode, %d devices gone\n",
          entry.first.c_str(), c.cases, c.hangs, c.wrongState, c.unexpected, c.leftInForcedMode,
          c.deviceGone);
    }
    std::printf("campaign: %d cases, %d crashes, %d hangs, %d devices left in a wrong state\n",
                all.cases, all.crashes, all.hangs, all.wrongState);
    std::string dir = QUORVEL_BINARY_DIR "/reliability";
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    std::ofstream(dir + "/" + RunName() + ".json") << classes.dump(1) << "\n";
  }
};

::testing::Environment* const g_totals = ::testing::AddGlobalTestEnvironment(new TotalsEnvironment);

}  // namespace

Verdict Judge(const Variant& variant, const FaultCase& fault, bool prompt,
              const harness::CommandOutcome& outcome, const nlohmann::json& device) {
  Verdict v;
  v.hung = outcome.hung;
  if (!outcome.parsed) {
    v.expectationMet = false;
    v.problems.push_back("the arguments were refused");
    return v;
  }
  if (outcome.hung)
    return v;
  v.expectationMet = outcome.result == (fault.expect == Expect::kSuccess);
  CheckResultLine(outcome.out, outcome.result, &v.problems);
  JudgeDevice(variant, outcome.result, device, &v);
  if (prompt)
    JudgeSteps(variant, outcome.out, device, &v);
  return v;
}

void Count(const std::string& faultClass, const Verdict& verdict) {
  Counts& c = Totals()[faultClass];
  ++c.cases;
  c.crashes += verdict.crashed;
  c.hangs += verdict.hung;
  c.wrongState += !verdict.wrongState.empty();
  c.unexpected += !verdict.expectationMet || !verdict.problems.empty();
  c.leftInForcedMode += verdict.leftInForcedMode;
  c.deviceGone += verdict.deviceGone;
}

void ExpectClean(const CaseRun& run, const std::string& faultClass) {
  const Verdict& v = run.verdict;
  // One line per case on request, for the table of what each fault leaves
  // behind.
  if (getenv("QUORVEL_CAMPAIGN_CASES") != nullptr) {
    std::printf("case | %s | %s | %s | %s%s%s\n", faultClass.c_str(),
                run.context.substr(0, run.context.find('\n')).c_str(),
                run.outcome.hung ? "hung" : (run.outcome.result ? "success" : "failed"),
                v.leftInForcedMode ? "left in forced upgrade mode" : "-",
                v.deviceGone ? ", device gone" : "", v.wrongState.empty() ? "" : ", WRONG STATE");
  }
  EXPECT_FALSE(v.crashed) << "the program crashed\n" << run.context;
  EXPECT_FALSE(v.hung) << "the program did not end\n" << run.context;
  EXPECT_TRUE(v.expectationMet) << "unexpected result " << run.outcome.result << "\n"
                                << run.context;
  for (const std::string& problem : v.problems)
    ADD_FAILURE() << problem << "\n" << run.context;
  for (const std::string& wrong : v.wrongState)
    ADD_FAILURE() << wrong << "\n" << run.context;
  Count(faultClass, v);
}

}  // namespace campaign
