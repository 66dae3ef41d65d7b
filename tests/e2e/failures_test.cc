// Updates given on the command line that fail at one step of their
// sequence: the program says so in its result line after closing any open
// progress line, exits with status 1, and leaves the chip's forced upgrade
// mode as its sequence prescribes; a chip never runs firmware that failed
// its verification.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/e2e_upgrade_rows.h"
#include "support/screen_text.h"

namespace {

using e2e::Firmware;
using e2e::RunOptions;
using e2e::RunResult;
using Json = nlohmann::json;

RunOptions CommandLine(const Json& dongle, const std::vector<std::string>& args) {
  RunOptions run;
  run.scenario = e2e::Scenario({e2e::OtherKeyboard(), dongle});
  run.args = {"248a", "8266"};
  run.args.insert(run.args.end(), args.begin(), args.end());
  return run;
}

Json Faults(const Json& fault) {
  return Json{{"faults", Json::array({fault})}};
}

struct FailureCase {
  std::string label;
  RunOptions run;
  std::string trace;
  int progressLines = 1;  // closed progress lines before the result line
  bool forcedAfter = false;
  std::string controllerAfter = e2e::kInitialVersion;  // empty: not checked
  std::string appAfter = e2e::kInitialVersion;
  int restarts = -1;  // negative: not checked
  // The chip was restarted holding an image that did not pass its
  // verification: the restart discards it instead of running it.
  bool imageDiscarded = false;
};

// Standard error holds one line: the failure, with the command that takes
// the chip out of its forced upgrade mode whenever the chip was left there
// (followed by the restart when it may be in its upgrade mode too).
void ExpectFailureLine(const RunResult& result, bool leftInForcedMode) {
  EXPECT_EQ(result.err.rfind("quorvel-dfu: DFU failed", 0), 0u) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  if (leftInForcedMode) {
    const bool forcedOnly =
        result.err.find("; to recover it run: quorvel-dfu 248a 8266 -f 1\n") != std::string::npos;
    const bool both = result.err.find(
                          "; run the update again, or recover it with: quorvel-dfu 248a 8266 -f 1 "
                          "and then, unless it restarts by itself, quorvel-dfu 248a 8266 -r 1\n") !=
                      std::string::npos;
    EXPECT_TRUE(forcedOnly || both) << result.err;
  }
}

// The output: closed compact progress lines, each a run of well-formed
// progress texts ended by a line end, then the failure line.
void ExpectFailedOutput(const FailureCase& c, const RunResult& result) {
  EXPECT_FALSE(result.timedOut) << result.Describe();
  EXPECT_EQ(result.exitStatus, 1) << result.Describe();
  ExpectFailureLine(result, c.forcedAfter);
  std::vector<std::string> lines = e2e::ScreenLines(e2e::MaskTimes(result.out), false);
  ASSERT_EQ(lines.size(), static_cast<size_t>(c.progressLines + 1)) << result.Describe();
  static const std::regex kProgress(R"(>> : Download progress: [ \d]{2}\d%)");
  for (int i = 0; i < c.progressLines; ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], kProgress)) << lines[i];
  }
  EXPECT_EQ(lines.back(), ">> DFU failed! (T)");
  EXPECT_TRUE(!result.out.empty() && result.out.back() == '\n');
}

void ExpectFailure(const FailureCase& c, const RunResult& result) {
  SCOPED_TRACE(c.label);
  ExpectFailedOutput(c, result);
  ASSERT_TRUE(result.hasRecord) << result.Describe();
  const Json& dongle = result.Device("dongle");
  EXPECT_EQ(e2e::CommandTrace(dongle), c.trace);
  const Json final = dongle.value("final", Json::object());
  EXPECT_EQ(final.value("forcedUpgradeMode", !c.forcedAfter), c.forcedAfter);
  if (!c.controllerAfter.empty()) {
    EXPECT_EQ(final.value("controllerVersion", ""), c.controllerAfter);
  }
  EXPECT_EQ(final.value("appVersion", ""), c.appAfter);
  const Json transfers = dongle.value("transfers", Json::array());
  const Json restarts = dongle.value("restarts", Json::array());
  if (c.restarts >= 0) {
    EXPECT_EQ(restarts.size(), static_cast<size_t>(c.restarts));
  }
  if (c.imageDiscarded) {
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_NE(transfers[0].value("verified", Json()), Json(true));
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_FALSE(restarts[0].value("appliedImage", true));
    EXPECT_TRUE(restarts[0].value("unverifiedImageDiscarded", false));
  }
  // Whatever happened, a restart applies only an image the device verified.
  for (const Json& restart : restarts) {
    if (!restart.value("appliedImage", false))
      continue;
    bool verified = false;
    for (const Json& t : transfers)
      verified = verified || t.value("verified", Json()) == true;
    EXPECT_TRUE(verified) << restart.dump();
  }
}

void RunFailures(const e2e::Workspace& workspace, const std::vector<FailureCase>& cases) {
  std::vector<RunOptions> runs;
  for (const FailureCase& c : cases)
    runs.push_back(c.run);
  std::vector<RunResult> results = e2e::RunAll(workspace, runs);
  for (size_t i = 0; i < cases.size(); ++i)
    ExpectFailure(cases[i], results[i]);
}

