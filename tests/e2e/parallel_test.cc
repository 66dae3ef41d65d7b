// Several instances of the real program at once on one shared emulated bus
// (tools/emulate --bus): identical dongles that restart and come back under
// their upgrade product ID in an order of their own. What each instance may
// touch is judged by the bus's record, which notes every open with the
// process that made it.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <random>
#include <set>

#include "firmware_builder.h"
#include "support/bytes.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using e2e::RunOptions;
using e2e::RunResult;
using Json = nlohmann::json;

// Image k: its own version and its own bytes.
struct Image {
  std::string path;
  std::string version;  // MM-mm-RRRR-BBBBBBBB
  std::string sha256;   // of what goes on the wire: the whole file
};

Image WriteImage(const e2e::Workspace& workspace, int k) {
  fwbuild::ImageOptions options;
  options.version = {2, 1, static_cast<uint8_t>(k), 0, static_cast<uint8_t>(0x10 + k), 0, 0, 0};
  options.bodySize = 6000;
  options.seed = 100 + static_cast<uint32_t>(k);
  std::vector<uint8_t> file = fwbuild::BuildOnePartFile(options);
  char version[24];
  std::snprintf(version, sizeof version, "02-01-00%02X-000000%02X", k, 0x10 + k);
  return {workspace.Write("image" + std::to_string(k) + ".bin", file), version,
          e2e::Sha256Hex(file)};
}

// Dongle k of a production line: same IDs as its siblings, its own serial
// number and hub port; after its restart it comes back as 248A:8267 under a
// new hidraw node, after awayMs.
Json LineDongle(int k, int awayMs) {
  return e2e::Dongle(
      {{"name", "dongle" + std::to_string(k)},
       {"path", e2e::UniqueHidrawPath(k)},
       {"serial", "QV24A0" + std::to_string(k) + "X"},
       {"port", "1-3." + std::to_string(k % 4 + 1) + "." + std::to_string(k / 4 + 1)},
       {"reboot",
        {{"leaveMs", 20},
         {"awayMs", awayMs},
         {"path", e2e::UniqueHidrawPath(50 + k)},
         {"productId", "0x8267"}}}});
}

// The bus's record without the data frames themselves (they are counted).
Json LineScenario(const std::vector<Json>& dongles) {
  Json scenario = e2e::Scenario(dongles);
  scenario["recordFrames"] = false;
  return scenario;
}

// The dongles on the first hidraw nodes, coming back from their restarts
// under the lowest free node as Linux hands them out: dongles that restart
// together take each other's old nodes.
Json ReusingNodes(std::vector<Json> dongles) {
  for (size_t k = 0; k < dongles.size(); ++k) {
    dongles[k]["path"] = "/dev/hidraw" + std::to_string(k);
    dongles[k]["reboot"]["path"] = nullptr;
  }
  Json scenario = LineScenario(dongles);
  scenario["lowestFreeNodes"] = true;
  return scenario;
}

// The paths under which the device was opened, in order.
std::vector<std::string> OpenedPaths(const Json& device) {
  std::vector<std::string> paths;
  for (const Json& open : device["opens"])
    paths.push_back(open["path"]);
  return paths;
}

