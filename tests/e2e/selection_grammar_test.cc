// The command-line grammar on a shared bus that holds a whole line of
// identical dongles and their neighbours: a malformed option or a device ID
// of 0 refuses the command before any device is opened, and list and cv on
// the command line read what they name and nothing else, which the bus's
// record of every open and request proves.
#include <gtest/gtest.h>

#include "firmware_builder.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;
using Names = std::set<std::string>;
using Args = std::vector<std::string>;

// Runs the arguments alone on a fresh line; the bus's record in *record.
e2e::RunResult RunOnLine(const Args& args, Json* record) {
  e2e::Workspace workspace;
  const std::string image = workspace.Write("fw.bin", fwbuild::BuildOnePartFile({}));
  e2e::SharedBus bus(workspace, e2e::LineOfDongles());
  EXPECT_TRUE(bus.started());
  e2e::RunOptions run;
  run.bus = bus.socket();
  for (const std::string& arg : args)
    run.args.push_back(arg == "IMAGE" ? image : arg);
  e2e::RunResult result = e2e::Run(workspace, run);
  *record = bus.Stop();
  return result;
}

// Each of these once flashed a dongle nobody named, or the keyboard, or
// another vendor's device, and reported success.
TEST(SelectionGrammar, MalformedOptionsAndZeroIdsTouchNothing) {
  struct Row {
    Args args;
    std::string reason;
  } rows[] = {
      {{"248a", "8266", "-d", "IMAGE", "--port=1-3.3", "-c", "0", "--json"},
       "two arguments: --port=1-3.3 (write: --port 1-3.3)"},
      {{"248a", "8266", "-d", "IMAGE", "-c0", "--port", "1-3.3"},
       "two arguments: -c0 (write: -c 0)"},
      {{"0", "0", "-d", "IMAGE", "-c", "0"}, "would match any device: 0"},
      {{"0", "8266", "-d", "IMAGE", "-c", "0"}, "would match any device: 0"},
      {{"0x", "8266", "-d", "IMAGE", "-c", "0"}, "would match any device: 0x"},
      {{"248a", "8266", "-d", "IMAGE", "--serial", "QV24A01X", "-x", "1"}, "takes it): -x"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1] + " " + row.reason);
    Json record;
    e2e::RunResult result = RunOnLine(row.args, &record);
    // Refused: the prompt that starts meets the end of its input.
    EXPECT_EQ(result.exitStatus, 2) << result.Describe();
    EXPECT_NE(result.err.find(row.reason), std::string::npos) << result.err;
    EXPECT_EQ(e2e::TouchedDevices(record), Names{}) << record.dump(1);
  }
}

TEST(SelectionGrammar, CvReadsOnlyThePinnedDongle) {
  struct Row {
    Args pin;
    int dongle;
  } rows[] = {{{"--port", "1-3.2"}, 2}, {{"--serial", "qv24a03x"}, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pin[1]);
    Args args = {"cv", "248a", "8266"};
    args.insert(args.end(), row.pin.begin(), row.pin.end());
    Json record;
    e2e::RunResult result = RunOnLine(args, &record);
    EXPECT_EQ(result.exitStatus, 0) << result.Describe();
    EXPECT_NE(result.out.find(">> Read the firmware version of the device\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find(">> : Version: "), std::string::npos) << result.out;
    EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(row.dongle)})
        << record.dump(1);
    EXPECT_EQ(e2e::CommandTrace(e2e::DeviceRecord(record, e2e::LineDongleName(row.dongle))),
              "H N Q0 Q1");
  }
}

