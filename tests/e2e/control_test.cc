// Control commands run by the real program: restarting the chip, taking it
// out of its forced upgrade mode, and both, from the command line and from
// the prompt, against a chip that starts in its forced upgrade mode.
#include <gtest/gtest.h>

#include <fstream>

#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/screen_text.h"

namespace {

using e2e::RunOptions;
using e2e::RunResult;
using Json = nlohmann::json;

struct ControlCase {
  std::string label;
  RunOptions run;
  std::vector<std::string> lines;  // the output, times masked
  std::string trace;
  int exitStatus = 0;
  bool forcedAfter = false;
  size_t restarts = 0;
};

// A chip in its forced upgrade mode, carried in through the state file.
RunOptions ForcedChip(const e2e::Workspace& workspace, const std::string& name,
                      const Json& dongle) {
  RunOptions run;
  run.scenario = e2e::Scenario({e2e::OtherKeyboard(), dongle});
  run.stateFile = workspace.Path(name + "-state.json");
  Json state = {{"devices",
                 {{"dongle",
                   {{"controllerVersion", "01-00-0000-00000001"},
                    {"appVersion", "01-00-0000-00000001"},
                    {"forcedUpgradeMode", true}}}}}};
  std::ofstream(run.stateFile) << state.dump();
  return run;
}

std::vector<std::string> PromptLog(const std::vector<std::string>& steps,
                                   const std::string& result) {
  std::vector<std::string> lines = {
      ">> >> Enter Control", ">> Querying USB device connections",
      std::string(">>: Query connected device: \"") + e2e::kDongleName + "\""};
  for (const std::string& step : steps) {
    lines.push_back(">> " + step);
    lines.push_back(">> : Successful execution! (T, T)");
  }
  lines.push_back(result);
  return lines;
}

std::vector<ControlCase> Cases(const e2e::Workspace& workspace) {
  struct Kind {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> steps;
    std::string trace;
    bool forcedAfter;
    size_t restarts;
  };
  const std::vector<Kind> kinds = {
      {"reset", {"-r", "1"}, {"Restart the device"}, "H R", true, 1},
      {"force", {"-f", "1"}, {"Exit the forced upgrade mode"}, "H F-", false, 0},
      // Leave the forced upgrade mode first, then restart.
      {"force and reset",
       {"-f", "true", "-r", "true"},
       {"Exit the forced upgrade mode", "Restart the device"},
       "H F- R",
       false,
       1},
  };
  std::vector<ControlCase> cases;
  for (const Kind& kind : kinds) {
    ControlCase line;
    line.label = std::string(kind.name) + " on the command line";
    line.run = ForcedChip(workspace, line.label, e2e::Dongle());
    line.run.args = {"248a", "8266"};
    line.run.args.insert(line.run.args.end(), kind.options.begin(), kind.options.end());
    line.lines = {">> control success! (T)"};
    line.trace = kind.trace;
    line.forcedAfter = kind.forcedAfter;
    line.restarts = kind.restarts;
    cases.push_back(line);

    ControlCase prompt = line;
    prompt.label = std::string(kind.name) + " at the prompt";
    prompt.run = ForcedChip(workspace, prompt.label, e2e::Dongle());
    std::string command = "ctrl 248a 8266";
    for (const std::string& option : kind.options)
      command += " " + option;
    prompt.run.input = command + "\n";
    prompt.lines = PromptLog(kind.steps, ">> control success! (T)");
    cases.push_back(prompt);
  }
  // The chip does not answer the request to leave its forced upgrade mode:
  // it is not restarted, and the command failed.
  ControlCase failed;
  failed.label = "force and reset, no reply to leaving";
  failed.run =
      ForcedChip(workspace, failed.label,
                 e2e::Dongle({{"faults", {{{"command", "0x06"}, {"action", "noReply"}}}}}));
  failed.run.args = {"248a", "8266", "-f", "1", "-r", "1"};
  failed.lines = {">> control failed! (T)"};
  failed.trace = "H F-";
  failed.exitStatus = 1;
  failed.forcedAfter = false;  // the chip did leave; only its reply was lost
  cases.push_back(failed);
  return cases;
}

TEST(Control, ResetForceAndBothFromTheCommandLineAndThePrompt) {
  e2e::Workspace workspace;
  std::vector<ControlCase> cases = Cases(workspace);
  std::vector<RunOptions> runs;
  for (const ControlCase& c : cases)
    runs.push_back(c.run);
  std::vector<RunResult> results = e2e::RunAll(workspace, runs);
  for (size_t i = 0; i < cases.size(); ++i) {
    const ControlCase& c = cases[i];
    const RunResult& result = results[i];
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(result.timedOut) << result.Describe();
    EXPECT_EQ(result.exitStatus, c.exitStatus) << result.Describe();
    // A failed control command says why on standard error, and how to take
    // the chip out of the forced mode it may still be in.
    EXPECT_EQ(result.err, c.exitStatus == 0 ? ""
                                            : "quorvel-dfu: control failed at the step \"Exit the "
                                              "forced upgrade mode\"; the device may be left in "
                                              "its forced upgrade mode; to recover it run: "
                                              "quorvel-dfu 248a 8266 -f 1\n");
    EXPECT_EQ(e2e::ScreenLines(e2e::MaskTimes(e2e::AfterHelp(result.out))), c.lines)
        << result.Describe();
    const Json& dongle = result.Device("dongle");
    EXPECT_EQ(e2e::CommandTrace(dongle), c.trace);
    const Json restarts = dongle.value("restarts", Json::array());
    ASSERT_EQ(restarts.size(), c.restarts);
    for (const Json& restart : restarts) {
      EXPECT_EQ(restart.value("cause", ""), "restart");
      EXPECT_EQ(restart.value("mode", Json()), Json(0));
    }
    EXPECT_EQ(dongle.value("final", Json::object()).value("forcedUpgradeMode", !c.forcedAfter),
              c.forcedAfter);
    EXPECT_TRUE(dongle.value("transfers", Json::array()).empty());
  }
}

}  // namespace
