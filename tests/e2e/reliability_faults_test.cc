// A representative part of the fault-injection campaign run by the real
// program in real time behind the preloaded emulator: faults in replies,
// acknowledgements, writes and presence, and damaged or unusable firmware
// files. Each run must end on its own, report, exit with the right status
// and leave the device as the in-process campaign found it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/fault_campaign.h"
#include "support/screen_text.h"

namespace {

using campaign::Expect;
using campaign::FaultCase;
using campaign::Variant;

struct E2eCase {
  Variant variant;
  FaultCase fault;
  bool leftInForcedMode = false;  // as the campaign table documents
  bool deviceGone = false;
  std::string traceStart;  // the device's requests begin like this
};

Variant VariantWithOwnPath(int index) {
  Variant variant = campaign::Variants().at(static_cast<size_t>(index));
  // The device lock is system-wide and named after the path: concurrent
  // runs need paths of their own.
  variant.device["path"] = e2e::UniqueDevicePath();
  return variant;
}

FaultCase Fault(const std::string& faultClass, const std::string& label, nlohmann::json faults,
                nlohmann::json changes = nlohmann::json::object()) {
  FaultCase fault;
  fault.faultClass = faultClass;
  fault.label = label;
  fault.faults = std::move(faults);
  fault.deviceChanges = std::move(changes);
  return fault;
}

std::vector<E2eCase> Cases() {
  std::vector<E2eCase> cases;
  // The one-part file goes whole, in 62-byte frames: H E I S, the frames, V.
  const int frames = static_cast<int>((campaign::Files().onePartBytes.size() + 61) / 62);
  cases.push_back({VariantWithOwnPath(11),
                   Fault("no reply", "E", {{{"command", "0x20"}, {"action", "noReply"}}}), false,
                   false, "H F+ E R H F-"});
  // Far past its window, so that a busy machine cannot make it count: the
  // chip has already left the forced upgrade mode when the reply is missed.
  cases.push_back(
      {VariantWithOwnPath(11),
       Fault("late reply", "F-",
             {{{"command", "0x06"}, {"occurrence", 2}, {"action", "delay"}, {"ms", 1500}}}),
       false, false, "H F+ E I S D V R Q0 F-"});
  cases.push_back({VariantWithOwnPath(6),
                   Fault("garbage reply", "V completion",
                         {{{"command", "0x03"}, {"stage", 2}, {"action", "garbage"}}}),
                   false, false, "H F+ E I S D V R H F-"});
  cases.push_back(
      {VariantWithOwnPath(1),
       Fault("lost acknowledgement", "block 3", {{{"block", 3}, {"action", "ackMissing"}}}), false,
       false, "H E I S D"});
  cases.push_back(
      {VariantWithOwnPath(0),
       Fault("write fails", "V", {{{"action", "writeFails"}, {"afterWrites", 4 + frames}}}), false,
       false, "H E I S D"});
  cases.push_back({VariantWithOwnPath(13),
                   Fault("vanish mid-download", "passthrough transfer",
                         {{{"action", "vanish"}, {"afterDataBytes", 1500}}}),
                   false, true, "H H P+ I S D"});
  cases.push_back({VariantWithOwnPath(8),
                   Fault("no reply", "I", {{{"command", "0x01"}, {"action", "noReply"}}}), true,
                   false, "H F+ E I"});
  cases.push_back(
      {VariantWithOwnPath(12),
       Fault("stray report", "F-",
             {{{"command", "0x06"}, {"occurrence", 2}, {"action", "stray"}, {"hex", "0A9900"}}}),
       false, false, "H F+ E I S D V R Q0 F-"});
  // A device away for longer than a wait after its restart costs that
  // wait's whole time-out in real time: WaitFaults makes it vanish during
  // every wait of every sequence on the virtual clock, and
  // Failures.DeviceNotComingBackAfterItsRestart lets both restart waits of
  // the real program run out.
  cases.push_back({VariantWithOwnPath(2),
                   Fault("wrong acknowledgement", "last block, echoed",
                         {{{"block", frames - 1}, {"action", "ackWrong"}}}),
                   false, false, "H E I S D"});
  return cases;
}

// A sanitizer report or a death by signal is a crash, whatever the status;
// 2 is the usage error of a refused command line.
bool Crashed(const e2e::RunResult& result) {
  return ((result.exitStatus < 0 || result.exitStatus > 2) && !result.timedOut) ||
         result.err.find("Sanitizer") != std::string::npos ||
         result.err.find("runtime error:") != std::string::npos;
}

TEST(ReliabilityE2e, FaultsAtRepresentativeStepsOfEveryPlatform) {
  e2e::Workspace workspace;
  std::vector<E2eCase> cases = Cases();
  std::vector<e2e::RunOptions> runs;
  for (const E2eCase& c : cases) {
    nlohmann::json device = c.variant.device;
    for (auto it = c.fault.deviceChanges.begin(); it != c.fault.deviceChanges.end(); ++it) {
      device[it.key()] = it.value();
    }
    device["faults"] = c.fault.faults;
    e2e::RunOptions run;
    run.scenario = e2e::Scenario({e2e::OtherKeyboard(), device});
    run.args = c.variant.args;
    run.timeLimitSeconds = 90;
    runs.push_back(run);
  }
  std::vector<e2e::RunResult> results = e2e::RunAll(workspace, runs);
  for (size_t i = 0; i < cases.size(); ++i) {
    const E2eCase& c = cases[i];
    const e2e::RunResult& r = results[i];
    std::string context =
        c.variant.label + " / " + c.fault.faultClass + " at " + c.fault.label + "\n" + r.Describe();
    ASSERT_TRUE(r.started && r.hasRecord) << context;
    const nlohmann::json& device = r.Device("dongle");
    harness::CommandOutcome outcome;
    outcome.parsed = true;
    outcome.executed = !r.timedOut;
    outcome.hung = r.timedOut;
    outcome.result = r.exitStatus == 0;
    outcome.out = r.out;
    campaign::CaseRun run;
    run.outcome = outcome;
    run.device = device;
    run.verdict = campaign::Judge(c.variant, c.fault, false, outcome, device);
    run.verdict.crashed = Crashed(r);
    run.context = context + "\nrequests: " + e2e::CommandTrace(device);
    EXPECT_EQ(r.exitStatus, 1) << run.context;
    EXPECT_EQ(e2e::CommandTrace(device).rfind(c.traceStart, 0), 0u) << run.context;
    EXPECT_EQ(run.verdict.leftInForcedMode, c.leftInForcedMode) << run.context;
    EXPECT_EQ(run.verdict.deviceGone, c.deviceGone) << run.context;
    campaign::ExpectClean(run, c.fault.faultClass);
  }
}

// Files the program must refuse before it addresses the device: from the
// command line it falls back to its prompt, at the prompt it says why.
TEST(ReliabilityE2e, UnusableFilesNeverReachTheDevice) {
  e2e::Workspace workspace;
  const campaign::Firmware& f = campaign::Files();
  std::vector<uint8_t> cut(f.onePartBytes.begin(), f.onePartBytes.end() - 1);
  std::vector<uint8_t> flipped = f.onePartBytes;
  flipped[40] ^= 0x04;
  std::string fifo = workspace.Path("fifo.bin");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  struct FileRun {
    std::string faultClass;
    std::vector<std::string> options;
    bool prompt;
  };
  std::vector<FileRun> files = {
      {"file truncated", {"-s", "4", "-d", workspace.Write("cut.bin", cut)}, false},
      {"file with a flipped byte", {"-s", "0", "-d", workspace.Write("flip.bin", flipped)}, true},
      {"file not regular", {"-s", "4", "-d", fifo}, false},
      {"file not regular", {"-s", "4", "-t", workspace.dir}, true},
      {"file empty", {"-s", "4", "-t", workspace.Write("empty.bin", {})}, true},
  };
  std::vector<e2e::RunOptions> runs;
  std::vector<std::string> paths;
  for (const FileRun& file : files) {
    e2e::RunOptions run;
    nlohmann::json device = campaign::Variants().at(12).device;
    device["path"] = e2e::UniqueDevicePath();
    run.scenario = e2e::Scenario({device});
    std::vector<std::string> args = {"248a", "8266"};
    args.insert(args.end(), file.options.begin(), file.options.end());
    if (file.prompt) {
      std::string line = "dfu";
      for (const std::string& arg : args)
        line += " " + arg;
      run.input = line + "\nexit\n";
    } else {
      run.args = args;
    }
    runs.push_back(run);
  }
  std::vector<e2e::RunResult> results = e2e::RunAll(workspace, runs);
  for (size_t i = 0; i < files.size(); ++i) {
    const e2e::RunResult& r = results[i];
    std::string context = files[i].faultClass + "\n" + r.Describe();
    campaign::Verdict verdict;
    verdict.hung = r.timedOut;
    verdict.crashed = Crashed(r);
    // Refused on the command line, the prompt meets the end of its input
    // without a command having run: a usage error.
    verdict.expectationMet = r.exitStatus == (files[i].prompt ? 0 : 2);
    if (!r.Device("dongle")["requests"].empty()) {
      verdict.wrongState.push_back("the device was addressed although the file was refused");
    }
    std::string after = e2e::AfterHelp(r.out);
    if (files[i].prompt && after.find(">> : Parameter error!\n") == std::string::npos) {
      verdict.problems.push_back("no parameter error line");
    }
    if (r.out.rfind("Quorvel DFU V0.0.7\n", 0) != 0) {
      verdict.problems.push_back("the program did not fall back to its prompt");
    }
    campaign::CaseRun run;
    run.verdict = verdict;
    run.context = context;
    campaign::ExpectClean(run, files[i].faultClass);
  }
}

}  // namespace
