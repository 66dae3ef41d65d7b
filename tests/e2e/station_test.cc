// The station on a shared bus of dongles that come and go as on a real
// line: each is plugged at its own moment, one is pulled in the middle of
// its download and plugged again, one already runs the image's version,
// one port gets a second dongle after the first was done and pulled, and
// one dongle sits on a port the station was not told to watch. The
// station's log, line by line, must agree with the bus's record of what
// every dongle received and which process opened it when.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "firmware_builder.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;

constexpr int kWatchedPorts = 8;
const char kOutsidePort[] = "1-4.1";

std::string WatchedPort(int k) {
  return "1-3." + std::to_string(k);
}

std::string Serial(int k) {
  return "QVS" + std::to_string(1000 + k);
}

// A dongle at watched port k, plugged at appearAtMs, that comes back from
// its restart at the same port with the same product ID.
Json StationDongle(const std::string& name, const std::string& port, const std::string& serial,
                   int path, int appearAtMs) {
  Json dongle = e2e::Dongle(
      {{"name", name},
       {"path", e2e::UniqueHidrawPath(path)},
       {"port", port},
       {"serial", serial},
       {"reboot", {{"leaveMs", 20}, {"awayMs", 300}, {"path", e2e::UniqueHidrawPath(50 + path)}}}});
  if (appearAtMs > 0)
    dongle["appearAtMs"] = appearAtMs;
  return dongle;
}

struct Line {
  Json scenario;
  std::string imageVersion;
};

// Dongle k sits at port k. dongle3 vanishes half way through its first
// download and is back 2.5 s later; dongle4 runs the image's version
// already; dongle5 is pulled 6 s after its restart (once its update is
// over) and "dongle5b" (another
// serial) plugged into its port 300 ms after that; "outside" is on a port
// the station does not watch.
Line StationLine(const fwbuild::Version& version, int imageBytes) {
  Line line;
  line.imageVersion = fwbuild::VersionText(version);
  const int appear[kWatchedPorts + 1] = {0, 0, 350, 120, 700, 0, 1100, 1500, 1900};
  std::vector<Json> devices;
  for (int k = 1; k <= kWatchedPorts; ++k)
    devices.push_back(
        StationDongle("dongle" + std::to_string(k), WatchedPort(k), Serial(k), k, appear[k]));
  devices[2]["faults"] = {
      {{"action", "vanish"}, {"afterDataBytes", imageBytes / 2}, {"awayMs", 2500}}};
  devices[3]["controllerVersion"] = line.imageVersion;
  devices[3]["appVersion"] = line.imageVersion;
  devices[4]["pullAfterUpdateMs"] = 6000;
  Json second = StationDongle("dongle5b", WatchedPort(5), Serial(55), 20, 0);
  second["plugAfter"] = {{"device", "dongle5"}, {"leftMs", 300}};
  devices.push_back(second);
  devices.push_back(StationDongle("outside", kOutsidePort, Serial(9), 21, 0));
  line.scenario = e2e::Scenario(devices);
  return line;
}

std::vector<Json> ReadLog(const std::string& path) {
  std::vector<Json> lines;
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text))
    lines.push_back(Json::parse(text, nullptr, false));
  return lines;
}

std::string PortList() {
  std::string list;
  for (int k = 1; k <= kWatchedPorts; ++k)
    list += (k == 1 ? "" : ",") + WatchedPort(k);
  return list;
}

// The log's results for each serial, in the order logged.
std::map<std::string, std::vector<std::string>> ResultsBySerial(const std::vector<Json>& log) {
  std::map<std::string, std::vector<std::string>> results;
  for (const Json& line : log) {
    EXPECT_TRUE(line.is_object()) << line.dump();
    if (line.is_object())
      results[line.value("serial", "")].push_back(line.value("result", ""));
  }
  return results;
}

// [first open, last close] of each process on each port: no two processes
// may hold one port's dongle at the same time.
void ExpectOneProcessPerPortAtATime(const Json& record) {
  std::map<std::string, std::map<int, std::pair<double, double>>> spans;
  for (const auto& device : record["devices"].items()) {
    const Json& d = device.value();
    const std::string port =
        d["final"]["port"].is_string() ? d["final"]["port"].get<std::string>() : std::string();
    for (const Json& open : d["opens"]) {
      const int pid = open["pid"].get<int>();
      const double from = open["atMs"].get<double>();
      const double to = open["closedAtMs"].is_number() ? open["closedAtMs"].get<double>() : 1e12;
      auto found = spans[port].find(pid);
      if (found == spans[port].end())
        spans[port][pid] = {from, to};
      else
        found->second = {std::min(found->second.first, from), std::max(found->second.second, to)};
    }
  }
  for (const auto& port : spans) {
    std::vector<std::pair<double, double>> sorted;
    for (const auto& process : port.second)
      sorted.push_back(process.second);
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 1; i < sorted.size(); ++i)
      EXPECT_LE(sorted[i - 1].second, sorted[i].first) << "two processes at once on " << port.first;
  }
}

