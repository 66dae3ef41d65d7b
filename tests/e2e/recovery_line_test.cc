// The line a failed or stopped update prints to recover its dongle, on a
// line of identical dongles: run exactly as printed (split as a shell splits
// it), it must reach the dongle the update was pinned to and no other, which
// the bus's record of every open and request proves. Also how SIGTERM and
// SIGHUP meet an update, and the advice on a device that was never put into
// an upgrade mode.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include "firmware_builder.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;
using Names = std::set<std::string>;
using Words = std::vector<std::string>;

const char kRecoverLead[] = "recover it with: ";
const char kFailedVerify[] =
    "quorvel-dfu: DFU failed at the step \"Download complete, verify the result\"; ";
const char kBothModes[] =
    "the device may be left in its forced upgrade mode and in its firmware upgrade mode without a "
    "complete image; run the update again, or recover it with: ";

// The words of a command line as a POSIX shell splits it: blanks separate,
// single quotes keep everything, a backslash keeps the next character.
Words SplitLikeAShell(const std::string& line) {
  Words words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\'') {
      size_t end = line.find('\'', i + 1);
      word += line.substr(i + 1, end - i - 1);
      i = end == std::string::npos ? line.size() : end;
      inWord = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      word += line[++i];
      inWord = true;
    } else if (c == ' ') {
      if (inWord)
        words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    words.push_back(word);
  return words;
}

const char kThen[] = " and then, unless it restarts by itself, ";

// The commands after the lead on standard error (two when the device may be
// in both upgrade modes), each split; none when the lead is absent.
std::vector<Words> PrintedCommands(const std::string& err, const std::string& lead) {
  size_t at = err.find(lead);
  if (at == std::string::npos)
    return {};
  size_t start = at + lead.size();
  std::string text = err.substr(start, err.find('\n', start) - start);
  std::vector<Words> commands;
  for (size_t then = text.find(kThen); then != std::string::npos; then = text.find(kThen)) {
    commands.push_back(SplitLikeAShell(text.substr(0, then)));
    text = text.substr(then + strlen(kThen));
  }
  commands.push_back(SplitLikeAShell(text));
  return commands;
}

// Runs the printed commands (their words after the program's name) on the
// bus, one after the other; true when each succeeded.
bool RunPrinted(const e2e::Workspace& workspace, const e2e::SharedBus& bus,
                const std::vector<Words>& printed) {
  bool all = true;
  for (const Words& command : printed) {
    e2e::RunOptions run;
    run.bus = bus.socket();
    run.args.assign(command.begin() + 1, command.end());
    e2e::RunResult result = e2e::Run(workspace, run);
    EXPECT_EQ(result.exitStatus, 0) << result.Describe();
    all = all && result.exitStatus == 0;
  }
  return all;
}

// The printed pair for a pinned dongle in both upgrade modes.
std::vector<Words> LeaveThenRestart(const Words& pin) {
  Words base = {"quorvel-dfu", "248a", "8266"};
  base.insert(base.end(), pin.begin(), pin.end());
  Words leave = base;
  leave.insert(leave.end(), {"-f", "1"});
  Words restart = base;
  restart.insert(restart.end(), {"-r", "1"});
  return {leave, restart};
}

// The line with the third dongle changed.
Json LineWithThird(const Json& changes) {
  Json scenario = e2e::LineOfDongles();
  for (Json& device : scenario["devices"]) {
    if (device["name"] == e2e::LineDongleName(3))
      device.update(changes);
  }
  return scenario;
}

bool InForcedMode(const Json& record, const std::string& name) {
  return e2e::DeviceRecord(record, name)["final"].value("forcedUpgradeMode", false);
}

