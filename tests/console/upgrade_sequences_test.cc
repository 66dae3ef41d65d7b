// The upgrade sequence of every chip platform, one row per branch: the
// commands the device receives in order (data frames left out), and the
// sequence's result.
#include "console/upgrade_sequences.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/command_execution.h"
#include "console/dfu_settings.h"
#include "image/image_store.h"
#include "support/dfu_fixture.h"

namespace {

struct SequenceRow {
  const char* label;
  uint8_t platform;
  uint8_t check;
  nlohmann::json device;  // scenario keys replaced in the default device
  bool (*run)(const Command&, RunRecord*);
  std::vector<std::string> commands;
  bool result;
};

bool RunPlatform1OnePart(const Command& command, RunRecord* record) {
  return RunUpgrade(command, ImagePart::kWhole, record);
}

// The command byte, with its parameter for the commands that take one.
std::string CommandOf(const std::string& hex) {
  const std::string command = hex.substr(2, 2);
  for (const char* withParameter : {"00", "04", "06", "07", "20"}) {
    if (command == withParameter)
      return hex.substr(2, 4);
  }
  return command;
}

class UpgradeSequencesTest : public DfuTest {
 protected:
  std::vector<std::string> Commands() {
    std::vector<std::string> commands;
    for (const std::string& hex : Requests()) {
      if (hex.compare(0, 4, "0A10") != 0)
        commands.push_back(CommandOf(hex));
    }
    return commands;
  }
};

const nlohmann::json kAsGiven = nlohmann::json::object();
const nlohmann::json kStateless = {{"forcedState", nullptr}, {"forcedEntryRestarts", true}};
const nlohmann::json kUpgradeModeRefused = {
    {"faults", {{{"command", "0x20"}, {"action", "status"}, {"value", 1}}}}};

TEST_F(UpgradeSequencesTest, EachPlatformSendsItsOrderOfCommands) {
  const std::vector<SequenceRow> rows = {
      {"platform 0, version checked",
       kTq3410,
       1,
       kAsGiven,
       RunPlatform0Upgrade,
       {"2000", "01", "02", "03", "0400", "0000"},
       true},
      {"platform 0, no check: no wait",
       kTq3410,
       0,
       kAsGiven,
       RunPlatform0Upgrade,
       {"2000", "01", "02", "03", "0400"},
       true},
      {"platform 1, one part",
       kTq520xHskV102,
       1,
       kAsGiven,
       RunPlatform1OnePart,
       {"2000", "01", "02", "03", "0400", "0000"},
       true},
      {"platform 2, one part: a wait even without check",
       kTq520xHskV110,
       0,
       kAsGiven,
       RunPlatform2Upgrade,
       {"2000", "01", "02", "03", "0400", "55"},
       true},
      {"platform 3, state 0: restart",
       kTq52xxMsk,
       1,
       {{"forcedState", 0}},
       RunPlatform3Upgrade,
       {"0600", "2000", "01", "02", "03", "0400"},
       true},
      {"platform 3, state 1: leave only",
       kTq52xxMsk,
       1,
       {{"forcedState", 1}},
       RunPlatform3Upgrade,
       {"0600", "2000", "01", "02", "03", "0601"},
       true},
      {"platform 3, state 2: leave, then restart",
       kTq52xxMsk,
       1,
       {{"forcedState", 2}},
       RunPlatform3Upgrade,
       {"0600", "2000", "01", "02", "03", "0601", "0400"},
       true},
      {"platform 3, no state: await, restart, await, leave",
       kTq52xxMsk,
       1,
       kStateless,
       RunPlatform3Upgrade,
       {"0600", "55", "2000", "01", "02", "03", "0400", "0000", "0601"},
       true},
      {"platform 4, program only",
       kTq520xHskV120,
       1,
       kAsGiven,
       RunPlatform4Upgrade,
       {"0600", "2000", "01", "02", "03", "0400", "0000", "0601"},
       true},
      {"platform 4, failed chain: restart, await, leave",
       kTq520xHskV120,
       1,
       kUpgradeModeRefused,
       RunPlatform4Upgrade,
       {"0600", "2000", "0400", "55", "0601"},
       false},
      {"platform 0, failed chain: nothing after it",
       kTq3410,
       1,
       kUpgradeModeRefused,
       RunPlatform0Upgrade,
       {"2000"},
       false},
  };
  for (const SequenceRow& row : rows) {
    SCOPED_TRACE(row.label);
    TearDown();
    SetUp();
    LoadDevice(row.device);
    UseOnePartImage(4096, "0203000005000000");
    DfuSettings.chip_p = row.platform;
    DfuSettings.check = row.check;
    DfuSettings.has_pg = true;
    Open();
    EXPECT_EQ(row.run(Current(), &record), row.result);
    EXPECT_EQ(Commands(), row.commands);
  }
}

// The result line of --json is built from what the procedures record: the
// bytes the device took, the interface the wait after the restart accepted
// and the versions it reported there.
TEST_F(UpgradeSequencesTest, RunUpdateFillsTheRunRecord) {
  LoadDevice();
  UseOnePartImage(4096, "0203000005000000");
  DfuSettings.chip_p = kTq520xHskV102;
  DfuSettings.check = 1;
  DfuSettings.has_pg = true;
  Open();
  ASSERT_TRUE(RunUpdate(Current(), &record));
  EXPECT_EQ(record.bytesSent, 4096);
  EXPECT_EQ(record.connected.path, kPath);
  EXPECT_EQ(record.versionsRead.controller, std::optional<std::string>("02-03-0000-00000005"));
  // The Controller's version matched: the App's was not asked for.
  EXPECT_FALSE(record.versionsRead.app.has_value());
}

TEST_F(UpgradeSequencesTest, FailedDownloadRecordsTheBytesTakenAndNoReturn) {
  // Blocks of 256 bytes: the third one's acknowledgement is wrong.
  LoadDevice({{"faults", {{{"block", 2}, {"action", "ackWrong"}}}}});
  UseOnePartImage(4096, "0203000005000000");
  DfuSettings.chip_p = kTq520xHskV102;
  DfuSettings.check = 1;
  DfuSettings.has_pg = true;
  Open();
  EXPECT_FALSE(RunUpdate(Current(), &record));
  // Every byte of every frame written counts: the 13th frame of 62 bytes is
  // the first past the third block's end, and its acknowledgement fails.
  EXPECT_EQ(record.bytesSent, 13 * 62);
  EXPECT_TRUE(record.connected.path.empty());
  EXPECT_FALSE(record.versionsRead.controller.has_value());
}

}  // namespace
