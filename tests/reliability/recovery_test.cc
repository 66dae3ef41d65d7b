// A failed update that left the chip in its forced upgrade mode is not the
// end: the control command takes it out again. Checked for each way the
// campaign found of getting there.
#include "console/interruption.h"
#include "dfu/device_modes.h"
#include "reliability/campaign_fixture.h"
#include "transport/device_list.h"

namespace {

using campaign::Variant;

struct Stuck {
  int variant;
  const char* how;
  nlohmann::json faults;
  nlohmann::json changes;
  const char* failedStep;  // what --json names as the step that failed
  // The chip may also be left in its firmware upgrade mode: the recovery
  // leaves the forced mode, then restarts it.
  bool upgradeModeToo;
};

std::vector<Stuck> StuckCases() {
  return {
      {11,
       "the reply to entering the forced mode is lost",
       {{{"command", "0x06"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Enter the forced upgrade mode",
       false},
      {11,
       "a late reply is read by the recovery restart",
       {{{"command", "0x20"}, {"action", "delay"}, {"ms", 300}}},
       nlohmann::json::object(),
       "The firmware upgrade mode is displayed",
       true},
      {11,
       "the version wait fails",
       {{{"command", "0x00"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Wait for the reboot verification to update the version information",
       false},
      {6,
       "a write fails during the download",
       {{{"action", "writeFails"}, {"afterWrites", 100}}},
       nlohmann::json::object(),
       "Download firmware program",
       true},
      {8,
       "platform 3 stops after a failed step",
       {{{"command", "0x01"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Confirm the firmware upgrade information",
       true},
      {10,
       "platform 3 without a forced state stops after a failed step",
       {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
       nlohmann::json::object(),
       "Download complete, verify the result",
       true},
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
    const std::string advice =
        stuck.upgradeModeToo
            ? "; the device may be left in its forced upgrade mode and in its firmware upgrade "
              "mode without a complete image; run the update again, or recover it with: "
              "quorvel-dfu 248a 8266 -f 1 and then, unless it restarts by itself, quorvel-dfu "
              "248a 8266 -r 1\n"
            : "; the device may be left in its forced upgrade mode; to recover it run: "
              "quorvel-dfu 248a 8266 -f 1\n";
    EXPECT_NE(failed.err.find(advice), std::string::npos) << context << failed.err;
    std::vector<std::string> recoveries = {"-f"};
    if (stuck.upgradeModeToo)
      recoveries.push_back("-r");
    for (const std::string& option : recoveries) {
      harness::CommandRun control;
      control.args = {"248a", "8266", option, "1"};
      control.prompt = false;
      harness::CommandOutcome fixed = harness::RunCommand(control);
      EXPECT_TRUE(fixed.result) << context << fixed.out;
      EXPECT_NE(fixed.out.find(">> control success! ("), std::string::npos) << fixed.out;
      EXPECT_EQ(fixed.err, "");
      g_virtual.now += 5000;
    }
    const nlohmann::json& after = emu::Record()["devices"]["dongle"];
    EXPECT_FALSE(after["final"]["forcedUpgradeMode"].get<bool>()) << context;
    const std::string trace = e2e::CommandTrace(after);
    const std::string recovery = stuck.upgradeModeToo ? " H F- H R" : " H F-";
    EXPECT_EQ(trace.substr(trace.size() - recovery.size()), recovery) << context;
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

// Interrupts during the download of a platform 4 update (the chip is in its
// forced upgrade mode by then): one lets the update finish and sets the exit
// status; a second one 50 ms later stops it with the recovery command. Each
// message starts on a line of its own: the progress line is ended first.
TEST_F(Recovery, InterruptDuringTheDownloadWarnsThenStopsWithTheRecoveryCommand) {
  Variant variant = campaign::Variants().at(11);
  const std::string intWarning =
      "quorvel-dfu: stopping now would leave the device in its upgrade mode; the command goes "
      "on. Press Ctrl-C again to stop anyway.\n";
  const std::string termWarning =
      "quorvel-dfu: SIGTERM: stopping now would leave the device in its upgrade mode; the "
      "command goes on, and the program ends after it. Send the signal again (or press Ctrl-C) "
      "to stop anyway.\n";
  const std::string both =
      "the device may be left in its forced upgrade mode and in its firmware upgrade mode "
      "without a complete image; run the update again, or recover it with: quorvel-dfu 248a "
      "8266 -f 1 and then, unless it restarts by itself, quorvel-dfu 248a 8266 -r 1\n";
  struct Row {
    int first;
    int second;  // 0: none
    int status;  // the finished command's, or the stopped process's
    std::string err;
  } rows[] = {
      {kSignalInterrupt, 0, 130, intWarning},
      {kSignalTerminate, 0, 143, termWarning},
      {kSignalHangUp, 0, 129,
       "quorvel-dfu: SIGHUP: stopping now would leave the device in its upgrade mode; the command "
       "goes on, and the program ends after it. Send the signal again (or press Ctrl-C) to stop "
       "anyway.\n"},
      {kSignalInterrupt, kSignalInterrupt, 130, intWarning + "quorvel-dfu: interrupted; " + both},
      {kSignalTerminate, kSignalTerminate, 143,
       termWarning + "quorvel-dfu: stopped by SIGTERM; " + both},
      {kSignalTerminate, kSignalInterrupt, 130, termWarning + "quorvel-dfu: interrupted; " + both},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.first) + " " + std::to_string(row.second));
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
        g_virtual.onInterrupt(row.first);
      } else if (row.second != 0 && firstAt >= 0 && now >= firstAt + 50) {
        firstAt = -2;
        g_virtual.onInterrupt(row.second);
      }
    };
    harness::CommandOutcome run = harness::RunCommand(update);
    g_virtual.now += 5000;
    const nlohmann::json& after = emu::Record()["devices"]["dongle"];
    EXPECT_EQ(run.err, row.err);
    if (row.second == 0) {
      // One interrupt changes nothing but the status: the update runs to
      // its successful end, its progress line on below the warning.
      EXPECT_TRUE(run.executed && run.result) << run.out;
      EXPECT_EQ(run.statusAfter, row.status);
      EXPECT_EQ(e2e::CommandTrace(after), variant.trace);
      EXPECT_FALSE(after["final"]["forcedUpgradeMode"].get<bool>());
      EXPECT_NE(run.out.find("%\n\r>> : Download progress:"), std::string::npos) << run.out;
      continue;
    }
    EXPECT_EQ(run.exitStatus, row.status);
    EXPECT_FALSE(run.executed);
    EXPECT_TRUE(after["final"]["forcedUpgradeMode"].get<bool>());
    EXPECT_EQ(after["transfers"].size(), 1u);
  }
}

// Interrupts while nothing is at stake end at once with 128 + the signal:
// at the prompt, and while the first connection waits for its device.
TEST_F(Recovery, InterruptWithNothingAtStakeEndsAtOnceWithItsStatus) {
  const struct {
    int signal;
    int status;
    const char* lead;
  } rows[] = {{kSignalInterrupt, 130, "quorvel-dfu: interrupted"},
              {kSignalTerminate, 143, "quorvel-dfu: stopped by SIGTERM"},
              {kSignalHangUp, 129, "quorvel-dfu: stopped by SIGHUP"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lead);
    InstallInterruptHandling();
    TakeErrors();
    try {
      g_virtual.onInterrupt(row.signal);
      ADD_FAILURE() << "the interrupt did not end the program";
    } catch (const VirtualExitRequest& exit) {
      EXPECT_EQ(exit.status, row.status);
    }
    EXPECT_EQ(TakeErrors(), std::string(row.lead) + "\n");
    // No device answers: the command waits for one.
    emu::Reset();
    harness::CommandRun waiting;
    waiting.args = {"248a", "8266", "-r", "1"};
    waiting.prompt = false;
    waiting.onTick = [&](int32_t now) {
      if (now > 3000)
        g_virtual.onInterrupt(row.signal);
    };
    harness::CommandOutcome stopped = harness::RunCommand(waiting);
    EXPECT_EQ(stopped.exitStatus, row.status);
    EXPECT_NE(
        stopped.err.find(std::string(row.lead) + "; the device was not left in an upgrade mode\n"),
        std::string::npos)
        << stopped.err;
  }
}

// The recovery command reaches the device the command was for: its
// interface number and selection as given, quoted for a shell where needed;
// a device that came back without the serial number given is named by the
// port it was last seen at; a port that now holds a dongle with another
// serial number than the device's adds the device's serial number.
TEST(RecoveryCommandLine, CarriesTheSelectionAsGiven) {
  struct Row {
    int inum;
    std::string port;
    std::string serial;
    std::string lastSeenPort;
    bool presentWithoutSerial;  // the bus now shows the last-seen port without a serial
    std::string line;
    std::string deviceSerial = "";  // a wait met another dongle; the device's
  } rows[] = {
      {-1, "1-3.3", "", "1-3.3", false, "quorvel-dfu 248a 8266 --port 1-3.3 --serial qv24a01x -f 1",
       "qv24a01x"},
      {-1, "1-3.3", "", "1-3.3", false, "quorvel-dfu 248a 8266 --port 1-3.3 -f 1", "qv24a03x"},
      {-1, "1-3.3", "", "1-3.3", true, "quorvel-dfu 248a 8266 --port 1-3.3 -f 1", "qv24a01x"},
      {-1, "1-3.3", "", "1-3.1", false, "quorvel-dfu 248a 8266 --port 1-3.3 -f 1", "qv24a01x"},
      {-1, "", "", "1-3.1", false, "quorvel-dfu 248a 8266 -f 1"},
      {1, "", "", "1-3.1", true, "quorvel-dfu 248a 8266 -n 1 -f 1"},
      {-1, "1-3.3", "", "1-3.3", false, "quorvel-dfu 248a 8266 --port 1-3.3 -f 1"},
      {2, "1-3.3", "qv24a03x", "1-3.3", false,
       "quorvel-dfu 248a 8266 -n 2 --port 1-3.3 --serial qv24a03x -f 1"},
      {-1, "", "qv24a03x", "1-3.3", false, "quorvel-dfu 248a 8266 --serial qv24a03x -f 1"},
      {-1, "", "qv24a03x", "1-3.3", true, "quorvel-dfu 248a 8266 --port 1-3.3 -f 1"},
      {-1, "", "qv24a03x", "", true, "quorvel-dfu 248a 8266 --serial qv24a03x -f 1"},
      {-1, "", "QV 01", "", false, "quorvel-dfu 248a 8266 --serial 'QV 01' -f 1"},
      {-1, "", "it's$x", "", false, "quorvel-dfu 248a 8266 --serial 'it'\\''s$x' -f 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Command command;
    command.settings.vid = 0x248a;
    command.settings.pid = 0x8266;
    command.settings.inum = row.inum;
    command.selection.port = row.port;
    command.selection.serial = row.serial;
    ClearDeviceModes();
    NoteDeviceSeenAt(row.lastSeenPort);
    NoteAnotherDeviceMet(row.deviceSerial);
    KnownDevices = DeviceList{};
    DeviceEntry seen;
    seen.port = "1-3.3";
    seen.hasSerial = !row.presentWithoutSerial;
    seen.serial = seen.hasSerial ? "qv24a03x" : "";
    KnownDevices.entries.push_back(seen);
    EXPECT_EQ(RecoveryCommand(command, "-f"), row.line);
  }
  KnownDevices = DeviceList{};
  ClearDeviceModes();
}

// The advice follows the modes the device may be in: none, one, or both.
TEST(RecoveryCommandLine, AdviceFollowsTheModes) {
  Command command;
  command.settings.vid = 0x248a;
  command.settings.pid = 0x8266;
  command.selection.port = "1-3.2";
  const std::string pin = "quorvel-dfu 248a 8266 --port 1-3.2 ";
  struct Row {
    bool forced, upgrade, passthrough;
    std::string note;
  } rows[] = {
      {false, false, false, ""},
      {true, false, false,
       "the device may be left in its forced upgrade mode; to recover it run: " + pin + "-f 1"},
      {false, true, false,
       "the device may be left in its firmware upgrade mode without a complete image; run the "
       "update again, or restart it with: " +
           pin + "-r 1"},
      {false, false, true,
       "the device may be left in its firmware upgrade mode without a complete image; run the "
       "update again, or restart it with: " +
           pin + "-r 1"},
      {true, true, false,
       "the device may be left in its forced upgrade mode and in its firmware upgrade mode "
       "without a complete image; run the update again, or recover it with: " +
           pin + "-f 1 and then, unless it restarts by itself, " + pin + "-r 1"},
  };
  for (const Row& row : rows) {
    DeviceModes.forcedUpgrade.store(row.forced);
    DeviceModes.upgrade.store(row.upgrade);
    DeviceModes.passthrough.store(row.passthrough);
    EXPECT_EQ(DeviceStateNote(command), row.note);
  }
  ClearDeviceModes();
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
