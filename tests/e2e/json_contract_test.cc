// --json on a line of identical dongles: every run that starts a command
// writes exactly one JSON line on standard output, whether it succeeds,
// fails, is interrupted or is refused, with every member filled that is
// known; and the command, pinned by --port, touches its own dongle only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "firmware_builder.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;
using Names = std::set<std::string>;

// The dongle every run here is pinned to.
constexpr int kPinned = 2;
const char kLineVersion[] = "01-00-0000-00000001";

// The one JSON line of standard output; a failure when there is not
// exactly one line, it is not JSON or it lacks a member.
Json OnlyLine(const e2e::RunResult& result) {
  const std::string& out = result.out;
  EXPECT_FALSE(out.empty()) << result.Describe();
  EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
  // Parsed keeping the members' order.
  const nlohmann::ordered_json line = nlohmann::ordered_json::parse(out, nullptr, false);
  EXPECT_TRUE(line.is_object()) << out;
  if (!line.is_object())
    return Json::object();
  // Every member the manual documents, in its order, null or not.
  std::vector<std::string> members;
  for (auto it = line.begin(); it != line.end(); ++it)
    members.push_back(it.key());
  EXPECT_EQ(members,
            (std::vector<std::string>{"command", "result", "device", "platform", "versionsBefore",
                                      "versionsAfter", "bytesSent", "durationMs", "failedStep",
                                      "reason", "deviceState", "recovery", "passthrough"}))
      << out;
  return Json::parse(out);
}

// The line with the pinned dongle changed by the overrides.
Json LineWith(const Json& overrides) {
  Json scenario = e2e::LineOfDongles();
  for (Json& device : scenario["devices"]) {
    if (device["name"] != e2e::LineDongleName(kPinned))
      continue;
    // Key by key: a null must stay a null, which a merge patch would drop.
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
      if (it.value().is_object() && device[it.key()].is_object()) {
        device[it.key()].merge_patch(it.value());
      } else {
        device[it.key()] = it.value();
      }
    }
  }
  return scenario;
}

std::vector<std::string> Pinned(std::vector<std::string> args) {
  args.insert(args.end(), {"--port", e2e::LineDonglePort(kPinned), "--json"});
  return args;
}

struct LineRun {
  e2e::RunResult result;
  Json record;
};

LineRun RunOnLine(e2e::Workspace& workspace, const Json& scenario,
                  const std::vector<std::string>& args) {
  e2e::SharedBus bus(workspace, scenario);
  EXPECT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  run.args = args;
  LineRun line;
  line.result = e2e::Run(workspace, run);
  line.record = bus.Stop();
  return line;
}

std::string WriteImage(e2e::Workspace& workspace, const char* versionText) {
  fwbuild::ImageOptions options;
  fwbuild::ParseVersion(versionText, &options.version);
  options.bodySize = 4096;
  return workspace.Write("fw.bin", fwbuild::BuildOnePartFile(options));
}

void ExpectOnlyThePinnedDongleTouched(const Json& record) {
  EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(kPinned)}) << record.dump(1);
}

TEST(JsonContract, ASuccessReportsBothVersionsTheDongleCameBackWith) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, "01-02-0000-00000105");
  LineRun run =
      RunOnLine(workspace, e2e::LineOfDongles(), Pinned({"248a", "8266", "-s", "4", "-d", image}));
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.Describe();
  Json line = OnlyLine(run.result);
  EXPECT_EQ(line["result"], "success");
  EXPECT_EQ(line["device"]["port"], e2e::LineDonglePort(kPinned));
  EXPECT_EQ(line["versionsBefore"], Json({{"controller", kLineVersion}, {"app", kLineVersion}}));
  EXPECT_EQ(line["versionsAfter"],
            Json({{"controller", "01-02-0000-00000105"}, {"app", kLineVersion}}));
  EXPECT_TRUE(line["failedStep"].is_null());
  EXPECT_TRUE(line["passthrough"].is_null());
  ExpectOnlyThePinnedDongleTouched(run.record);
}