// Platform 3 leaves a chip whose verification failed in its forced upgrade
// mode. The failure's advice names the pin; run as printed, it takes the
// third dongle out of the forced mode and restarts it, and nothing else on
// the line is opened by either run. A dongle that comes back from its
// restart without a serial number is named by the port it was seen at.
TEST(RecoveryLine, AFailureNamesThePinAndItsCommandRecoversThatDongle) {
  const Json refuseVerify = {{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}};
  // Entering the forced mode restarts this one, which comes back without
  // its serial number: the serial can no longer find it.
  const Json bootLoader = {
      {"forcedState", nullptr},
      {"forcedEntryRestarts", true},
      {"reboot", {{"leaveMs", 20}, {"awayMs", 400}, {"productId", "0x8266"}, {"serial", nullptr}}}};
  struct Row {
    Words pin;
    Json third;
    std::string err;             // up to the printed commands
    std::vector<Words> printed;  // the printed commands, split
    std::string recoveryTrace;   // what they sent the dongle
  } rows[] = {
      {{"--port", "1-3.3"},
       {{"faults", {refuseVerify}}},
       std::string(kFailedVerify) + kBothModes,
       LeaveThenRestart({"--port", "1-3.3"}),
       " H F- H R"},
      {{"--serial", "qv24a03x"},
       {{"faults", {refuseVerify}}},
       std::string(kFailedVerify) + kBothModes,
       LeaveThenRestart({"--serial", "qv24a03x"}),
       " H F- H R"},
      {{"--serial", "qv24a03x"},
       bootLoader,
       "quorvel-dfu: DFU failed at the step \"Wait until the forced upgrade mode is complete\"; "
       "the device may be left in its forced upgrade mode; to recover it run: ",
       {{"quorvel-dfu", "248a", "8266", "--port", "1-3.3", "-f", "1"}},
       " H F-"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pin[1] + (row.third.contains("reboot") ? " boot loader" : ""));
    e2e::Workspace workspace;
    const std::string image = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
    e2e::SharedBus bus(workspace, LineWithThird(row.third));
    ASSERT_TRUE(bus.started());
    e2e::RunOptions update;
    update.bus = bus.socket();
    update.args = {"248a", "8266", "-s", "3", "-d", image, "-c", "0"};
    update.args.insert(update.args.end(), row.pin.begin(), row.pin.end());
    e2e::RunResult failed = e2e::Run(workspace, update);
    EXPECT_EQ(failed.exitStatus, 1) << failed.Describe();
    EXPECT_EQ(failed.err.substr(0, row.err.size()), row.err) << failed.err;
    std::vector<Words> printed = PrintedCommands(failed.err, row.err);
    ASSERT_EQ(printed, row.printed) << failed.err;
    EXPECT_TRUE(RunPrinted(workspace, bus, printed));
    Json record = bus.Stop();
    EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(3)}) << record.dump(1);
    const std::string trace = e2e::CommandTrace(e2e::DeviceRecord(record, "dongle3"));
    const std::string& recovery = row.recoveryTrace;
    ASSERT_GE(trace.size(), recovery.size()) << trace;
    EXPECT_EQ(trace.substr(trace.size() - recovery.size()), recovery) << trace;
    EXPECT_FALSE(InForcedMode(record, "dongle3")) << trace;
  }
}

// Slow block writes: a download the test can interrupt (about 2 s for the
// image of a few KB), short enough to let finish.
Json SlowThird(int blockWriteMs) {
  return {{"timing",
           {{"replyMs", 1},
            {"eraseMs", 10},
            {"blockWriteMs", blockWriteMs},
            {"verifyMs", 5},
            {"usbFrameUs", 0}}}};
}

e2e::RunOptions PinnedPlatform4Update(const e2e::SharedBus& bus, const std::string& image,
                                      const Words& pin) {
  e2e::RunOptions update;
  update.bus = bus.socket();
  update.args = {"248a", "8266", "-s", "4", "-d", image, "-c", "0"};
  update.args.insert(update.args.end(), pin.begin(), pin.end());
  return update;
}

