// The station's log line: the child's record kept member for member, the
// station's members after it, and a child that wrote no record.
#include "output/station_log.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using OrderedJson = nlohmann::ordered_json;

const char kChildLine[] =
    R"({"command":"dfu","result":"success","device":{"vid":"248a","pid":"8266","serial":"QV24A01X","port":"1-3.2","path":"/dev/hidraw4"},"platform":4,"versionsBefore":{"controller":"01-00-0000-00000001","app":"01-00-0000-00000001"},"versionsAfter":{"controller":"01-02-0000-00000105","app":"01-00-0000-00000001"},"bytesSent":4096,"durationMs":5240,"failedStep":null,"reason":null,"deviceState":null,"recovery":null,"passthrough":null})";

StationLogExtras Extras() {
  StationLogExtras extras;
  extras.port = "1-3.2";
  extras.serial = "QV24A01X";
  extras.imageSha256 = std::string(64, 'a');
  extras.imageVersion = "01-02-0000-00000105";
  extras.toolVersion = "1.4.0";
  extras.startTime = "2026-12-09T18:40:02.123+01:00";
  extras.endTime = "2026-12-09T18:40:07.363+01:00";
  return extras;
}

std::vector<std::string> Members(const OrderedJson& object) {
  std::vector<std::string> names;
  for (auto it = object.begin(); it != object.end(); ++it)
    names.push_back(it.key());
  return names;
}

TEST(StationLog, TheChildsRecordStaysAsItCameAndTheStationsMembersFollow) {
  const std::string line = FormatStationLogLine(std::string(kChildLine) + "\n", Extras());
  ASSERT_FALSE(line.empty());
  EXPECT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line";
  const OrderedJson logged = OrderedJson::parse(line);
  const OrderedJson child = OrderedJson::parse(kChildLine);
  std::vector<std::string> expected = Members(child);
  for (const char* name :
       {"port", "serial", "imageSha256", "imageVersion", "toolVersion", "startTime", "endTime"})
    expected.push_back(name);
  EXPECT_EQ(Members(logged), expected);
  for (auto it = child.begin(); it != child.end(); ++it)
    EXPECT_EQ(logged[it.key()], it.value()) << it.key();
  EXPECT_EQ(logged["port"], "1-3.2");
  EXPECT_EQ(logged["serial"], "QV24A01X");
  EXPECT_EQ(logged["imageSha256"], std::string(64, 'a'));
  EXPECT_EQ(logged["imageVersion"], "01-02-0000-00000105");
  EXPECT_EQ(logged["toolVersion"], "1.4.0");
  EXPECT_EQ(logged["startTime"], "2026-12-09T18:40:02.123+01:00");
  EXPECT_EQ(logged["endTime"], "2026-12-09T18:40:07.363+01:00");
}

TEST(StationLog, NoSerialIsNull) {
  StationLogExtras extras = Extras();
  extras.serial.clear();
  const nlohmann::json logged = nlohmann::json::parse(FormatStationLogLine(kChildLine, extras));
  EXPECT_TRUE(logged["serial"].is_null());
}

// A child that crashed, printed something else or only got as far as an
// event line leaves no result record: its output is kept as text.
TEST(StationLog, OutputThatIsNoResultRecordIsKeptAsAFailure) {
  const std::string rows[] = {
      "",
      "Segmentation fault",
      R"({"event":"phase","phase":"downloading","ms":900})",
      "[1,2]",
      std::string("\xff\xfe not UTF-8"),
  };
  for (const std::string& output : rows) {
    const std::string line = FormatStationLogLine(output, Extras());
    const OrderedJson logged = OrderedJson::parse(line, nullptr, false);
    ASSERT_TRUE(logged.is_object()) << line;
    EXPECT_EQ(Members(logged),
              (std::vector<std::string>{"result", "childOutput", "port", "serial", "imageSha256",
                                        "imageVersion", "toolVersion", "startTime", "endTime"}));
    EXPECT_EQ(logged["result"], "failure");
    EXPECT_TRUE(logged["childOutput"].is_string());
    EXPECT_EQ(logged["port"], "1-3.2");
  }
  const nlohmann::json kept = nlohmann::json::parse(FormatStationLogLine("oops", Extras()));
  EXPECT_EQ(kept["childOutput"], "oops");
}

}  // namespace