TEST(JsonContract, APassthroughUpdateReportsThePassthroughDevice) {
  e2e::Workspace workspace;
  const std::string mouse = workspace.Write("mouse.bin", fwbuild::BuildPassthrough(3000));
  Json withMouse = {{"passthrough", {{"blockSize", 256}}}};
  LineRun run =
      RunOnLine(workspace, LineWith(withMouse), Pinned({"248a", "8266", "-s", "4", "-t", mouse}));
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.Describe();
  Json line = OnlyLine(run.result);
  EXPECT_EQ(line["result"], "success");
  EXPECT_EQ(line["passthrough"],
            Json({{"program", mouse}, {"bytesSent", 3000}, {"result", "success"}}));
  EXPECT_EQ(line["bytesSent"], 3000);
  const Json& dongle = e2e::DeviceRecord(run.record, e2e::LineDongleName(kPinned));
  ASSERT_EQ(dongle["transfers"].size(), 1u) << dongle.dump(1);
  EXPECT_EQ(dongle["transfers"][0]["target"], "passthrough");
  EXPECT_EQ(dongle["transfers"][0]["verified"], true);
  ExpectOnlyThePinnedDongleTouched(run.record);
}

// Each fault fails one step; after the first the sequence has taken the
// dongle out of its forced upgrade mode itself, after the second (a garbled
// reply to leaving it) it cannot know and advises the recovery.
TEST(JsonContract, AFailureNamesTheStepStandardErrorNames) {
  struct Row {
    const char* what;
    Json fault;
    std::string step;
    bool recoveryAdvised;
  } rows[] = {
      {"upgrade mode refused",
       {{"command", "0x20"}, {"action", "status"}, {"value", 1}},
       "The firmware upgrade mode is displayed",
       false},
      {"forced mode kept",
       {{"command", "0x06"}, {"occurrence", 2}, {"action", "wrongCommand"}},
       "Exit the forced upgrade mode",
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    e2e::Workspace workspace;
    const std::string image = WriteImage(workspace, "01-02-0000-00000105");
    LineRun run = RunOnLine(workspace, LineWith({{"faults", Json::array({row.fault})}}),
                            Pinned({"248a", "8266", "-s", "4", "-d", image}));
    EXPECT_EQ(run.result.exitStatus, 1) << run.result.Describe();
    EXPECT_NE(run.result.err.find("at the step \"" + row.step + "\""), std::string::npos)
        << run.result.err;
    Json line = OnlyLine(run.result);
    EXPECT_EQ(line["result"], "failure");
    EXPECT_EQ(line["failedStep"], row.step);
    if (row.recoveryAdvised) {
      // The line gives the command standard error gives.
      ASSERT_TRUE(line["recovery"].is_string()) << line.dump();
      EXPECT_NE(run.result.err.find("run: " + line["recovery"].get<std::string>()),
                std::string::npos)
          << run.result.err;
      EXPECT_NE(run.result.err.find(line["deviceState"].get<std::string>()), std::string::npos);
    } else {
      const Json& dongle = e2e::DeviceRecord(run.record, e2e::LineDongleName(kPinned));
      EXPECT_EQ(dongle["final"]["forcedUpgradeMode"], false) << dongle.dump(1);
      EXPECT_TRUE(line["recovery"].is_null()) << line.dump();
      EXPECT_TRUE(line["deviceState"].is_null()) << line.dump();
    }
    ExpectOnlyThePinnedDongleTouched(run.record);
  }
}

TEST(JsonContract, ARefusedCommandLineStartsNoPromptAndTouchesNothing) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, "01-02-0000-00000105");
  e2e::SharedBus bus(workspace, e2e::LineOfDongles());
  ASSERT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  run.args = Pinned({"248a", "8266", "-d", image, "-c", "x"});
  // Input that would run a command at the prompt: nothing of it may run.
  run.input = "dfu 248a 8266 -d " + image + "\n";
  e2e::RunResult result = e2e::Run(workspace, run);
  Json record = bus.Stop();
  EXPECT_EQ(result.exitStatus, 2) << result.Describe();
  Json line = OnlyLine(result);
  EXPECT_EQ(line["result"], "refused");
  EXPECT_EQ(line["reason"], "not a number: -c x");
  EXPECT_TRUE(line["device"].is_null());
  EXPECT_NE(result.err.find("not a number: -c x"), std::string::npos) << result.err;
  EXPECT_EQ(e2e::TouchedDevices(record), Names{}) << record.dump(1);
}