TEST(SharedBusStation, EveryDongleOncePerPlugAndTheLogAgreesWithTheBus) {
  e2e::Workspace workspace;
  fwbuild::ImageOptions image;
  image.version = {2, 1, 0, 0, 7, 0, 0, 0};
  image.bodySize = 4096;
  const std::string firmware = workspace.Write("fw.bin", fwbuild::BuildOnePartFile(image));
  const Line line = StationLine(image.version, image.bodySize);
  e2e::SharedBus bus(workspace, line.scenario);
  ASSERT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  // Eight watched ports, ten finished updates: dongle3 twice, dongle5 and
  // dongle5b once each.
  run.args = {"248a",
              "8266",
              "-s",
              "4",
              "-d",
              firmware,
              "--station",
              "--port",
              PortList(),
              "--count",
              "10",
              "--log",
              workspace.Path("line.jsonl")};
  run.timeLimitSeconds = 90;
  const e2e::RunResult result = e2e::Run(workspace, run);
  const Json record = bus.Stop();
  ASSERT_FALSE(result.timedOut) << result.Describe();
  // dongle3's first update failed: the station says so in its status.
  EXPECT_EQ(result.exitStatus, 1) << result.Describe();
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("done 8, current 1, failed 1, running 0"), std::string::npos)
      << result.err;

  const std::vector<Json> log = ReadLog(workspace.Path("line.jsonl"));
  ASSERT_EQ(log.size(), 10u) << result.err;
  auto results = ResultsBySerial(log);
  for (int k : {1, 2, 5, 6, 7, 8, 55})
    EXPECT_EQ(results[Serial(k)], std::vector<std::string>{"success"}) << Serial(k);
  EXPECT_EQ(results[Serial(3)], (std::vector<std::string>{"failure", "success"}));
  EXPECT_EQ(results[Serial(4)], std::vector<std::string>{"current"});
  EXPECT_EQ(results.count(Serial(9)), 0u);
  for (const Json& entry : log) {
    const std::string serial = entry.value("serial", "");
    const int k = serial == Serial(55) ? 5 : std::stoi(serial.substr(3)) - 1000;
    EXPECT_EQ(entry.value("port", ""), WatchedPort(k)) << entry.dump();
    EXPECT_EQ(entry.value("imageVersion", ""), line.imageVersion);
    EXPECT_EQ(entry.value("imageSha256", "").size(), 64u);
    EXPECT_NE(entry.value("startTime", ""), "");
  }

  // The bus: one transfer per plug, none for the current one, nothing at
  // all for the one outside the list.
  const std::map<std::string, size_t> transfers = {{"dongle1", 1}, {"dongle2", 1}, {"dongle3", 2},
                                                   {"dongle4", 0}, {"dongle5", 1}, {"dongle5b", 1},
                                                   {"dongle6", 1}, {"dongle7", 1}, {"dongle8", 1}};
  for (const auto& expected : transfers) {
    const Json& device = e2e::DeviceRecord(record, expected.first);
    EXPECT_EQ(device["transfers"].size(), expected.second) << expected.first;
    EXPECT_EQ(e2e::OpeningPids(device).size(), expected.first == "dongle3" ? 2u : 1u)
        << expected.first << " " << device["opens"].dump();
  }
  const std::string currentTrace = e2e::CommandTrace(e2e::DeviceRecord(record, "dongle4"));
  EXPECT_EQ(currentTrace.find('E'), std::string::npos) << currentTrace;
  EXPECT_EQ(currentTrace.find("F+"), std::string::npos) << currentTrace;
  EXPECT_EQ(e2e::TouchedDevices(record).count("outside"), 0u);
  ExpectOneProcessPerPortAtATime(record);
}

