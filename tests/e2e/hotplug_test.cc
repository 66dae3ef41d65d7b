// Hotplug on the shared emulated bus, as one plain instance of the program
// meets it: a device plugged into the port it watches and pulled again,
// then a dongle plugged into the same port under the node the first one
// freed. Judged by the bus's record of every plug, pull and open.
#include <gtest/gtest.h>

#include <set>

#include "firmware_builder.h"
#include "support/bytes.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;

// "event@ms" of each entry of the device's presence list.
std::vector<std::string> Presence(const Json& device) {
  std::vector<std::string> events;
  for (const Json& p : device["presence"])
    events.push_back(p["event"].get<std::string>() + "@" + std::to_string(p["atMs"].get<int>()));
  return events;
}

// Port 1-3.1 first holds a keyboard of the dongle's vendor (plugged at
// 300 ms, pulled at 1500 ms), then the dongle, plugged 500 ms after the
// keyboard left; a sibling dongle sits at 1-3.2 all along. The instance is
// pinned to 1-3.1: it passes over the keyboard, updates the dongle once it
// appears (on /dev/hidraw0, the keyboard's old node) and never opens the
// sibling.
TEST(SharedBusHotplug, AnInstanceUpdatesTheDonglePluggedWhereAnotherDeviceWasPulled) {
  e2e::Workspace workspace;
  fwbuild::ImageOptions options;
  options.version = {2, 1, 7, 0, 0x17, 0, 0, 0};
  options.bodySize = 4000;
  std::vector<uint8_t> file = fwbuild::BuildOnePartFile(options);
  const std::string image = workspace.Write("image.bin", file);
  const Json reboot = {{"leaveMs", 20}, {"awayMs", 400}, {"productId", "0x8267"}};
  Json scenario =
      e2e::Scenario({e2e::Dongle({{"name", "keyboard5200"},
                                  {"path", "/dev/hidraw5"},
                                  {"productId", "0x5200"},
                                  {"port", "1-3.1"},
                                  {"plugs", {{{"atMs", 300}, {"pullAtMs", 1500}}}}}),
                     e2e::Dongle({{"name", "dongle"},
                                  {"path", "/dev/hidraw6"},
                                  {"serial", "QV24A01X"},
                                  {"port", "1-3.1"},
                                  {"reboot", reboot},
                                  {"plugAfter", {{"device", "keyboard5200"}, {"leftMs", 500}}}}),
                     e2e::Dongle({{"name", "sibling"},
                                  {"path", "/dev/hidraw1"},
                                  {"serial", "QV24A02X"},
                                  {"port", "1-3.2"},
                                  {"reboot", reboot}})});
  scenario["lowestFreeNodes"] = true;
  scenario["recordFrames"] = false;
  e2e::SharedBus bus(workspace, scenario);
  ASSERT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  run.args = {"248a", "8266", "-s", "4", "-d", image, "--port", "1-3.1"};
  e2e::RunResult result = e2e::Run(workspace, run);
  Json record = bus.Stop();
  EXPECT_EQ(result.exitStatus, 0) << result.Describe();
  EXPECT_NE(result.out.find("DFU success!"), std::string::npos) << result.Describe();
  EXPECT_EQ(e2e::TouchedDevices(record), std::set<std::string>{"dongle"}) << record.dump(1);
  EXPECT_EQ(record["scenarioErrors"], Json::array());
  EXPECT_EQ(Presence(e2e::DeviceRecord(record, "keyboard5200")),
            (std::vector<std::string>{"plug@300", "pull@1500"}));
  const Json& dongle = e2e::DeviceRecord(record, "dongle");
  ASSERT_FALSE(dongle["presence"].empty()) << dongle.dump(1);
  EXPECT_EQ(Presence(dongle)[0], "plug@2000");
  ASSERT_EQ(dongle["transfers"].size(), 1u) << dongle.dump(1);
  EXPECT_GE(dongle["transfers"][0]["atMs"], 2000.0);
  EXPECT_EQ(dongle["transfers"][0]["receivedSha256"], e2e::Sha256Hex(file));
  EXPECT_EQ(dongle["final"]["controllerVersion"], "02-01-0007-00000017");
  ASSERT_FALSE(dongle["opens"].empty());
  EXPECT_EQ(dongle["opens"][0]["path"], "/dev/hidraw0");
  EXPECT_EQ(e2e::OpeningPids(dongle).size(), 1u);
  for (const Json& open : dongle["opens"])
    EXPECT_GE(open["atMs"], 2000.0) << dongle["opens"].dump();
}

// The dongle at 1-3.1 is pulled 100 ms after it came back from the restart
// that applied the image, before the instance looks for it (3 s after the
// restart), and the next dongle of the line is plugged into that port. The
// instance, pinned to the port only, leaves that one alone: another serial
// number is another device. It neither opens it nor takes its versions for
// its own, times out, and its recovery line names the serial number too, so
// that it cannot reach the newcomer either.
TEST(SharedBusHotplug, AnInstanceLeavesAloneTheNextDonglePluggedWhileItsOwnRestarted) {
  e2e::Workspace workspace;
  fwbuild::ImageOptions options;
  options.version = {2, 1, 7, 0, 0x17, 0, 0, 0};
  options.bodySize = 4000;
  const std::string image = workspace.Write("image.bin", fwbuild::BuildOnePartFile(options));
  Json scenario =
      e2e::Scenario({e2e::Dongle({{"name", "first"},
                                  {"path", "/dev/hidraw1"},
                                  {"serial", "QV24A01X"},
                                  {"port", "1-3.1"},
                                  {"pullAfterUpdateMs", 100}}),
                     e2e::Dongle({{"name", "next"},
                                  {"path", "/dev/hidraw2"},
                                  {"serial", "QV24A09X"},
                                  {"port", "1-3.1"},
                                  {"plugAfter", {{"device", "first"}, {"leftMs", 300}}}})});
  scenario["recordFrames"] = false;
  e2e::SharedBus bus(workspace, scenario);
  ASSERT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  run.args = {"248a", "8266", "-s", "4", "-d", image, "--port", "1-3.1", "--json"};
  e2e::RunResult result = e2e::Run(workspace, run);
  Json record = bus.Stop();
  EXPECT_EQ(result.exitStatus, 1) << result.Describe();
  EXPECT_EQ(record["scenarioErrors"], Json::array());
  const Json& next = e2e::DeviceRecord(record, "next");
  ASSERT_FALSE(next["presence"].empty()) << next.dump(1);
  EXPECT_TRUE(next["opens"].empty()) << next["opens"].dump();
  EXPECT_NE(result.err.find("the device at USB port 1-3.1 with serial number QV24A09X is not the "
                            "one this command updates (serial number QV24A01X); it is left alone"),
            std::string::npos)
      << result.err;
  const Json line = Json::parse(result.out, nullptr, false);
  ASSERT_TRUE(line.is_object()) << result.out;
  EXPECT_EQ(line["result"], "failure");
  EXPECT_EQ(line["device"]["serial"], "QV24A01X");
  EXPECT_EQ(line["versionsAfter"], Json({{"controller", nullptr}, {"app", nullptr}}));
  EXPECT_EQ(line["recovery"], "quorvel-dfu 248a 8266 --port 1-3.1 --serial QV24A01X -f 1");
}

}  // namespace