// Whether a process holds the device lock of the interface at path: the
// lock is an abstract Unix socket named after the path from its "hid" on,
// under the lock prefix of the bus it was taken on.
bool LockHeld(const std::string& path) {
  std::ifstream sockets("/proc/net/unix");
  const std::string tail = "/" + path.substr(path.find("hid"));
  std::string line;
  while (std::getline(sockets, line)) {
    const size_t at = line.rfind(' ');
    const std::string name = at == std::string::npos ? line : line.substr(at + 1);
    if (name.size() > tail.size() && name[0] == '@' &&
        name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
      return true;
  }
  return false;
}

// Until the program has opened the interface at path, or has ended; a hang
// guard of a minute, not a timing.
bool WaitForLock(const e2e::LiveRun& run, const std::string& path) {
  for (int i = 0; i < 6000 && run.Running(); ++i) {
    if (LockHeld(path))
      return true;
    usleep(10000);
  }
  return false;
}

// A platform 3 dongle that restarts into its forced upgrade mode on its
// own: once the program holds the interface it came back under, the forced
// upgrade mode is on, and the slow download ahead gives the two interrupts
// their time.
TEST(JsonContract, AnInterruptedUpdateStillWritesItsLine) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, "01-02-0000-00000105");
  const Json dongle = e2e::LineDongle(kPinned);
  const std::string cameBackAt = dongle["reboot"]["path"];
  Json slow = {
      {"forcedState", nullptr}, {"forcedEntryRestarts", true}, {"timing", {{"blockWriteMs", 500}}}};
  e2e::SharedBus bus(workspace, LineWith(slow));
  ASSERT_TRUE(bus.started());
  e2e::RunOptions options;
  options.bus = bus.socket();
  options.args = Pinned({"248a", "8266", "-s", "3", "-d", image});
  e2e::RunResult stopped;
  {
    e2e::LiveRun run(workspace, options);
    ASSERT_TRUE(WaitForLock(run, cameBackAt)) << run.Finish().Describe();
    ASSERT_TRUE(run.Signal(SIGINT));
    ASSERT_TRUE(run.WaitFor("Press Ctrl-C again to stop anyway.", true, 60));
    ASSERT_TRUE(run.Signal(SIGINT));
    stopped = run.Finish();
  }
  Json record = bus.Stop();
  EXPECT_EQ(stopped.exitStatus, 130) << stopped.Describe();
  Json line = OnlyLine(stopped);
  EXPECT_EQ(line["result"], "interrupted");
  EXPECT_EQ(line["reason"], "interrupted");
  EXPECT_EQ(line["device"]["port"], e2e::LineDonglePort(kPinned));
  ASSERT_TRUE(line["deviceState"].is_string()) << line.dump();
  ASSERT_TRUE(line["recovery"].is_string()) << line.dump();
  // What standard error says, the line says.
  EXPECT_NE(stopped.err.find("interrupted; " + line["deviceState"].get<std::string>()),
            std::string::npos)
      << stopped.err;
  EXPECT_NE(line["recovery"].get<std::string>().find(" -f 1"), std::string::npos);
  const Json& pinned = e2e::DeviceRecord(record, e2e::LineDongleName(kPinned));
  EXPECT_EQ(pinned["final"]["forcedUpgradeMode"], true) << pinned.dump(1);
  ExpectOnlyThePinnedDongleTouched(record);
}

}  // namespace
