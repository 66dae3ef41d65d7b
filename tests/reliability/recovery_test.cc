// A failed update that left the chip in its forced upgrade mode is not the
// end: the control command takes it out again. Checked for each way the
// campaign found of getting there.
#include "console/interruption.h"
#include "dfu/device_modes.h"
#include "reliability/campaign_fixture.h"

namespace {

using campaign::Variant;

struct Stuck {
  int variant;
  const char* how;
  nlohmann::json faults;
  nlohmann::json changes;
  const char* failedStep;  // what --json names as the step that failed
};

std::vector<Stuck> StuckCases() {
  return {
      {11,
       "the reply to entering the forced mode is lost",
       {{{"command", "0x06"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Enter the forced upgrade mode"},
      {11,
       "a late reply is read by the recovery restart",
       {{{"command", "0x20"}, {"action", "delay"}, {"ms", 300}}},
       nlohmann::json::object(),
       "The firmware upgrade mode is displayed"},
      {11,
       "the version wait fails",
       {{{"command", "0x00"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Wait for the reboot verification to update the version information"},
      {6,
       "a write fails during the download",
       {{{"action", "writeFails"}, {"afterWrites", 100}}},
       nlohmann::json::object(),
       "Download firmware program"},
      {8,
       "platform 3 stops after a failed step",
       {{{"command", "0x01"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Confirm the firmware upgrade information"},
      {10,
       "platform 3 without a forced state stops after a failed step",
       {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
       nlohmann::json::object(),
       "Download complete, verify the result"},
  };
}

class Recovery : public CampaignTest {};

int DataFramesSent() {
  int sent = 0;
  for (const auto& request : emu::Record()["devices"]["dongle"]["requests"])
    sent += request.value("hex", "").rfind("0A10", 0) == 0 ? 1 : 0;
  return sent;
}

TEST_F(Recovery, ControlCommandTakesTheChipOutOfTheForcedMode) {
  for (const Stuck& stuck : StuckCases()) {
    Variant variant = campaign::Variants().at(static_cast<size_t>(stuck.variant));
    nlohmann::json device = variant.device;
    device["faults"] = stuck.faults;
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {device}}}, &error)) << error;
    harness::CommandRun update;
    update.args = variant.args;
    harness::CommandOutcome failed = harness::RunCommand(update);
    // A restart under way completes before the user types the next command.
    g_virtual.now += 5000;
    std::string context = variant.label + ": " + stuck.how + "\n" + failed.out;
    ASSERT_TRUE(failed.executed && !failed.result) << context;
    ASSERT_TRUE(emu::Record()["devices"]["dongle"]["final"]["forcedUpgradeMode"].get<bool>())
        << context;
    // Standard error names the failed step and the command that recovers.
    EXPECT_EQ(failed.err.rfind("quorvel-dfu: DFU failed at the step \"", 0), 0u) << context;
    EXPECT_NE(failed.err.find("; the device may be left in its forced upgrade mode; to recover it "
                              "run: quorvel-dfu 248a 8266 -f 1\n"),
              std::string::npos)
        << context << failed.err;
    harness::CommandRun control;
    control.args = {"248a", "8266", "-f", "1"};
    control.prompt = false;
    harness::CommandOutcome fixed = harness::RunCommand(control);
    EXPECT_TRUE(fixed.result) << context << fixed.out;
    EXPECT_NE(fixed.out.find(">> control success! ("), std::string::npos) << fixed.out;
    EXPECT_EQ(fixed.err, "");
    g_virtual.now += 5000;
    const nlohmann::json& after = emu::Record()["devices"]["dongle"];
    EXPECT_FALSE(after["final"]["forcedUpgradeMode"].get<bool>()) << context;
    EXPECT_EQ(e2e::CommandTrace(after).substr(e2e::CommandTrace(after).size() - 5), " H F-")
        << context;
  }
}

// The failure line names the first step that failed, not the recovery steps
// after it, and the way back from the mode the chip may be left in.
TEST_F(Recovery, FailureLineNamesTheStepAndTheRecovery) {
  struct Case {
    int variant;
    nlohmann::json faults;
    std::vector<std::string> args;  // replace the variant's when given
    std::string err;
  };
  const std::vector<Case> cases = {
      // Platform 0: no forced mode; the chip waits in its upgrade mode.
      {0,
       {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
       {},
       "quorvel-dfu: DFU failed at the step \"Download complete, verify the result\"; the device "
       "may be left in its firmware upgrade mode without a complete image; run the update again, "
       "or restart it with: quorvel-dfu 248a 8266 -r 1\n"},
      // Platform 4: the forced mode is left again after the failure, and the
      // chip restarted: nothing to recover.
      {11,
       {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
       {},
       "quorvel-dfu: DFU failed at the step \"Download complete, verify the result\"\n"},
      // The control command whose leaving the forced mode was not answered.
      {11,
       {{{"command", "0x06"}, {"action", "noReply"}}},
       {"248a", "8266", "-n", "1", "-f", "1"},
       "quorvel-dfu: control failed at the step \"Exit the forced upgrade mode\"; the device may "
       "be left in its forced upgrade mode; to recover it run: quorvel-dfu 248a 8266 -n 1 -f 1\n"},
  };
  for (const Case& c : cases) {
    Variant variant = campaign::Variants().at(static_cast<size_t>(c.variant));
    nlohmann::json device = variant.device;
    device["faults"] = c.faults;
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {device}}}, &error)) << error;
    harness::CommandRun run;
    run.args = c.args.empty() ? variant.args : c.args;
    run.prompt = false;
    harness::CommandOutcome outcome = harness::RunCommand(run);
    g_virtual.now += 5000;
    EXPECT_TRUE(outcome.executed && !outcome.result) << variant.label << outcome.out;
    EXPECT_EQ(outcome.err, c.err) << variant.label;
  }
}

// Ctrl-C during the download of a platform 4 update (the chip is in its
// forced upgrade mode by then), pressed once, then once more 50 ms later.
TEST_F(Recovery, InterruptDuringTheDownloadWarnsThenStopsWithTheRecoveryCommand) {
  Variant variant = campaign::Variants().at(11);
  for (bool pressTwice : {false, true}) {
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {variant.device}}}, &error)) << error;
    InstallInterruptHandling();
    ASSERT_NE(g_virtual.onInterrupt, nullptr);
    int32_t firstAt = -1;
    harness::CommandRun update;
    update.args = variant.args;
    update.onTick = [&](int32_t now) {
      if (firstAt == -1 && DeviceModes.upgrade.load() && DataFramesSent() > 10) {
        firstAt = now;
        g_virtual.onInterrupt();
      } else if (pressTwice && firstAt >= 0 && now >= firstAt + 50 && firstAt != -2) {
        firstAt = -2;
        g_virtual.onInterrupt();
      }
    };
    harness::CommandOutcome run = harness::RunCommand(update);
    g_virtual.now += 5000;
    const nlohmann::json& after = emu::Record()["devices"]["dongle"];
    const std::string warning =
        "quorvel-dfu: stopping now would leave the device in its upgrade mode; the command goes "
        "on. Press Ctrl-C again to stop anyway.\n";
    SCOPED_TRACE(pressTwice ? "twice" : "once");
    EXPECT_EQ(run.err.substr(0, warning.size()), warning) << run.err;
    if (!pressTwice) {
      // One press changes nothing: the update runs to its successful end.
      EXPECT_TRUE(run.executed && run.result) << run.out;
      EXPECT_EQ(run.err, warning);
      EXPECT_EQ(e2e::CommandTrace(after), variant.trace);
      EXPECT_FALSE(after["final"]["forcedUpgradeMode"].get<bool>());
      continue;
    }
    EXPECT_EQ(run.exitStatus, 130);
    EXPECT_FALSE(run.executed);
    EXPECT_EQ(run.err.substr(warning.size()),
              "quorvel-dfu: interrupted; the device may be left in its forced upgrade mode; to "
              "recover it run: quorvel-dfu 248a 8266 -f 1\n");
    EXPECT_TRUE(after["final"]["forcedUpgradeMode"].get<bool>());
    EXPECT_EQ(after["transfers"].size(), 1u);
  }
}

// The same failures with --json: nothing but one line, which names the step
// that failed first (not the tidying up after it) and what the device took.
TEST_F(Recovery, JsonLineNamesTheStepThatFailed) {
  for (const Stuck& stuck : StuckCases()) {
    Variant variant = campaign::Variants().at(static_cast<size_t>(stuck.variant));
    nlohmann::json device = variant.device;
    device["faults"] = stuck.faults;
    // --json first reads both versions the device has: the version wait's
    // query is then the third one.
    for (nlohmann::json& fault : device["faults"]) {
      if (fault.value("command", "") == "0x00")
        fault["occurrence"] = 3;
    }
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {device}}}, &error)) << error;
    harness::CommandRun update;
    update.args = variant.args;
    update.args.push_back("--json");
    harness::CommandOutcome failed = harness::RunCommand(update);
    std::string context = variant.label + ": " + stuck.how + "\n" + failed.out;
    ASSERT_TRUE(failed.executed && !failed.result) << context;
    ASSERT_EQ(failed.out.find('\n'), failed.out.size() - 1) << context;
    nlohmann::json line = nlohmann::json::parse(failed.out, nullptr, false);
    ASSERT_TRUE(line.is_object()) << context;
    EXPECT_EQ(line["result"], "failure") << context;
    EXPECT_EQ(line["failedStep"], stuck.failedStep) << context;
    EXPECT_EQ(line["device"]["vid"], "248a") << context;
    int64_t received = 0;
    for (const nlohmann::json& t : emu::Record()["devices"]["dongle"]["transfers"])
      received += t["receivedLength"].get<int64_t>();
    EXPECT_EQ(line["bytesSent"], received) << context;
    g_virtual.now += 5000;
  }
}

}  // namespace