// Two dongles of different products updated at once through one bus: both
// instances see the one bus, each device gets its own image once. Different
// product IDs do not keep them apart after the restart, whose wait takes any
// new interface: without --port one instance may hold the other's dongle for
// its probe just when the other scans, and the other never tries it again.
TEST(SharedBus, TwoInstancesUpdateTwoProductsOfOneBusEachByItsPort) {
  e2e::Workspace workspace;
  Image first = WriteImage(workspace, 1);
  Image second = WriteImage(workspace, 2);
  Json a = LineDongle(1, 400);
  Json b = LineDongle(2, 400);
  b["productId"] = "0x8270";
  b["reboot"]["productId"] = "0x8271";
  e2e::SharedBus bus(workspace, LineScenario({a, b}));
  ASSERT_TRUE(bus.started());
  RunOptions one;
  one.bus = bus.socket();
  one.args = {"248a", "8266", "-s", "4", "-d", first.path, "--port", a["port"]};
  RunOptions two = one;
  two.args = {"248a", "8270", "-s", "4", "-d", second.path, "--port", b["port"]};
  std::vector<RunResult> results = e2e::RunAll(workspace, {one, two});
  Json record = bus.Stop();
  for (const RunResult& r : results) {
    EXPECT_EQ(r.exitStatus, 0) << r.Describe();
    EXPECT_NE(r.out.find("DFU success!"), std::string::npos) << r.Describe();
  }
  const Image* images[] = {&first, &second};
  for (int k = 1; k <= 2; ++k) {
    const Json& device = record["devices"]["dongle" + std::to_string(k)];
    ASSERT_EQ(device["transfers"].size(), 1u) << record.dump(1);
    EXPECT_EQ(device["transfers"][0]["receivedSha256"], images[k - 1]->sha256);
    EXPECT_EQ(device["transfers"][0]["verified"], true);
    EXPECT_EQ(device["final"]["controllerVersion"], images[k - 1]->version);
    EXPECT_EQ(device["final"]["productId"], k == 1 ? 0x8267 : 0x8271);
    std::set<int> pids;
    for (const Json& open : device["opens"])
      pids.insert(open["pid"].get<int>());
    EXPECT_EQ(pids.size(), 1u) << device["opens"].dump();
  }
}

// Two instances started together for one dongle: the device lock is the
// bus's, so whichever opens it first updates it and the other never sends it
// a thing. The other says on standard error that another instance holds it
// and goes on waiting (the dongle comes back under its upgrade product ID,
// which the other does not look for): it is still waiting when the first one
// has finished, and is stopped then.
TEST(SharedBus, TwoInstancesForOneDongleOnlyOneTouchesIt) {
  const std::string kHeld = "is held by another quorvel-dfu process; waiting until it lets go";
  e2e::Workspace workspace;
  Image image = WriteImage(workspace, 5);
  Json dongle = LineDongle(0, 300);
  // Slow block writes: the update holds the dongle for about 2.5 s, far
  // longer than the other instance takes to try it.
  dongle["timing"]["blockWriteMs"] = 100;
  e2e::SharedBus bus(workspace, LineScenario({dongle}));
  ASSERT_TRUE(bus.started());
  RunOptions run;
  run.bus = bus.socket();
  run.args = {"248a", "8266", "-s", "4", "-d", image.path};
  e2e::LiveRun first(workspace, run);
  e2e::LiveRun second(workspace, run);
  // The one that says it waits is the other; one second each in turn, as
  // a hang guard.
  int otherIndex = -1;
  for (int turn = 0; turn < 60 && otherIndex < 0; ++turn) {
    if ((turn % 2 == 0 ? first : second).WaitFor(kHeld, true, 1))
      otherIndex = turn % 2;
  }
  ASSERT_GE(otherIndex, 0) << "neither instance waited for the other";
  e2e::LiveRun& otherRun = otherIndex == 0 ? first : second;
  RunResult winner = (otherIndex == 0 ? second : first).Finish();
  EXPECT_TRUE(otherRun.Running());
  otherRun.Signal(SIGKILL);
  RunResult other = otherRun.Finish();
  Json record = bus.Stop();
  EXPECT_EQ(winner.exitStatus, 0) << winner.Describe();
  EXPECT_NE(winner.out.find("DFU success!"), std::string::npos) << winner.Describe();
  EXPECT_EQ(other.out, "") << other.Describe();
  EXPECT_NE(other.err.find(kHeld), std::string::npos) << other.Describe();
  const Json& device = record["devices"]["dongle0"];
  ASSERT_EQ(device["transfers"].size(), 1u) << record.dump(1);
  EXPECT_EQ(device["transfers"][0]["receivedSha256"], image.sha256);
  EXPECT_EQ(device["final"]["controllerVersion"], image.version);
  EXPECT_EQ(e2e::OpeningPids(device).size(), 1u) << device["opens"].dump();
}