// A first Ctrl-C takes no new device and lets the running update finish; a
// second one interrupts it, and the child's own recovery line comes through.
TEST(SharedBusStation, ASecondInterruptStopsTheRunningUpdates) {
  struct Row {
    int interrupts;
    int status;
    std::string result;
  } rows[] = {{1, 0, "success"}, {2, 1, "interrupted"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.interrupts);
    e2e::Workspace workspace;
    fwbuild::ImageOptions image;
    image.bodySize = 8192;
    const std::string firmware = workspace.Write("fw.bin", fwbuild::BuildOnePartFile(image));
    Json dongle = StationDongle("dongle1", WatchedPort(1), Serial(1), 1, 0);
    dongle["timing"]["blockWriteMs"] = 40;  // about 1.3 s of download
    e2e::SharedBus bus(workspace, e2e::Scenario({dongle}));
    ASSERT_TRUE(bus.started());
    e2e::RunOptions options;
    options.bus = bus.socket();
    options.args = {"248a",      "8266",  "-s",
                    "4",         "-d",    firmware,
                    "--station", "--log", workspace.Path("line.jsonl")};
    e2e::RunResult ended;
    {
      e2e::LiveRun run(workspace, options);
      ASSERT_TRUE(run.WaitFor(WatchedPort(1) + " " + Serial(1) + " downloading", true, 60));
      ASSERT_TRUE(run.Signal(SIGINT));
      ASSERT_TRUE(run.WaitFor("no new devices are taken", true, 60));
      if (row.interrupts == 2) {
        ASSERT_TRUE(run.Signal(SIGINT));
      }
      ended = run.Finish();
    }
    const Json record = bus.Stop();
    EXPECT_EQ(ended.exitStatus, row.status) << ended.Describe();
    const std::vector<Json> log = ReadLog(workspace.Path("line.jsonl"));
    ASSERT_EQ(log.size(), 1u) << ended.err;
    EXPECT_EQ(log[0].value("result", ""), row.result);
    const Json& transfers = e2e::DeviceRecord(record, "dongle1")["transfers"];
    ASSERT_EQ(transfers.size(), 1u);
    EXPECT_EQ(transfers[0]["verified"].is_boolean(), row.interrupts == 1) << transfers.dump();
    if (row.interrupts == 2) {
      EXPECT_NE(ended.err.find("[" + WatchedPort(1) + "] quorvel-dfu: interrupted"),
                std::string::npos)
          << ended.err;
      EXPECT_TRUE(log[0]["recovery"].is_string()) << log[0].dump();
    }
  }
}

// A child waits for good for a dongle that did not answer its handshake:
// its connection tries a device present from the start once. The station
// stops such a child. Pulled, the dongle's port counts as failed once it
// has been empty for 3 s; still plugged in, it gets a new child, twice at
// most, before it counts as failed. Only the last child is logged (here
// the --count that ends the station).
TEST(SharedBusStation, AChildWaitingInVainIsStopped) {
  const Json garbage = {{"command", "0x55"}, {"action", "garbage"}};
  auto answerless = [&garbage](int occurrence) {
    Json fault = garbage;
    fault["occurrence"] = occurrence;
    return fault;
  };
  struct Row {
    const char* name;
    Json faults;
    int status;
    const char* result;
    size_t children;  // processes that opened the dongle
  } rows[] = {
      {"pulled", {garbage, {{"action", "vanishAtMs"}, {"ms", 1000}}}, 1, "interrupted", 1},
      {"one handshake missed", {garbage}, 0, "success", 2},
      {"never answers", {answerless(1), answerless(2), answerless(3)}, 1, "interrupted", 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    e2e::Workspace workspace;
    const std::string firmware = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
    Json dongle = StationDongle("dongle1", WatchedPort(1), Serial(1), 1, 0);
    dongle["faults"] = row.faults;
    e2e::SharedBus bus(workspace, e2e::Scenario({dongle}));
    ASSERT_TRUE(bus.started());
    e2e::RunOptions options;
    options.bus = bus.socket();
    options.args = {"248a",
                    "8266",
                    "-s",
                    "4",
                    "-d",
                    firmware,
                    "--station",
                    "--count",
                    "1",
                    "--log",
                    workspace.Path("line.jsonl")};
    const e2e::RunResult result = e2e::Run(workspace, options);
    const Json record = bus.Stop();
    EXPECT_EQ(result.exitStatus, row.status) << result.Describe();
    const std::vector<Json> log = ReadLog(workspace.Path("line.jsonl"));
    ASSERT_EQ(log.size(), 1u) << result.err;
    EXPECT_EQ(log[0].value("result", ""), row.result) << log[0].dump();
    EXPECT_EQ(log[0].value("serial", ""), Serial(1));
    const Json& device = e2e::DeviceRecord(record, "dongle1");
    EXPECT_EQ(device["transfers"].size(), row.status == 0 ? 1u : 0u) << record.dump(1);
    EXPECT_EQ(e2e::OpeningPids(device).size(), row.children) << device["opens"].dump();
  }
}

// A log it cannot append to stops the station before it touches a device.
TEST(StationStart, ALogThatCannotBeOpenedStopsTheStationFirst) {
  e2e::Workspace workspace;
  const std::string firmware = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
  e2e::RunOptions options;
  options.scenario = e2e::Scenario({StationDongle("dongle1", WatchedPort(1), Serial(1), 1, 0)});
  options.args = {"248a", "8266", "-s", "4", "-d", firmware, "--station", "--log", workspace.dir};
  const e2e::RunResult result = e2e::Run(workspace, options);
  EXPECT_EQ(result.exitStatus, 2) << result.Describe();
  EXPECT_NE(result.err.find("quorvel-dfu: --station: the log cannot be opened for appending: " +
                            workspace.dir),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(e2e::TouchedDevices(result.record).empty()) << result.record.dump();
}

}  // namespace
