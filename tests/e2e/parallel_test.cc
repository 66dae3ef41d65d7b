// Several instances of the real program at once on one shared emulated bus
// (tools/emulate --bus): identical dongles that restart and come back under
// their upgrade product ID in an order of their own. What each instance may
// touch is judged by the bus's record, which notes every open with the
// process that made it.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "firmware_builder.h"
#include "support/e2e_runner.h"

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

// Two dongles of different products updated at once through one bus: both
// instances see the one bus, each device gets its own image once.
TEST(SharedBus, TwoInstancesUpdateTwoDevicesOfOneBus) {
  e2e::Workspace workspace;
  Image first = WriteImage(workspace, 1);
  Image second = WriteImage(workspace, 2);
  Json a = LineDongle(1, 400);
  Json b = LineDongle(2, 400);
  b["productId"] = "0x8270";
  b["reboot"]["productId"] = "0x8271";
  e2e::SharedBus bus(workspace, e2e::Scenario({a, b}));
  ASSERT_TRUE(bus.started());
  RunOptions one;
  one.bus = bus.socket();
  one.args = {"248a", "8266", "-s", "4", "-d", first.path};
  RunOptions two = one;
  two.args = {"248a", "8270", "-s", "4", "-d", second.path};
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
    EXPECT_FALSE(device["opens"].empty());
  }
}

}  // namespace