// Eight identical dongles of a production line, eight instances started
// together, each told its dongle by --port (first round) or --serial
// (second round, with JSON output). The dongles come back from their
// restarts in a random order under the upgrade product ID, each under the
// lowest hidraw node free at that moment (often another's old one); every
// one must be updated exactly once with its own image, and no instance may
// open another's dongle, not even to probe it.
TEST(SharedBus, EightIdenticalDonglesEachUpdatedOnceByItsOwnInstance) {
  constexpr int kDongles = 8;
  std::random_device seeder;
  const unsigned seed = seeder();
  std::mt19937 random(seed);
  e2e::Workspace workspace;
  std::vector<Image> images;
  for (int k = 0; k < kDongles; ++k)
    images.push_back(WriteImage(workspace, k));
  for (const bool bySerial : {false, true}) {
    SCOPED_TRACE(std::string(bySerial ? "--serial" : "--port") + ", seed " + std::to_string(seed));
    std::vector<Json> dongles;
    std::uniform_int_distribution<int> away(200, 1800);
    for (int k = 0; k < kDongles; ++k)
      dongles.push_back(LineDongle(k, away(random)));
    e2e::SharedBus bus(workspace, ReusingNodes(dongles));
    ASSERT_TRUE(bus.started());
    std::vector<RunOptions> runs;
    for (int k = 0; k < kDongles; ++k) {
      dongles[k]["path"] = "/dev/hidraw" + std::to_string(k);
      RunOptions run;
      run.bus = bus.socket();
      run.timeLimitSeconds = 120;
      run.args = {"248a", "8266", "-s", "4", "-d", images[k].path};
      if (bySerial) {
        run.args.insert(run.args.end(), {"--serial", dongles[k]["serial"], "--json"});
      } else {
        run.args.insert(run.args.end(), {"--port", dongles[k]["port"]});
      }
      runs.push_back(run);
    }
    std::vector<RunResult> results = e2e::RunAll(workspace, runs);
    Json record = bus.Stop();
    std::map<int, int> dongleOfPid;
    for (int k = 0; k < kDongles; ++k) {
      const RunResult& r = results[k];
      EXPECT_EQ(r.exitStatus, 0) << k << r.Describe();
      if (bySerial) {
        // Nothing but the one line of JSON on standard output.
        ASSERT_FALSE(r.out.empty()) << r.Describe();
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
        Json line = Json::parse(r.out, nullptr, false);
        ASSERT_FALSE(line.is_discarded()) << r.out;
        EXPECT_EQ(line["result"], "success");
        EXPECT_EQ(line["device"]["serial"], dongles[k]["serial"]);
        EXPECT_EQ(line["device"]["port"], dongles[k]["port"]);
        EXPECT_EQ(line["device"]["path"], dongles[k]["path"]);
        EXPECT_EQ(line["versionsBefore"]["controller"], "01-00-0000-00000001");
        EXPECT_EQ(line["versionsAfter"]["controller"], images[k].version);
        EXPECT_TRUE(line["failedStep"].is_null());
      } else {
        EXPECT_NE(r.out.find("DFU success!"), std::string::npos) << r.Describe();
      }
      const Json& device = record["devices"]["dongle" + std::to_string(k)];
      ASSERT_EQ(device["transfers"].size(), 1u) << k;
      EXPECT_EQ(device["transfers"][0]["receivedSha256"], images[k].sha256) << k;
      EXPECT_EQ(device["transfers"][0]["verified"], true) << k;
      EXPECT_EQ(device["restarts"].size(), 1u) << k;
      EXPECT_EQ(device["final"]["controllerVersion"], images[k].version) << k;
      EXPECT_EQ(device["final"]["productId"], 0x8267) << k;
      EXPECT_TRUE(device["protocolErrors"].empty()) << k;
      // One process opened this dongle (before and after its restart), and
      // that process opened no other.
      std::set<int> pids;
      for (const Json& open : device["opens"])
        pids.insert(open["pid"].get<int>());
      ASSERT_EQ(pids.size(), 1u) << "dongle" << k << " " << device["opens"].dump();
      EXPECT_EQ(dongleOfPid.count(*pids.begin()), 0u) << "one instance opened two dongles";
      dongleOfPid[*pids.begin()] = k;
    }
  }
}

