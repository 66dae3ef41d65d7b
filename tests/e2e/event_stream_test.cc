// --events on a line of identical dongles: standard output is nothing but
// JSON lines, the phases of the run in their order with the download's
// percentages rising, and the --json result line last, which agrees with
// what the bus recorded. --skip-current leaves a dongle that already runs
// the image's version alone.
#include <gtest/gtest.h>

#include <sstream>

#include "firmware_builder.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;
using Names = std::set<std::string>;
using Phases = std::vector<std::string>;

constexpr int kPinned = 3;
const char kImageVersion[] = "01-02-0000-00000105";

// The pinned dongle changed by the overrides, the rest of the line as it is.
Json LineWith(const Json& overrides) {
  Json scenario = e2e::LineOfDongles();
  for (Json& device : scenario["devices"]) {
    if (device["name"] == e2e::LineDongleName(kPinned))
      device.merge_patch(overrides);
  }
  return scenario;
}

struct LineRun {
  e2e::RunResult result;
  Json record;
};

LineRun RunPinned(e2e::Workspace& workspace, const Json& scenario, std::vector<std::string> args) {
  args.insert(args.end(), {"--port", e2e::LineDonglePort(kPinned)});
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

// The stream read back: every line must be a JSON object, all but the last
// events, the last the result record.
struct Stream {
  std::vector<Json> events;
  Json result;
};

Stream ReadStream(const std::string& out) {
  Stream stream;
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(out.back(), '\n') << out;
  std::istringstream lines(out);
  std::vector<Json> all;
  for (std::string line; std::getline(lines, line);) {
    Json parsed = Json::parse(line, nullptr, false);
    EXPECT_TRUE(parsed.is_object()) << "not a JSON line: " << line;
    all.push_back(parsed.is_object() ? parsed : Json::object());
  }
  if (all.empty())
    return stream;
  stream.result = all.back();
  all.pop_back();
  EXPECT_TRUE(stream.result.contains("result") && !stream.result.contains("event")) << out;
  for (const Json& event : all) {
    EXPECT_TRUE(event.contains("event") && event.contains("phase") && event["ms"].is_number())
        << event.dump();
    stream.events.push_back(event);
  }
  return stream;
}

// The phases in their order; the times never go back.
Phases PhasesOf(const Stream& stream) {
  Phases phases;
  int64_t last = 0;
  for (const Json& event : stream.events) {
    EXPECT_GE(event["ms"].get<int64_t>(), last) << event.dump();
    last = event["ms"].get<int64_t>();
    if (event["event"] == "phase")
      phases.push_back(event["phase"]);
  }
  return phases;
}

// The percentages shown in that phase: each differs from the last and rises.
std::vector<int> PercentsOf(const Stream& stream, const std::string& phase) {
  std::vector<int> percents;
  for (const Json& event : stream.events) {
    if (event["event"] != "progress" || event["phase"] != phase)
      continue;
    if (!percents.empty()) {
      EXPECT_GT(event["percent"].get<int>(), percents.back()) << event.dump();
    }
    percents.push_back(event["percent"]);
  }
  return percents;
}

void ExpectOnlyThePinnedDongleTouched(const Json& record) {
  EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(kPinned)}) << record.dump(1);
}

TEST(EventStream, APassthroughUpdateStreamsEveryPhaseAndEndsWithItsResult) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, kImageVersion);
  const std::string mouse = workspace.Write("mouse.bin", fwbuild::BuildPassthrough(3000));
  // The dongle comes back under its own product ID, so that the connection
  // before the passthrough transfer finds it again.
  const Json withMouse = {{"passthrough", {{"blockSize", 256}}},
                          {"reboot", {{"productId", nullptr}}}};
  LineRun run = RunPinned(workspace, LineWith(withMouse),
                          {"248a", "8266", "-s", "4", "-d", image, "-t", mouse, "--events"});
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.Describe();
  const Stream stream = ReadStream(run.result.out);
  EXPECT_EQ(
      PhasesOf(stream),
      (Phases{"connecting", "upgradeMode", "downloading", "verifying", "restarting",
              "checkingVersion", "leavingUpgradeMode", "connecting", "passthrough", "upgradeMode",
              "downloadingPassthrough", "verifying", "passthrough", "restarting"}));
  for (const char* phase : {"downloading", "downloadingPassthrough"}) {
    const std::vector<int> percents = PercentsOf(stream, phase);
    ASSERT_GE(percents.size(), 3u) << phase;
    EXPECT_EQ(percents.front(), 0) << phase;
    EXPECT_EQ(percents.back(), 100) << phase;
  }
  // The last line is the --json record, and what it says the bus saw.
  const Json& result = stream.result;
  const Json& dongle = e2e::DeviceRecord(run.record, e2e::LineDongleName(kPinned));
  EXPECT_EQ(result["result"], "success");
  EXPECT_EQ(result["device"]["port"], e2e::LineDonglePort(kPinned));
  EXPECT_EQ(result["versionsAfter"]["controller"], kImageVersion);
  ASSERT_EQ(dongle["transfers"].size(), 2u) << dongle.dump(1);
  EXPECT_EQ(dongle["transfers"][0]["verified"], true);
  EXPECT_EQ(dongle["transfers"][1]["target"], "passthrough");
  EXPECT_EQ(result["bytesSent"], dongle["transfers"][0]["receivedLength"].get<int64_t>() +
                                     dongle["transfers"][1]["receivedLength"].get<int64_t>());
  EXPECT_EQ(result["passthrough"]["bytesSent"], 3000);
  ExpectOnlyThePinnedDongleTouched(run.record);
}