TEST(SelectionGrammar, CvJsonNamesTheDeviceItRead) {
  Json record;
  e2e::RunResult result =
      RunOnLine({"cv", "248a", "8266", "--json", "--port", "1-3.2", "-n", "1"}, &record);
  EXPECT_EQ(result.exitStatus, 0) << result.Describe();
  ASSERT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
  const Json line = Json::parse(result.out);
  EXPECT_EQ(line["command"], "cv");
  EXPECT_EQ(line["result"], "read") << line.dump();
  EXPECT_EQ(line["device"]["vid"], "248a");
  EXPECT_EQ(line["device"]["pid"], "8266");
  EXPECT_EQ(line["device"]["port"], "1-3.2");
  EXPECT_EQ(line["device"]["serial"], "QV24A02X");
  EXPECT_EQ(line["device"]["interface"], 1);
  EXPECT_TRUE(line["name"].is_string()) << line.dump();
  EXPECT_TRUE(line["versions"]["controller"].is_string()) << line.dump();
  EXPECT_TRUE(line["versions"]["app"].is_string()) << line.dump();
  EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(2)}) << record.dump(1);
}

// A pin that matches nothing opens nothing, and a cv that takes an option
// it cannot use is refused without the prompt.
TEST(SelectionGrammar, CvWithoutItsDeviceTouchesNothing) {
  struct Row {
    Args args;
    int status;
    std::string err;
  } rows[] = {
      {{"cv", "248a", "8266", "--port", "1-3.9", "--json"}, 1, "no such device answered"},
      // The dongles' protocol interface is 1.
      {{"cv", "248a", "8266", "--port", "1-3.2", "-n", "0", "--json"}, 1, "-n 0 --port 1-3.2"},
      {{"cv", "0", "8266"}, 2, "would match any device: 0"},
      {{"cv", "248a", "8266", "-d", "IMAGE"}, 2, "not: -d"},
      {{"cv", "248a", "8266", "--port=1-3.2"}, 2, "(write: --port 1-3.2)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.err);
    Json record;
    e2e::RunResult result = RunOnLine(row.args, &record);
    EXPECT_EQ(result.exitStatus, row.status) << result.Describe();
    EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
    EXPECT_EQ(e2e::TouchedDevices(record), Names{}) << record.dump(1);
    if (row.status == 1) {
      EXPECT_EQ(Json::parse(result.out)["result"], "notFound") << result.out;
    } else {
      EXPECT_EQ(result.out, "");
    }
  }
}

TEST(SelectionGrammar, ListShowsTheLineAndOpensNothing) {
  Json record;
  e2e::RunResult result = RunOnLine({"list"}, &record);
  EXPECT_EQ(result.exitStatus, 0) << result.Describe();
  EXPECT_EQ(result.out.rfind(">> HID interfaces on the bus:\n", 0), 0u) << result.out;
  // The heading and one line for each of the seven devices' interfaces.
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 8) << result.out;
  for (int k = 1; k <= e2e::kLineDongles; ++k)
    EXPECT_NE(result.out.find("port: " + e2e::LineDonglePort(k)), std::string::npos) << k;
  EXPECT_EQ(e2e::TouchedDevices(record), Names{}) << record.dump(1);

  result = RunOnLine({"list", "248a", "--json"}, &record);
  EXPECT_EQ(result.exitStatus, 0) << result.Describe();
  ASSERT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
  const Json line = Json::parse(result.out);
  EXPECT_EQ(line["command"], "list");
  std::set<std::string> ports;
  for (const Json& entry : line["interfaces"]) {
    EXPECT_EQ(entry["vid"], "248a") << entry.dump();
    EXPECT_TRUE(entry["path"].is_string()) << entry.dump();
    ports.insert(entry["port"].get<std::string>());
  }
  EXPECT_EQ(ports, (std::set<std::string>{"1-3.1", "1-3.2", "1-3.3", "1-3.4", "1-4"}));
  EXPECT_EQ(e2e::TouchedDevices(record), Names{}) << record.dump(1);

  // Nothing of that vendor and product: exit 1, an empty list.
  result = RunOnLine({"list", "1234", "5678", "--json"}, &record);
  EXPECT_EQ(result.exitStatus, 1) << result.Describe();
  EXPECT_EQ(Json::parse(result.out)["interfaces"], Json::array()) << result.out;
}

}  // namespace