// A boot loader that reports no serial number cannot be followed by it: the
// instance connects by serial, but after the restart no device with that
// serial comes back and its wait runs out; by port it is found. The JSON
// line names the step that failed.
TEST(SharedBus, ADeviceThatComesBackWithoutItsSerialIsFollowedByItsPortOnly) {
  e2e::Workspace workspace;
  Image image = WriteImage(workspace, 3);
  Json bySerialDongle = LineDongle(0, 300);
  bySerialDongle["reboot"]["serial"] = nullptr;
  Json byPortDongle = LineDongle(1, 300);
  byPortDongle["reboot"]["serial"] = nullptr;
  RunOptions bySerial;
  bySerial.scenario = LineScenario({bySerialDongle});
  bySerial.args = {"248a",  "8266", "-s",       "4",        "-c",
                   "0",     "-d",   image.path, "--serial", bySerialDongle["serial"],
                   "--json"};
  RunOptions byPort;
  byPort.scenario = LineScenario({byPortDongle});
  byPort.args = {"248a",  "8266", "-s",       "4",      "-c",
                 "0",     "-d",   image.path, "--port", byPortDongle["port"],
                 "--json"};
  std::vector<RunResult> results = e2e::RunAll(workspace, {bySerial, byPort});
  Json failed = Json::parse(results[0].out, nullptr, false);
  ASSERT_FALSE(failed.is_discarded()) << results[0].Describe();
  EXPECT_EQ(results[0].exitStatus, 1);
  EXPECT_EQ(failed["result"], "failure");
  EXPECT_EQ(failed["failedStep"], "Wait to restart connection");
  EXPECT_EQ(failed["bytesSent"], 6072);
  // The device did take its image; only the instance could not follow it.
  EXPECT_EQ(results[0].Device("dongle0")["final"]["controllerVersion"], image.version);
  Json done = Json::parse(results[1].out, nullptr, false);
  ASSERT_FALSE(done.is_discarded()) << results[1].Describe();
  EXPECT_EQ(results[1].exitStatus, 0);
  EXPECT_EQ(done["result"], "success");
  EXPECT_TRUE(done["versionsAfter"]["controller"].is_null());  // -c 0: not read back
  EXPECT_EQ(results[1].Device("dongle1")["final"]["controllerVersion"], image.version);
}

// An unknown serial number or port is waited for like an absent device,
// with one line on standard error and without opening any device; an empty
// one is refused, with its reason at the prompt.
TEST(SharedBus, UnknownSelectionWaitsAndEmptyOneIsRefused) {
  e2e::Workspace workspace;
  Image image = WriteImage(workspace, 4);
  RunOptions unknown;
  unknown.scenario = LineScenario({LineDongle(0, 300), LineDongle(1, 300)});
  unknown.args = {"248a", "8266", "-s", "4", "-d", image.path, "--serial", "NO-SUCH"};
  // The waiting line comes after 2 s of the program's own clock.
  unknown.timeLimitSeconds = 6;
  RunOptions empty;
  empty.scenario = unknown.scenario;
  empty.input = "dfu 248a 8266 -d " + image.path + " --port \"\"\nexit\n";
  std::vector<RunResult> results = e2e::RunAll(workspace, {unknown, empty});
  EXPECT_TRUE(results[0].timedOut) << results[0].Describe();
  EXPECT_EQ(results[0].out, "");
  // The time limit ends it with SIGTERM, which it meets with its stop line.
  EXPECT_EQ(results[0].err,
            "quorvel-dfu: waiting for device 248A:8266 (any interface) with serial number "
            "NO-SUCH to be connected and to answer; press Ctrl-C to stop\n"
            "quorvel-dfu: stopped by SIGTERM; the device was not left in an upgrade mode\n");
  // The parameter error on standard output, the reason for people on
  // standard error.
  EXPECT_NE(results[1].out.find(">> >> : Parameter error!\n>> "), std::string::npos)
      << results[1].Describe();
  EXPECT_EQ(results[1].err, "quorvel-dfu: a serial number or USB port cannot be empty: --port\n");
  EXPECT_EQ(results[1].exitStatus, 0);
}