TEST(Failures, EachStepOfTheSequences) {
  e2e::Workspace workspace;
  Firmware one = e2e::WriteOnePart(workspace, "one.bin");
  Firmware two = e2e::WriteTwoPart(workspace, "two.bin");
  Firmware passthrough = e2e::WritePassthrough(workspace, "passthrough.bin");
  std::vector<FailureCase> cases;

  FailureCase c;
  // The chip enters the forced upgrade mode but its reply is lost: nothing
  // else is sent, and in particular no request to leave the mode.
  c.label = "no reply to entering the forced upgrade mode";
  c.run = CommandLine(e2e::Dongle(Faults({{"command", "0x06"}, {"action", "noReply"}})),
                      {"-s", "4", "-d", one.path});
  c.trace = "H F+";
  c.progressLines = 0;
  c.forcedAfter = true;
  cases.push_back(c);

  // A failed start: the chip is restarted, awaited and taken out of the
  // forced upgrade mode; the wait has already moved the compact line.
  c = FailureCase();
  c.label = "start completes with a non-zero status";
  c.run =
      CommandLine(e2e::Dongle(Faults({{"command", "0x02"}, {"action", "status"}, {"value", 1}})),
                  {"-s", "4", "-d", one.path});
  c.trace = "H F+ E I S R H F-";
  c.imageDiscarded = true;
  cases.push_back(c);

  c = FailureCase();
  c.label = "platform 2, two parts, acknowledgement of block 1 lost";
  c.run = CommandLine(e2e::Dongle(Faults({{"block", 1}, {"action", "ackMissing"}})),
                      {"-s", "2", "-d", two.path});
  c.trace = "H F+ E I S D R H F-";
  c.imageDiscarded = true;
  cases.push_back(c);

  c = FailureCase();
  c.label = "acknowledgement of block 2 names another block";
  c.run = CommandLine(e2e::Dongle(Faults({{"block", 2}, {"action", "ackWrong"}})),
                      {"-s", "4", "-d", one.path});
  c.trace = "H F+ E I S D R H F-";
  c.imageDiscarded = true;
  cases.push_back(c);

  // Where the sequence has no recovery, a failed verification is the end:
  // the chip is not restarted into what it received.
  c = FailureCase();
  c.label = "platform 0, verify fails";
  c.run =
      CommandLine(e2e::Dongle(Faults({{"command", "0x03"}, {"action", "status"}, {"value", 1}})),
                  {"-s", "0", "-d", one.path});
  c.trace = "H E I S D V";
  c.restarts = 0;
  cases.push_back(c);

  c = FailureCase();
  c.label = "platform 3, verify fails";
  c.run =
      CommandLine(e2e::Dongle(Faults({{"command", "0x03"}, {"action", "status"}, {"value", 1}})),
                  {"-s", "3", "-d", one.path});
  c.trace = "H F+ E I S D V";
  c.forcedAfter = true;
  c.restarts = 0;
  cases.push_back(c);

  // Platform 4 restarts the chip after any failure before its restart, to
  // take it out of the forced upgrade mode. The injected status changes
  // only the reply: the device's own check passed, so what it runs after
  // this restart is its own business, not checked here.
  c = FailureCase();
  c.label = "platform 4, verify fails";
  c.run =
      CommandLine(e2e::Dongle(Faults({{"command", "0x03"}, {"action", "status"}, {"value", 1}})),
                  {"-s", "4", "-d", one.path});
  c.trace = "H F+ E I S D V R H F-";
  c.controllerAfter = "";
  c.restarts = 1;
  cases.push_back(c);

  // Everything worked but leaving the forced upgrade mode: still a failure.
  c = FailureCase();
  c.label = "no reply to leaving the forced upgrade mode";
  c.run = CommandLine(
      e2e::Dongle(Faults({{"command", "0x06"}, {"occurrence", 2}, {"action", "noReply"}})),
      {"-s", "4", "-d", one.path});
  c.trace = "H F+ E I S D V R Q0 F-";
  c.controllerAfter = e2e::kOnePartVersion;
  cases.push_back(c);

  // Nothing behind the dongle answers: passthrough is not switched off
  // since it never went on.
  c = FailureCase();
  c.label = "passthrough cannot be switched on";
  c.run = CommandLine(e2e::Dongle(), {"-s", "4", "-t", passthrough.path});
  c.trace = "H H P+";
  c.progressLines = 0;
  cases.push_back(c);

  // Without the check nothing waits for the restart after the first part;
  // the one scan that follows misses a device that is still away (for far
  // longer than the program runs, however slowly it runs).
  c = FailureCase();
  c.label = "platform 1, two parts, device away during the single scan";
  c.run = CommandLine(e2e::Dongle({{"reboot", {{"leaveMs", 20}, {"awayMs", 120000}}}}),
                      {"-s", "1", "-d", two.path, "-i", "1", "-c", "0"});
  c.trace = "H E I S D V R";
  c.appAfter = e2e::kAppVersion;
  cases.push_back(c);

  RunFailures(workspace, cases);
}