// A second interrupt stops the download at once. The message starts on a
// line of its own (the progress line is ended first), names the pin, and
// its command, run as printed, recovers the third dongle only. The second
// signal may be another than the first; the status is the stopping one's.
TEST(RecoveryLine, ASecondInterruptStopsWithTheCommandThatRecoversThePinnedDongle) {
  struct Row {
    Words pin;
    int first;
    int second;
    int status;
    std::string stopLead;
  } rows[] = {
      {{"--port", "1-3.3"}, SIGINT, SIGINT, 130, "quorvel-dfu: interrupted; "},
      {{"--serial", "qv24a03x"}, SIGINT, SIGINT, 130, "quorvel-dfu: interrupted; "},
      {{"--port", "1-3.3"}, SIGTERM, SIGHUP, 129, "quorvel-dfu: stopped by SIGHUP; "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pin[1] + " " + std::to_string(row.first) + std::to_string(row.second));
    e2e::Workspace workspace;
    const std::string image = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
    e2e::SharedBus bus(workspace, LineWithThird(SlowThird(400)));
    ASSERT_TRUE(bus.started());
    e2e::RunResult stopped;
    {
      e2e::LiveRun run(workspace, PinnedPlatform4Update(bus, image, row.pin));
      ASSERT_TRUE(run.WaitFor(">> : Download progress:", false, 60));
      ASSERT_TRUE(run.Signal(row.first));
      ASSERT_TRUE(run.WaitFor("to stop anyway.", true, 60));
      ASSERT_TRUE(run.Signal(row.second));
      stopped = run.Finish();
    }
    EXPECT_EQ(stopped.exitStatus, row.status) << stopped.Describe();
    // Standard output ends with the ended progress line; standard error
    // holds the warning and the stop, each on a line of its own.
    ASSERT_FALSE(stopped.out.empty());
    EXPECT_EQ(stopped.out.back(), '\n') << stopped.out;
    const std::string stop = row.stopLead + kBothModes;
    EXPECT_NE(stopped.err.find("anyway.\n" + stop), std::string::npos) << stopped.err;
    std::vector<Words> printed = PrintedCommands(stopped.err, kRecoverLead);
    ASSERT_EQ(printed, LeaveThenRestart(row.pin)) << stopped.err;
    EXPECT_TRUE(RunPrinted(workspace, bus, printed));
    Json record = bus.Stop();
    EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(3)}) << record.dump(1);
    EXPECT_EQ(e2e::CommandTrace(e2e::DeviceRecord(record, "dongle3")), "H F+ E I S D H F- H R");
    EXPECT_FALSE(InForcedMode(record, "dongle3"));
  }
}

// timeout, systemd and a dropped ssh session: one SIGTERM or SIGHUP during
// the download lets the update finish, then the program ends with 128 + the
// signal. The warning ends the progress line, which then runs on below it.
TEST(RecoveryLine, OneTermOrHangUpLetsTheUpdateFinishThenEndsWithItsStatus) {
  const struct {
    int signo;
    int status;
    const char* name;
  } rows[] = {{SIGTERM, 143, "SIGTERM"}, {SIGHUP, 129, "SIGHUP"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    e2e::Workspace workspace;
    const std::string image = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
    e2e::SharedBus bus(workspace, LineWithThird(SlowThird(100)));
    ASSERT_TRUE(bus.started());
    e2e::RunResult finished;
    {
      e2e::LiveRun run(workspace, PinnedPlatform4Update(bus, image, {"--port", "1-3.3"}));
      ASSERT_TRUE(run.WaitFor(">> : Download progress:", false, 60));
      ASSERT_TRUE(run.Signal(row.signo));
      finished = run.Finish();
    }
    EXPECT_EQ(finished.exitStatus, row.status) << finished.Describe();
    EXPECT_EQ(finished.err, std::string("quorvel-dfu: ") + row.name +
                                ": stopping now would leave the device in its upgrade mode; the "
                                "command goes on, and the program ends after it. Send the signal "
                                "again (or press Ctrl-C) to stop anyway.\n");
    EXPECT_NE(finished.out.find("%\n\r>> : Download progress:"), std::string::npos) << finished.out;
    EXPECT_NE(finished.out.find(">> DFU success! ("), std::string::npos) << finished.out;
    Json record = bus.Stop();
    EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(3)});
    EXPECT_EQ(e2e::CommandTrace(e2e::DeviceRecord(record, "dongle3")), "H F+ E I S D V R H F-");
    EXPECT_FALSE(InForcedMode(record, "dongle3"));
    EXPECT_EQ(e2e::DeviceRecord(record, "dongle3")["transfers"].size(), 1u);
  }
}

// A passthrough program for a dongle with nothing behind it: the dongle
// refuses the switch (by silence) and was never put into an upgrade mode,
// so the failure names the switch and no way back from a mode.
TEST(RecoveryLine, ARefusedPassthroughSwitchNamesItAndNoRecovery) {
  e2e::Workspace workspace;
  const std::string program = workspace.Write("mouse.bin", fwbuild::BuildPassthrough(700));
  e2e::SharedBus bus(workspace, e2e::LineOfDongles());
  ASSERT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  run.args = {"248a", "8266", "-s", "4", "-t", program, "--port", "1-3.1", "-c", "0"};
  e2e::RunResult result = e2e::Run(workspace, run);
  Json record = bus.Stop();
  EXPECT_EQ(result.exitStatus, 1) << result.Describe();
  EXPECT_EQ(result.err, "quorvel-dfu: DFU failed at the step \"Switch passthrough on\"\n");
  EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(1)});
  EXPECT_EQ(e2e::CommandTrace(e2e::DeviceRecord(record, "dongle1")), "H H P+");
}

}  // namespace
