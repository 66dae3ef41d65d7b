// The record's optional parts, the record file, saved device state carried
// into a later run, and the scenario checks that catch misspelt keys.
#include <fstream>

#include "raw_host.h"
#include "support/emulated_device_fixture.h"

namespace {

using namespace rawhost;
using nlohmann::json;

class RecordStateTest : public EmulatedDeviceTest {
 protected:
  void TearDown() override {
    if (dev_)
      hid_close(dev_);
    EmulatedDeviceTest::TearDown();
  }
  hid_device* Open(const json& scenario, const std::string& path = "/dev/hidraw0") {
    LoadScenario(scenario);
    if (dev_)
      hid_close(dev_);
    dev_ = hid_open_path(path.c_str());
    EXPECT_NE(dev_, nullptr);
    return dev_;
  }
  Bytes Ask(const Bytes& request, int ms = 200) {
    EXPECT_EQ(Send(dev_, request), 65);
    return Read(dev_, ms);
  }
  // Forced upgrade mode, then controller firmware 07-01-0000-00000009 of 64
  // bytes, verified.
  void FlashControllerInForcedMode() {
    Bytes image = Pattern(64);
    Ask({0x0A, 0x06, 0x00});
    Ask({0x0A, 0x20, 0x00});
    Ask(Info(0, {7, 1, 0, 0, 9, 0, 0, 0}, 64, Crc(image)));
    Ask({0x0A, 0x02});
    Read(dev_, 3000);
    Send(dev_, Frame(image, 0));
    Send(dev_, Frame(image, 62));
    Read(dev_, 100);
    Ask({0x0A, 0x03});
    ASSERT_EQ(Read(dev_, 1000)[2], 0x00);
  }
  static json ReadJson(const std::string& path) {
    std::ifstream in(path);
    return json::parse(in, nullptr, false);
  }

  hid_device* dev_ = nullptr;
};

TEST_F(RecordStateTest, WritesAreKeptOnlyWhenAskedFor) {
  json scenario = Scenario(Device());
  scenario["recordWrites"] = true;
  Open(scenario);
  g_virtual.now = 3;
  Ask({0x0A, 0x55});
  Bytes shortReport(1, 0);  // hidraw refuses a report with no byte after its ID
  EXPECT_EQ(hid_write(dev_, shortReport.data(), shortReport.size()), -1);
  const json& writes = Record()["devices"]["d"]["writes"];
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0]["atMs"], 3.0);
  EXPECT_EQ(writes[0]["length"], 65);
  EXPECT_EQ(writes[0]["result"], 65);
  EXPECT_EQ(writes[0]["hex"], ToHex(Padded({0x00, 0x0A, 0x55}, 65)));
  EXPECT_EQ(writes[1]["length"], 1);
  EXPECT_EQ(writes[1]["result"], -1);
  Open(Scenario(Device()));
  Ask({0x0A, 0x55});
  EXPECT_FALSE(Record()["devices"]["d"].contains("writes"));
}

TEST_F(RecordStateTest, FramesCanBeCountedWithoutBeingListed) {
  json scenario = Scenario(Device());
  scenario["recordFrames"] = false;
  Open(scenario);
  Bytes image = Pattern(130);
  Ask({0x0A, 0x20, 0x00});
  Ask(Info(0, Bytes(8, 0), 130, Crc(image)));
  Ask({0x0A, 0x02});
  Read(dev_, 3000);
  for (size_t sent = 0; sent < image.size(); sent += 62)
    Send(dev_, Frame(image, sent));
  Read(dev_, 100);
  Ask({0x0A, 0x03});
  const json& d = Record()["devices"]["d"];
  EXPECT_EQ(d["dataFrames"], 3);
  ASSERT_EQ(d["requests"].size(), 4u);
  EXPECT_EQ(d["requests"][3]["hex"], "0A03");
}

TEST_F(RecordStateTest, RecordFileHoldsTheRecord) {
  Open(Scenario(Device()));
  Ask({0x0A, 0x56});
  std::string path = testing::TempDir() + "emulator_record.json";
  ASSERT_TRUE(emu::WriteRecordFile(path));
  json written = ReadJson(path);
  EXPECT_EQ(written, Record());
  EXPECT_EQ(written["devices"]["d"]["requests"][0]["hex"], "0A56");
}

