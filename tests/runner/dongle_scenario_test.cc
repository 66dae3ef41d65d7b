// The dongle the runs build their scenarios from, and the emulator's record
// as the runs read it.
#include "support/dongle_scenario.h"

#include <gtest/gtest.h>

#include "support/device_record.h"
#include "support/workspace.h"

namespace {

using Json = nlohmann::json;

TEST(DongleScenario, DescribedDongleWithEveryKey) {
  e2e::DongleSetup setup;
  setup.path = "/dev/hidraw7";
  Json expected = {{"name", "dongle"},
                   {"path", "/dev/hidraw7"},
                   {"vendorId", "0x248A"},
                   {"productId", "0x8266"},
                   {"release", "0x0120"},
                   {"interface", 1},
                   {"manufacturer", "Quorvel"},
                   {"product", "Receiver"},
                   {"typeCode", "0x10"},
                   {"controllerVersion", "01-00-0000-00000001"},
                   {"appVersion", "01-00-0000-00000001"},
                   {"forcedState", 0},
                   {"blockSize", 256},
                   {"timing",
                    {{"replyMs", 1},
                     {"eraseMs", 10},
                     {"blockWriteMs", 0.2},
                     {"verifyMs", 5},
                     {"usbFrameUs", 0}}},
                   {"reboot", {{"leaveMs", 20}, {"awayMs", 400}}}};
  EXPECT_EQ(e2e::DongleJson(setup), expected);
}

TEST(DongleScenario, KnobsLeaveOutOrAddKeys) {
  e2e::DongleSetup setup;
  setup.name = "line";
  setup.path = "/dev/hidraw8";
  setup.version = "02-00-0000-00000000";
  setup.described = false;
  setup.interfaceNumber = -1;
  setup.blockSize = 0;
  setup.timing = {2, 3, 4, 5, -1};
  setup.reboot = {6, 7, "/dev/hidraw9", "0x8267"};
  setup.serial = "QV1";
  setup.port = e2e::LinePort(5);
  Json expected = {
      {"name", "line"},
      {"path", "/dev/hidraw8"},
      {"vendorId", "0x248A"},
      {"productId", "0x8266"},
      {"controllerVersion", "02-00-0000-00000000"},
      {"appVersion", "02-00-0000-00000000"},
      {"serial", "QV1"},
      {"port", "1-3.2.2"},
      {"timing", {{"replyMs", 2}, {"eraseMs", 3}, {"blockWriteMs", 4}, {"verifyMs", 5}}},
      {"reboot",
       {{"leaveMs", 6}, {"awayMs", 7}, {"path", "/dev/hidraw9"}, {"productId", "0x8267"}}}};
  EXPECT_EQ(e2e::DongleJson(setup), expected);
}

TEST(DongleScenario, EndToEndDongleHasItsOwnPathAndTakesOverrides) {
  Json first = e2e::Dongle();
  Json second = e2e::Dongle({{"blockSize", 62}, {"serial", "S"}});
  EXPECT_EQ(first["path"].get<std::string>().rfind("/dev/hidraw-e2e-", 0), 0u);
  EXPECT_NE(first["path"], second["path"]);
  EXPECT_EQ(second["blockSize"], 62);
  EXPECT_EQ(second["serial"], "S");
  second.erase("serial");
  second["blockSize"] = 256;
  second["path"] = first["path"];
  EXPECT_EQ(second, first);
  EXPECT_EQ(e2e::LinePort(0), "1-3.1.1");
  EXPECT_EQ(e2e::LinePort(7), "1-3.4.2");
  EXPECT_NE(e2e::UniqueHidrawPath(1), e2e::UniqueHidrawPath(2));
}

TEST(DeviceRecord, FileStates) {
  e2e::Workspace workspace;
  EXPECT_EQ(e2e::ReadRecordFile(workspace.Path("none")).state, e2e::RecordState::kMissing);
  ASSERT_TRUE(e2e::WriteText(workspace.Path("empty"), ""));
  EXPECT_EQ(e2e::ReadRecordFile(workspace.Path("empty")).state, e2e::RecordState::kNotJson);
  ASSERT_TRUE(e2e::WriteText(workspace.Path("cut"), "{\"devices\": {"));
  e2e::RecordFile cut = e2e::ReadRecordFile(workspace.Path("cut"));
  EXPECT_EQ(cut.state, e2e::RecordState::kNotJson);
  EXPECT_EQ(cut.record, Json::object());
  ASSERT_TRUE(e2e::WriteText(workspace.Path("good"), "{\"devices\": {\"d\": {\"opens\": []}}}"));
  e2e::RecordFile good = e2e::ReadRecordFile(workspace.Path("good"));
  EXPECT_EQ(good.state, e2e::RecordState::kRead);
  EXPECT_EQ(e2e::DeviceRecord(good.record, "d"), (Json{{"opens", Json::array()}}));
  EXPECT_EQ(e2e::DeviceRecord(good.record, "other"), Json::object());
  EXPECT_EQ(e2e::DeviceRecord(Json::array(), "d"), Json::object());
}

TEST(DeviceRecord, TraceAndOpeners) {
  Json device = {{"requests",
                  {{{"hex", "0A5500"}},
                   {{"hex", "0A0600"}},
                   {{"hex", "0A1001"}},
                   {{"hex", "0A1002"}},
                   {{"hex", "0A03"}, {"ignored", true}},
                   {{"hex", "0A10"}},
                   {{"hex", "7F"}},
                   {{"hex", "0A0402"}}}},
                 {"opens", {{{"pid", 12}}, {{"pid", 12}}, {{"pid", 40}}}}};
  EXPECT_EQ(e2e::CommandTrace(device), "H F+ D V? D X B");
  EXPECT_EQ(e2e::CommandTrace(Json::object()), "<no record>");
  EXPECT_EQ(e2e::OpeningPids(device), (std::set<int>{12, 40}));
  EXPECT_TRUE(e2e::OpeningPids(Json::object()).empty());
}

}  // namespace