// Two instances pinned to the same port of the line: the first to start
// holds the selection for its whole run, restart wait included, and the
// other says so on standard error and waits. The dongle comes back under
// its own product ID, so the other finds it again once the first has ended
// and updates it in turn. By the record the two runs never interleave: one
// process's opens, its transfer and its restart, then the other's.
TEST(SharedBus, TwoInstancesOnOnePortTakeTurnsAcrossTheRestart) {
  const std::string kHeld =
      "quorvel-dfu: device 248A:8266 at USB port 1-3.2 is held by another quorvel-dfu process; "
      "waiting until it lets go\n";
  e2e::Workspace workspace;
  Json scenario = e2e::LineOfDongles();
  for (Json& device : scenario["devices"]) {
    if (device["name"] == e2e::LineDongleName(2))
      device["reboot"]["productId"] = "0x8266";
  }
  e2e::SharedBus bus(workspace, scenario);
  ASSERT_TRUE(bus.started());
  const Image images[] = {WriteImage(workspace, 6), WriteImage(workspace, 7)};
  std::vector<RunOptions> runs(2);
  for (int k = 0; k < 2; ++k) {
    runs[k].bus = bus.socket();
    runs[k].args = {"248a", "8266", "-s", "4", "-d", images[k].path, "--port", "1-3.2"};
  }
  std::vector<RunResult> results = e2e::RunAll(workspace, runs);
  Json record = bus.Stop();
  for (const RunResult& r : results) {
    EXPECT_EQ(r.exitStatus, 0) << r.Describe();
    EXPECT_NE(r.out.find("DFU success!"), std::string::npos) << r.Describe();
  }
  // The one that waited went second.
  const int second = results[1].err == kHeld ? 1 : 0;
  EXPECT_EQ(results[second].err, kHeld) << results[second].Describe();
  EXPECT_EQ(results[1 - second].err, "") << results[1 - second].Describe();
  EXPECT_EQ(e2e::TouchedDevices(record), std::set<std::string>{e2e::LineDongleName(2)});
  const Json& device = e2e::DeviceRecord(record, e2e::LineDongleName(2));
  ASSERT_EQ(device["transfers"].size(), 2u) << device.dump(1);
  EXPECT_EQ(device["transfers"][0]["receivedSha256"], images[1 - second].sha256);
  EXPECT_EQ(device["transfers"][1]["receivedSha256"], images[second].sha256);
  ASSERT_EQ(device["restarts"].size(), 2u) << device.dump(1);
  EXPECT_EQ(device["final"]["controllerVersion"], images[second].version);
  // Opens in time order: one process's, then the other's, the other's first
  // only after the first's restart was over and its last open closed.
  std::vector<Json> opens(device["opens"].begin(), device["opens"].end());
  std::sort(opens.begin(), opens.end(),
            [](const Json& a, const Json& b) { return a["atMs"] < b["atMs"]; });
  ASSERT_GE(opens.size(), 4u) << device["opens"].dump();
  size_t turn = 1;
  while (turn < opens.size() && opens[turn]["pid"] == opens[0]["pid"])
    ++turn;
  ASSERT_LT(turn, opens.size()) << device["opens"].dump();
  for (size_t i = turn; i < opens.size(); ++i)
    EXPECT_NE(opens[i]["pid"], opens[0]["pid"]) << "interleaved: " << device["opens"].dump();
  EXPECT_GE(opens[turn]["atMs"], device["restarts"][0]["cameBackAtMs"]) << device.dump(1);
  ASSERT_TRUE(opens[turn - 1]["closedAtMs"].is_number()) << device["opens"].dump();
  EXPECT_GE(opens[turn]["atMs"], opens[turn - 1]["closedAtMs"]) << device["opens"].dump();
}