// At the prompt: the step log names the failing step and what followed.
RunOptions AtThePrompt(const Json& dongle, const std::string& arguments) {
  RunOptions run;
  run.scenario = e2e::Scenario({e2e::OtherKeyboard(), dongle});
  run.input = "dfu 248a 8266 " + arguments + "\n";
  return run;
}

const char kOk[] = ">> : Successful execution! (T, T)";
const char kFailed[] = ">> : Execution failed! (T, T)";

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> groups) {
  std::vector<std::string> lines;
  for (const auto& group : groups)
    lines.insert(lines.end(), group.begin(), group.end());
  return lines;
}

std::vector<std::string> Connected() {
  return {">> >> Enter DFU", ">> Querying USB device connections",
          std::string(">>: Query connected device: \"") + e2e::kDongleName + "\""};
}

// Upgrade mode, information, start: all answered.
std::vector<std::string> Announced() {
  return {">> The firmware upgrade mode is displayed",
          kOk,
          ">> Confirm the firmware upgrade information",
          kOk,
          ">> : Firmware information:Controller",
          ">> The firmware upgrade program starts",
          kOk};
}

std::vector<std::string> Downloaded() {
  return {">> Download firmware program", ">> : Download progress: 100%", kOk};
}

void ExpectLog(const RunResult& result, const std::vector<std::string>& expected) {
  EXPECT_FALSE(result.timedOut) << result.Describe();
  EXPECT_EQ(result.exitStatus, 1) << result.Describe();
  ExpectFailureLine(result, false);
  EXPECT_EQ(e2e::ScreenLines(e2e::MaskTimes(e2e::AfterHelp(result.out))), expected)
      << result.Describe();
}

// The two waits that time out cost their full time-out, so they share one
// test: on the command line without check (10 s), at the prompt with it (20 s).
TEST(Failures, DeviceNotComingBackAfterItsRestart) {
  e2e::Workspace workspace;
  Firmware one = e2e::WriteOnePart(workspace, "one.bin");
  const Json away = {{"reboot", {{"leaveMs", 20}, {"awayMs", 120000}}}};
  FailureCase c;
  // The wait gets no recovery; leaving the forced upgrade mode then cannot
  // reach the device, which stays in it.
  c.label = "platform 4 without check";
  c.run = CommandLine(e2e::Dongle(away), {"-s", "4", "-d", one.path, "-c", "0"});
  c.trace = "H F+ E I S D V R";
  c.forcedAfter = true;
  c.controllerAfter = e2e::kOnePartVersion;  // it did verify, and restarts into it later
  c.restarts = 1;
  RunOptions prompt = AtThePrompt(e2e::Dongle(away), "-s 2 -d " + one.path);
  std::vector<RunResult> results = e2e::RunAll(workspace, {c.run, prompt});
  ExpectFailure(c, results[0]);
  ExpectLog(results[1],
            Lines({Connected(),
                   Announced(),
                   Downloaded(),
                   {">> Download complete, verify the result", kOk, ">> Restart the device", kOk,
                    ">> Wait for the reboot verification to update the version information "
                    "(Timeout: 20 s)",
                    ">>: 100%", ">> Timeout No newer version device detected! (T, T)",
                    ">> DFU failed! (T)"}}));
}

TEST(Failures, StepLogAtThePrompt) {
  e2e::Workspace workspace;
  Firmware one = e2e::WriteOnePart(workspace, "one.bin");
  std::vector<RunResult> results = e2e::RunAll(
      workspace,
      {AtThePrompt(e2e::Dongle(Faults({{"block", 1}, {"action", "ackMissing"}})),
                   "-s 0 -d " + one.path),
       AtThePrompt(e2e::Dongle(Faults({{"command", "0x03"}, {"action", "status"}, {"value", 1}})),
                   "-s 4 -d " + one.path)});

  // 1136 bytes in 62-byte frames: block 1 is due after the ninth frame, at
  // 558 bytes (49 %), and its acknowledgement never comes.
  ExpectLog(results[0],
            Lines({Connected(),
                   Announced(),
                   {">> Download firmware program", ">> : Download progress:  49%", kFailed,
                    ">> : Program file size:0x00000470 Download failed Location:0x0000022E (T, T)",
                    ">> DFU failed! (T)"}}));

  // The chip is restarted, found again and taken out of the forced upgrade
  // mode; the update still failed.
  ExpectLog(results[1],
            Lines({Connected(),
                   {">> Enter the forced upgrade mode", kOk},
                   Announced(),
                   Downloaded(),
                   {">> Download complete, verify the result", kFailed, ">> Restart the device",
                    kOk, ">> Wait to restart connection (Timeout: 10 s)", ">>: 100%",
                    std::string(">>: Wait to connect to the device: \"") + e2e::kDongleName + "\"",
                    ">> Exit the forced upgrade mode", kOk, ">> DFU failed! (T)"}}));
}

}  // namespace