TEST_F(RecordStateTest, SavedStateCarriesFirmwareModesAndIdentityIntoTheNextRun) {
  json device = Device(
      {{"serial", "SN1"},
       {"reboot",
        {{"awayMs", 100}, {"path", "/dev/hidraw4"}, {"productId", 0x8300}, {"serial", nullptr}}},
       {"faults", {{{"command", "0x56"}, {"action", "noReply"}}}}});
  Open(Scenario(device));
  EXPECT_TRUE(Ask({0x0A, 0x56}).empty());  // the fault fires in the first run
  ASSERT_NO_FATAL_FAILURE(FlashControllerInForcedMode());
  Ask({0x0A, 0x04, 0x00});  // the run ends before the device is back
  std::string path = testing::TempDir() + "emulator_state.json";
  ASSERT_TRUE(emu::SaveState(path));

  // The next run starts from the scenario and the saved state.
  LoadScenario(Scenario(device));
  std::string error;
  ASSERT_TRUE(emu::LoadState(path, &error)) << error;
  hid_close(dev_);
  dev_ = nullptr;
  EXPECT_EQ(hid_open_path("/dev/hidraw0"), nullptr);
  hid_device_info* info = hid_enumerate(0x248A, 0x8300);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->path, "/dev/hidraw4");
  EXPECT_EQ(info->serial_number, nullptr);  // its boot loader reports none
  hid_free_enumeration(info);
  dev_ = hid_open_path("/dev/hidraw4");
  ASSERT_NE(dev_, nullptr);
  EXPECT_EQ(Ask({0x0A, 0x00, 0x00}), Padded({0x0A, 0x00, 0x00, 7, 1, 0, 0, 9}));
  EXPECT_EQ(Ask({0x0A, 0x56}).size(), 64u);  // spent in the first run
  const json& final = Record()["devices"]["d"]["final"];
  EXPECT_EQ(final["forcedUpgradeMode"], true);
  EXPECT_EQ(final["controllerVersion"], "07-01-0000-00000009");
}

TEST_F(RecordStateTest, StateOfUnknownDevicesIsIgnoredAndBadStateRejected) {
  std::string path = testing::TempDir() + "emulator_state_other.json";
  {
    std::ofstream out(path);
    out << R"({"devices": {"other": {"controllerVersion": "01-00-0000-00000000",
                                      "appVersion": "01-00-0000-00000000"}}})";
  }
  Open(Scenario(Device()));
  std::string error;
  EXPECT_TRUE(emu::LoadState(path, &error)) << error;
  EXPECT_EQ(Record()["devices"]["d"]["final"]["controllerVersion"], "00-00-0000-00000000");
  {
    std::ofstream out(path);
    out << R"({"devices": {"d": {"controllerVersion": "xyz", "appVersion": "0"}}})";
  }
  EXPECT_FALSE(emu::LoadState(path, &error));
  EXPECT_NE(error.find("\"d\""), std::string::npos) << error;
}

TEST_F(RecordStateTest, ScenarioMistakesAreReported) {
  std::string error;
  EXPECT_FALSE(emu::LoadScenario(Scenario(Device({{"blocksize", 62}})), &error));
  EXPECT_NE(error.find("unknown key \"blocksize\""), std::string::npos) << error;
  EXPECT_FALSE(emu::LoadScenario(Scenario(Device({{"appVersion", "0102"}})), &error));
  EXPECT_NE(error.find("appVersion"), std::string::npos) << error;
  EXPECT_FALSE(emu::LoadScenario(Scenario(Device({{"echo", true}})), &error));
  json twice = {{"devices", {Device(), Device({{"path", "/dev/hidraw1"}})}}};
  EXPECT_FALSE(emu::LoadScenario(twice, &error));
  EXPECT_NE(error.find("two devices"), std::string::npos) << error;
  EXPECT_FALSE(emu::LoadScenarioFile("/nonexistent/scenario.json", &error));
  EXPECT_EQ(hid_enumerate(0, 0), nullptr);  // a failed load leaves no devices
  EXPECT_TRUE(emu::LoadScenario(Scenario(Device({{"_note", "ignored"}})), &error)) << error;
  for (const char* port : {"1-", "-2", "1", "x-2", "1-2..3", "1-2.", "1-.2", "1-2:1.0"}) {
    EXPECT_FALSE(emu::LoadScenario(Scenario(Device({{"port", port}})), &error)) << port;
    EXPECT_NE(error.find("\"port\""), std::string::npos) << error;
  }
  for (const char* port : {"1-2", "3-1.4.2", "12-10.3"})
    EXPECT_TRUE(emu::LoadScenario(Scenario(Device({{"port", port}})), &error)) << error;
  EXPECT_FALSE(emu::LoadScenario(Scenario(Device({{"reboot", {{"serial", 5}}}})), &error));
  EXPECT_NE(error.find("\"serial\""), std::string::npos) << error;
  EXPECT_FALSE(emu::LoadScenario(Scenario(Device({{"serial", 5}})), &error));
}