// A download that fails part way: its percentages stop short, the chip is
// restarted and taken out of its forced upgrade mode, and the last line
// names the failed step and the bytes the dongle took.
TEST(EventStream, AFailedDownloadStopsShortAndEndsWithTheFailure) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, kImageVersion);
  const Json fault = {{"block", 5}, {"action", "ackWrong"}};
  LineRun run = RunPinned(workspace, LineWith({{"faults", Json::array({fault})}}),
                          {"248a", "8266", "-s", "4", "-d", image, "--events"});
  EXPECT_EQ(run.result.exitStatus, 1) << run.result.Describe();
  const Stream stream = ReadStream(run.result.out);
  EXPECT_EQ(PhasesOf(stream), (Phases{"connecting", "upgradeMode", "downloading", "restarting",
                                      "leavingUpgradeMode"}));
  const std::vector<int> percents = PercentsOf(stream, "downloading");
  ASSERT_GE(percents.size(), 2u);
  EXPECT_EQ(percents.front(), 0);
  EXPECT_LT(percents.back(), 100);
  EXPECT_GT(percents.back(), 0);
  const Json& dongle = e2e::DeviceRecord(run.record, e2e::LineDongleName(kPinned));
  EXPECT_EQ(stream.result["result"], "failure");
  EXPECT_EQ(stream.result["failedStep"], "Download firmware program");
  ASSERT_EQ(dongle["transfers"].size(), 1u) << dongle.dump(1);
  EXPECT_NE(dongle["transfers"][0]["verified"], true) << dongle.dump(1);
  EXPECT_EQ(stream.result["bytesSent"], dongle["transfers"][0]["receivedLength"]);
  ExpectOnlyThePinnedDongleTouched(run.record);
}

TEST(EventStream, ARefusedCommandLineGetsItsResultLineOnly) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, kImageVersion);
  LineRun run = RunPinned(workspace, e2e::LineOfDongles(),
                          {"248a", "8266", "-d", image, "-c", "x", "--events"});
  EXPECT_EQ(run.result.exitStatus, 2) << run.result.Describe();
  const Stream stream = ReadStream(run.result.out);
  EXPECT_TRUE(stream.events.empty()) << run.result.out;
  EXPECT_EQ(stream.result["result"], "refused");
  EXPECT_EQ(e2e::TouchedDevices(run.record), Names{});
}

// The requests a dongle got that would change it: upgrade modes, firmware
// information, start, data, verify, restart, passthrough.
bool AskedToChange(const std::string& trace) {
  for (const char* request : {"F", "E", "I", "S", "D", "V", "R", "B", "P"}) {
    std::istringstream words(trace);
    for (std::string word; words >> word;) {
      if (word.rfind(request, 0) == 0)
        return true;
    }
  }
  return false;
}

TEST(EventStream, SkipCurrentLeavesADongleAtTheImagesVersionAlone) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, kImageVersion);
  LineRun run = RunPinned(
      workspace, LineWith({{"controllerVersion", kImageVersion}, {"appVersion", kImageVersion}}),
      {"248a", "8266", "-s", "4", "-d", image, "--events", "--skip-current"});
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.Describe();
  const Stream stream = ReadStream(run.result.out);
  EXPECT_EQ(PhasesOf(stream), Phases{"connecting"});
  EXPECT_EQ(stream.result["result"], "current");
  EXPECT_EQ(stream.result["versionsBefore"],
            Json({{"controller", kImageVersion}, {"app", kImageVersion}}));
  EXPECT_EQ(stream.result["versionsAfter"], Json({{"controller", nullptr}, {"app", nullptr}}));
  EXPECT_EQ(stream.result["bytesSent"], 0);
  EXPECT_TRUE(stream.result["failedStep"].is_null() && stream.result["recovery"].is_null());
  EXPECT_NE(run.result.err.find("already runs " + std::string(kImageVersion)), std::string::npos)
      << run.result.err;
  const Json& dongle = e2e::DeviceRecord(run.record, e2e::LineDongleName(kPinned));
  const std::string trace = e2e::CommandTrace(dongle);
  EXPECT_FALSE(AskedToChange(trace)) << trace;
  EXPECT_TRUE(dongle["transfers"].empty()) << dongle.dump(1);
  ExpectOnlyThePinnedDongleTouched(run.record);
}

// Another version, or the text output: updated as without the option.
TEST(EventStream, SkipCurrentUpdatesADongleAtAnotherVersion) {
  e2e::Workspace workspace;
  const std::string image = WriteImage(workspace, kImageVersion);
  LineRun run = RunPinned(workspace, e2e::LineOfDongles(),
                          {"248a", "8266", "-s", "4", "-d", image, "--skip-current"});
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.Describe();
  EXPECT_NE(run.result.out.find("100%"), std::string::npos) << run.result.out;
  const Json& dongle = e2e::DeviceRecord(run.record, e2e::LineDongleName(kPinned));
  ASSERT_EQ(dongle["transfers"].size(), 1u) << dongle.dump(1);
  EXPECT_EQ(dongle["transfers"][0]["verified"], true);
  EXPECT_EQ(dongle["final"]["controllerVersion"], kImageVersion) << dongle["final"].dump();
  ExpectOnlyThePinnedDongleTouched(run.record);
}

}  // namespace
