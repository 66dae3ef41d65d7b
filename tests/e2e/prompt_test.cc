// Prompt commands of the real program that read the bus: cv prints the
// version report of the first device that answers, list shows the HID
// interfaces without talking to any of them; and a second run sees the
// firmware that a first run flashed.
#include <gtest/gtest.h>

#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/e2e_upgrade_rows.h"
#include "support/screen_text.h"

namespace {

using e2e::RunOptions;
using e2e::RunResult;
using Json = nlohmann::json;

const char kKeyboardName[] = "Other Keyboard(HID\\VID_046D&PID_C31C&REV_0000)";

std::vector<std::string> Screen(const RunResult& result) {
  return e2e::ScreenLines(e2e::MaskTimes(e2e::AfterHelp(result.out)));
}

// The report of a device whose Controller and App records are given as
// their eight bytes in the text form and its fields.
std::vector<std::string> VersionReport(const std::vector<std::vector<std::string>>& records) {
  std::vector<std::string> lines = {
      std::string(">> >>: Query connected device: \"") + e2e::kDongleName + "\"",
      ">> Read the firmware version of the device", ">> Device information: 1K 520x Mouse"};
  const char* kinds[] = {"Controller", "App"};
  for (size_t i = 0; i < records.size(); ++i) {
    lines.push_back(std::string(">> Read ") + kinds[i] + " Firmware version information");
    lines.push_back(">> : Version: " + records[i][0]);
    lines.push_back(">> : Major: " + records[i][1]);
    lines.push_back(">> : Minor: " + records[i][2]);
    lines.push_back(">> : Revision: " + records[i][3]);
    lines.push_back(">> : Version Build Num: " + records[i][4]);
  }
  lines.push_back(">> ");  // the prompt after the report
  return lines;
}

Json Mouse(const std::string& controller, const std::string& app) {
  return e2e::Dongle(
      {{"typeCode", "0x00"}, {"controllerVersion", controller}, {"appVersion", app}});
}

TEST(Prompt, CvReportsVersionsAndListSendsNothing) {
  e2e::Workspace workspace;
  RunOptions cv;
  // The keyboard comes first on the bus: cv tries it, gets no answer and
  // reads the dongle.
  cv.scenario =
      e2e::Scenario({e2e::OtherKeyboard(), Mouse("01-02-0003-00000004", "0A-00-0110-12345678")});
  cv.input = "cv\nexit\n";
  RunOptions list;
  Json keyboard = e2e::OtherKeyboard();
  Json dongle = e2e::Dongle();
  list.scenario = e2e::Scenario({keyboard, dongle});
  list.input = "list\n";  // and then the end of the input

  std::vector<RunResult> results = e2e::RunAll(workspace, {cv, list});
  const RunResult& report = results[0];
  EXPECT_FALSE(report.timedOut) << report.Describe();
  EXPECT_EQ(report.exitStatus, 0) << report.Describe();
  EXPECT_EQ(report.err, "");
  EXPECT_EQ(Screen(report),
            VersionReport({{"01-02-0003-00000004", "0x01", "0x02", "0x0003", "0x00000004"},
                           {"0A-00-0110-12345678", "0x0A", "0x00", "0x0110", "0x12345678"}}));
  EXPECT_EQ(e2e::CommandTrace(report.Device("keyboard")), "H");
  EXPECT_EQ(e2e::CommandTrace(report.Device("dongle")), "H N Q0 Q1");

  const RunResult& listing = results[1];
  EXPECT_FALSE(listing.timedOut) << listing.Describe();
  EXPECT_EQ(listing.exitStatus, 0) << listing.Describe();
  EXPECT_EQ(listing.err, "");
  std::string shown = e2e::AfterHelp(listing.out);
  for (const Json& device : {keyboard, dongle}) {
    std::string name = device == keyboard ? kKeyboardName : e2e::kDongleName;
    size_t at = shown.find("\"" + name + "\"");
    ASSERT_NE(at, std::string::npos) << shown;
    size_t end = shown.find('\n', at);
    EXPECT_NE(shown.substr(at, end - at).find(device["path"].get<std::string>()), std::string::npos)
        << shown;
  }
  for (const char* name : {"keyboard", "dongle"}) {
    EXPECT_EQ(listing.Device(name).value("requests", Json(nullptr)), Json::array()) << name;
  }
}

TEST(Prompt, CvShowsTheVersionAnEarlierRunFlashed) {
  e2e::Workspace workspace;
  e2e::Firmware firmware = e2e::WriteOnePart(workspace, "one.bin");
  RunOptions update;
  update.scenario =
      e2e::Scenario({e2e::OtherKeyboard(), Mouse(e2e::kInitialVersion, e2e::kInitialVersion)});
  update.stateFile = workspace.Path("state.json");
  update.args = {"248a", "8266", "-s", "4", "-d", firmware.path, "-c", "0"};
  RunResult first = e2e::Run(workspace, update);
  EXPECT_EQ(first.exitStatus, 0) << first.Describe();

  RunOptions cv = update;
  cv.args.clear();
  cv.input = "cv\n";
  RunResult second = e2e::Run(workspace, cv);
  EXPECT_FALSE(second.timedOut) << second.Describe();
  EXPECT_EQ(second.exitStatus, 0) << second.Describe();
  EXPECT_EQ(second.err, "");
  // The image's version 03-04-0506-0708090A is now the Controller's.
  EXPECT_EQ(Screen(second),
            VersionReport({{e2e::kOnePartVersion, "0x03", "0x04", "0x0506", "0x0708090A"},
                           {e2e::kInitialVersion, "0x01", "0x00", "0x0000", "0x00000001"}}));
  EXPECT_EQ(second.Device("dongle").value("transfers", Json(nullptr)), Json::array());
}

// hidapi that cannot start (hid_init fails, as on a cfgmgr32.dll without a
// function hidapi looks up): list and cv find nothing and send nothing, and
// standard error says once, in the user's language, why.
TEST(Prompt, ListAndCvSayWhyHidapiDidNotStart) {
  e2e::Workspace workspace;
  const char kReason[] = "resolve DLL functions: (0x0000007F) Procedure not found.";
  std::vector<RunOptions> runs(2);
  for (RunOptions& run : runs) {
    run.scenario = e2e::Scenario({e2e::Dongle()});
    run.scenario["hidInitError"] = kReason;
    run.input = "list\ncv\nexit\n";
  }
  runs[1].lang = "zh_CN.UTF-8";
  std::vector<RunResult> results = e2e::RunAll(workspace, runs);
  const std::string kWhy[] = {
      "quorvel-dfu: HID access did not start, so no device can be listed or opened: ",
      "quorvel-dfu\xEF\xBC\x9AHID \xE8\xAE\xBF\xE9\x97\xAE\xE6\x9C\xAA\xE8\x83\xBD\xE5\x90\xAF"
      "\xE5\x8A\xA8\xEF\xBC\x8C\xE6\x97\xA0\xE6\xB3\x95\xE5\x88\x97\xE5\x87\xBA\xE6\x88\x96"
      "\xE6\x89\x93\xE5\xBC\x80\xE4\xBB\xBB\xE4\xBD\x95\xE8\xAE\xBE\xE5\xA4\x87\xEF\xBC\x9A"};
  const std::string kNone[] = {
      ">> >> No HID interface found",
      ">> >> \xE6\x9C\xAA\xE6\x89\xBE\xE5\x88\xB0 HID \xE6\x8E\xA5\xE5\x8F\xA3"};
  for (size_t i = 0; i < results.size(); ++i) {
    const RunResult& result = results[i];
    EXPECT_FALSE(result.timedOut) << result.Describe();
    EXPECT_EQ(result.exitStatus, 0) << result.Describe();
    EXPECT_EQ(result.err, kWhy[i] + kReason + "\n");
    EXPECT_EQ(Screen(result), std::vector<std::string>({kNone[i], ">> >> "})) << result.out;
    EXPECT_EQ(result.Device("dongle").value("opens", Json(nullptr)), Json::array());
    EXPECT_EQ(result.Device("dongle").value("requests", Json(nullptr)), Json::array());
  }
}

}  // namespace