// Hotplug keys the loader refuses: names that lead nowhere or back to the
// device, keys that say twice when a device is plugged, plug windows out of
// order, and two devices in one port at once by their fixed times.
TEST_F(RecordStateTest, HotplugMistakesAreReported) {
  const json window = {{"atMs", 100}, {"pullAtMs", 400}};
  const json after = {{"device", "d"}, {"leftMs", 10}};
  const json other = Device({{"name", "e"}, {"path", "/dev/hidraw1"}, {"port", "1-3.1"}});
  const struct {
    json devices;
    const char* error;
  } kCases[] = {
      {{Device({{"plugAfter", {{"device", "ghost"}}}})},
       "names no device of the scenario: \"ghost\""},
      {{Device({{"plugAfter", after}})}, "goes round in a circle"},
      {{Device({{"plugAfter", {{"device", "e"}}}}),
        Device({{"name", "e"}, {"path", "/dev/hidraw1"}, {"plugAfter", after}})},
       "goes round in a circle"},
      {{Device({{"plugAfter", {{"leftMs", 10}}}})}, "needs the \"device\""},
      {{Device({{"plugs", {window}}, {"appearAtMs", 5}})},
       "\"plugs\" and \"appearAtMs\" cannot go"},
      {{Device({{"plugs", {window}}, {"vanishAtMs", 5}})}, "\"plugs\" and \"vanishAtMs\""},
      {{Device({{"plugs", {window}}, {"plugAfter", after}})}, "\"plugs\" and \"plugAfter\""},
      {{Device({{"plugs", {window}}, {"pullAfterUpdateMs", 5}})}, "and \"pullAfterUpdateMs\""},
      {{Device({{"plugAfter", {{"device", "e"}}}, {"appearAtMs", 5}}), other},
       "\"plugAfter\" and \"appearAtMs\""},
      {{Device({{"plugs", json::array()}})}, "one or more"},
      {{Device({{"plugs", {window, {{"atMs", 300}}}}})}, "each plug after the pull before it"},
      {{Device({{"plugs", {{{"atMs", 100}, {"pullAtMs", 100}}}}})}, "must come after its"},
      {{Device({{"plugs", {{{"atMs", 100}}, {{"atMs", 500}}}}})}, "only the last entry"},
      {{Device({{"plugs", {{{"pullAtMs", 100}}}}})}, "needs \"atMs\""},
      {{Device({{"port", "1-3.1"}, {"plugs", {window}}}), other}, "port 1-3.1 at once"},
      {{Device({{"port", "1-3.1"}, {"appearAtMs", 399}, {"vanishAtMs", 800}}),
        Device({{"name", "e"}, {"path", "/dev/hidraw1"}, {"port", "1-3.1"}, {"plugs", {window}}})},
       "port 1-3.1 at once"},
  };
  for (const auto& c : kCases) {
    std::string error;
    EXPECT_FALSE(emu::LoadScenario({{"devices", c.devices}}, &error)) << c.devices.dump();
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  // One port, one device at a time: these load.
  std::string error;
  const json takeTurns[] = {
      {Device({{"port", "1-3.1"}, {"plugs", {window}}}),
       Device({{"name", "e"}, {"path", "/dev/hidraw1"}, {"port", "1-3.1"}, {"appearAtMs", 400}})},
      {Device({{"port", "1-3.1"}}),
       Device({{"name", "e"}, {"path", "/dev/hidraw1"}, {"port", "1-3.1"}, {"plugAfter", after}})},
      {Device({{"port", "1-3.1"}, {"plugs", {window}}}),
       Device({{"name", "e"}, {"path", "/dev/hidraw1"}, {"plugs", {window}}})},
  };
  for (const json& devices : takeTurns)
    EXPECT_TRUE(emu::LoadScenario({{"devices", devices}}, &error)) << error;
}

}  // namespace
