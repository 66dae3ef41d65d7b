// How the real program ends, as a script or a person at the terminal sees
// it: the exit status of each way to end, output into a pipe whose reader
// has quit, and Ctrl-C in the middle of an update, judged by the emulated
// device's record and state.
#include <gtest/gtest.h>

#include <csignal>

#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/e2e_upgrade_rows.h"

namespace {

using e2e::RunOptions;
using e2e::RunResult;
using Json = nlohmann::json;

RunOptions CommandLineUpdate(const std::string& path, const Json& dongle = e2e::Dongle()) {
  RunOptions run;
  run.scenario = e2e::Scenario({e2e::OtherKeyboard(), dongle});
  run.args = {"248a", "8266", "-s", "4", "-d", path};
  return run;
}

bool ForcedModeAfter(const RunResult& result) {
  return result.Device("dongle").value("final", Json::object()).value("forcedUpgradeMode", false);
}

TEST(ExitStatus, SuccessFailureAndAReaderThatQuit) {
  e2e::Workspace workspace;
  e2e::Firmware firmware = e2e::WriteOnePart(workspace, "one.bin");
  RunOptions success = CommandLineUpdate(firmware.path);
  // The device refuses the verification: the update fails, and the chip is
  // taken out of its forced upgrade mode again.
  RunOptions failure = CommandLineUpdate(
      firmware.path,
      e2e::Dongle({{"faults", {{{"command", "0x03"}, {"action", "status"}, {"value", 1}}}}}));
  // "| head -c 20" that has quit: every write to standard output fails. The
  // update must still run to its end and report its own success.
  RunOptions piped = CommandLineUpdate(firmware.path);
  piped.closedStdout = true;
  std::vector<RunResult> results = e2e::RunAll(workspace, {success, failure, piped});

  EXPECT_EQ(results[0].exitStatus, 0) << results[0].Describe();
  EXPECT_EQ(results[1].exitStatus, 1) << results[1].Describe();
  EXPECT_EQ(results[2].exitStatus, 0) << results[2].Describe();
  EXPECT_EQ(e2e::CommandTrace(results[2].Device("dongle")), "H F+ E I S D V R Q0 F-");
  EXPECT_FALSE(ForcedModeAfter(results[2]));
  EXPECT_EQ(results[2].Device("dongle")["final"].value("controllerVersion", ""),
            e2e::kOnePartVersion);
}

TEST(ExitStatus, CtrlCInTheUpgradeModeWarnsOnceThenStopsWithTheRecoveryCommand) {
  e2e::Workspace workspace;
  e2e::Firmware firmware = e2e::WriteOnePart(workspace, "one.bin");
  // Slow block writes: the download lasts far longer than the test needs.
  Json timing = {
      {"replyMs", 1}, {"eraseMs", 10}, {"blockWriteMs", 400}, {"verifyMs", 5}, {"usbFrameUs", 0}};
  RunOptions update = CommandLineUpdate(firmware.path, e2e::Dongle({{"timing", timing}}));
  update.stateFile = workspace.Path("state.json");
  {
    e2e::LiveRun run(workspace, update);
    ASSERT_TRUE(run.WaitFor(">> : Download progress:", false, 60));
    ASSERT_TRUE(run.Signal(SIGINT));
    ASSERT_TRUE(run.WaitFor("Press Ctrl-C again to stop anyway.", true, 60));
    ASSERT_TRUE(run.Signal(SIGINT));
    RunResult stopped = run.Finish();
    EXPECT_EQ(stopped.exitStatus, 130) << stopped.Describe();
    // Stopped in the download, the chip is in both upgrade modes.
    EXPECT_NE(stopped.err.find("the device may be left in its forced upgrade mode and in its "
                               "firmware upgrade mode without a complete image; run the update "
                               "again, or recover it with: quorvel-dfu 248a 8266 -f 1 and then, "
                               "unless it restarts by itself, quorvel-dfu 248a 8266 -r 1\n"),
              std::string::npos)
        << stopped.err;
    // The emulator's record was written although the program was stopped.
    EXPECT_EQ(e2e::CommandTrace(stopped.Device("dongle")), "H F+ E I S D");
    EXPECT_TRUE(ForcedModeAfter(stopped)) << stopped.record.dump();
  }
  // The recovery commands it printed, on the same chip.
  RunOptions recovery = update;
  recovery.args = {"248a", "8266", "-f", "1"};
  RunResult recovered = e2e::Run(workspace, recovery);
  EXPECT_EQ(recovered.exitStatus, 0) << recovered.Describe();
  EXPECT_EQ(e2e::CommandTrace(recovered.Device("dongle")), "H F-");
  EXPECT_FALSE(ForcedModeAfter(recovered));
  recovery.args = {"248a", "8266", "-r", "1"};
  RunResult restarted = e2e::Run(workspace, recovery);
  EXPECT_EQ(restarted.exitStatus, 0) << restarted.Describe();
  EXPECT_EQ(e2e::CommandTrace(restarted.Device("dongle")), "H R");
}

TEST(ExitStatus, CtrlCWhileWaitingForTheDeviceStopsAtOnce) {
  RunOptions wait;
  wait.scenario = e2e::Scenario({e2e::OtherKeyboard()});
  wait.args = {"248a", "8266", "-r", "1"};
  e2e::Workspace workspace;
  e2e::LiveRun run(workspace, wait);
  // The command waits for a device that never comes; nothing is at stake.
  ASSERT_TRUE(run.WaitFor("press Ctrl-C to stop", true, 60));
  ASSERT_TRUE(run.Signal(SIGINT));
  RunResult stopped = run.Finish();
  EXPECT_EQ(stopped.exitStatus, 130) << stopped.Describe();
  EXPECT_NE(stopped.err.find("interrupted; the device was not left in an upgrade mode"),
            std::string::npos)
      << stopped.err;
  EXPECT_EQ(stopped.out, "");
}

TEST(ExitStatus, ARejectedCommandLineIsAUsageErrorWithItsReason) {
  e2e::Workspace workspace;
  RunOptions typo;
  typo.scenario = e2e::Scenario({e2e::OtherKeyboard()});
  typo.args = {"248a", "8266", "-s", "0", "-d", "nosuch.bin"};
  RunOptions same = typo;
  same.args.clear();
  RunOptions help = typo;
  help.args = {"--help"};
  std::vector<RunResult> results = e2e::RunAll(workspace, {typo, same, help});
  EXPECT_EQ(results[0].exitStatus, 2) << results[0].Describe();
  EXPECT_EQ(results[0].err,
            "quorvel-dfu: the command line was not accepted: file not found or unreadable: -d "
            "nosuch.bin; the prompt starts instead (quorvel-dfu --help shows the options)\n");
  // Standard output is byte for byte what a start without arguments shows.
  EXPECT_EQ(results[1].exitStatus, 0) << results[1].Describe();
  EXPECT_EQ(results[0].out, results[1].out);
  EXPECT_EQ(results[1].err, "");
  EXPECT_EQ(results[2].exitStatus, 0) << results[2].Describe();
  EXPECT_EQ(results[2].out.find(">> "), std::string::npos);
  EXPECT_NE(results[2].out.find("Support commands:"), std::string::npos);
}

}  // namespace