// Locks belong to their bus: two buses running at once, each with the same
// line on the same hidraw nodes, and one instance on each pinned to the same
// port. Neither waits for the other, and each updates its own bus's dongle.
TEST(SharedBus, InstancesOnTwoBusesWithTheSamePortAndNodesDoNotWaitForEachOther) {
  e2e::Workspace workspace;
  const Image image = WriteImage(workspace, 8);
  std::vector<Json> dongles;
  for (int k = 1; k <= e2e::kLineDongles; ++k)
    dongles.push_back(e2e::LineDongle(k));
  // Slow block writes: each update holds its selection for about 2.5 s.
  dongles[1]["timing"]["blockWriteMs"] = 100;
  e2e::SharedBus first(workspace, ReusingNodes(dongles));
  e2e::SharedBus second(workspace, ReusingNodes(dongles));
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(second.started());
  std::vector<RunOptions> runs(2);
  for (int k = 0; k < 2; ++k) {
    runs[k].bus = (k == 0 ? first : second).socket();
    runs[k].args = {"248a", "8266", "-s", "4", "-d", image.path, "-c", "0", "--port", "1-3.2"};
  }
  std::vector<RunResult> results = e2e::RunAll(workspace, runs);
  const Json records[] = {first.Stop(), second.Stop()};
  for (int k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(results[k].exitStatus, 0) << results[k].Describe();
    EXPECT_EQ(results[k].err, "") << results[k].Describe();
    EXPECT_EQ(e2e::TouchedDevices(records[k]), std::set<std::string>{e2e::LineDongleName(2)});
    const Json& device = e2e::DeviceRecord(records[k], e2e::LineDongleName(2));
    EXPECT_EQ(device["transfers"].size(), 1u) << device.dump(1);
    EXPECT_EQ(OpenedPaths(device).front(), "/dev/hidraw1");
  }
}

// Four dongles restarted at once come back in the reverse order of their
// ports, each under the lowest free hidraw node: the dongle at 1-3.4 takes
// the node of the one at 1-3.1, and so on. Every dongle is back before the
// first scan of any wait, so each instance meets its own dongle under a
// node its snapshot knew as a sibling's, and must take it for new.
TEST(SharedBus, FourDonglesRestartingAtOnceAreEachFoundUnderAnotherNode) {
  e2e::Workspace workspace;
  std::vector<Json> dongles;
  std::vector<Image> images;
  for (int k = 1; k <= e2e::kLineDongles; ++k) {
    Json dongle = e2e::LineDongle(k);
    // Back 1.8 s to 2.7 s after leaving: before the first scan at 3 s, and
    // late enough that every dongle has left when the first one returns.
    dongle["reboot"]["awayMs"] = 1800 + 300 * (e2e::kLineDongles - k);
    dongles.push_back(dongle);
    images.push_back(WriteImage(workspace, 10 + k));
  }
  e2e::SharedBus bus(workspace, ReusingNodes(dongles));
  ASSERT_TRUE(bus.started());
  std::vector<RunOptions> runs(e2e::kLineDongles);
  for (int k = 0; k < e2e::kLineDongles; ++k) {
    runs[k].bus = bus.socket();
    runs[k].args = {"248a", "8266", "-s", "4", "-d", images[k].path, "--port", dongles[k]["port"]};
  }
  std::vector<RunResult> results = e2e::RunAll(workspace, runs);
  Json record = bus.Stop();
  std::set<int> pids;
  int movedNodes = 0;
  for (int k = 0; k < e2e::kLineDongles; ++k) {
    SCOPED_TRACE(k + 1);
    EXPECT_EQ(results[k].exitStatus, 0) << results[k].Describe();
    EXPECT_NE(results[k].out.find("DFU success!"), std::string::npos) << results[k].Describe();
    const Json& device = e2e::DeviceRecord(record, e2e::LineDongleName(k + 1));
    ASSERT_EQ(device["transfers"].size(), 1u) << device.dump(1);
    EXPECT_EQ(device["final"]["controllerVersion"], images[k].version);
    ASSERT_EQ(e2e::OpeningPids(device).size(), 1u) << device["opens"].dump();
    pids.insert(*e2e::OpeningPids(device).begin());
    std::vector<std::string> paths = OpenedPaths(device);
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.front(), "/dev/hidraw" + std::to_string(k));
    if (paths.back() != paths.front())
      ++movedNodes;
  }
  EXPECT_EQ(pids.size(), static_cast<size_t>(e2e::kLineDongles));
  // The test is about reused nodes: at least the dongles that came back first
  // and last took another's.
  EXPECT_GE(movedNodes, 2) << record.dump(1);
}

}  // namespace
