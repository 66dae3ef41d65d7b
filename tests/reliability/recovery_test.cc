// A failed update that left the chip in its forced upgrade mode is not the
// end: the control command takes it out again. Checked for each way the
// campaign found of getting there.
#include "reliability/campaign_fixture.h"

namespace {

using campaign::Variant;

struct Stuck {
  int variant;
  const char* how;
  nlohmann::json faults;
  nlohmann::json changes;
  const char* failedStep;  // what --json names as the step that failed
};

std::vector<Stuck> StuckCases() {
  return {
      {11,
       "the reply to entering the forced mode is lost",
       {{{"command", "0x06"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Enter the forced upgrade mode"},
      {11,
       "a late reply is read by the recovery restart",
       {{{"command", "0x20"}, {"action", "delay"}, {"ms", 300}}},
       nlohmann::json::object(),
       "The firmware upgrade mode is displayed"},
      {11,
       "the version wait fails",
       {{{"command", "0x00"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Wait for the reboot verification to update the version information"},
      {11,
       "the restart's reply is lost",
       {{{"command", "0x04"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Restart the device"},
      {6,
       "a write fails during the download",
       {{{"action", "writeFails"}, {"afterWrites", 100}}},
       nlohmann::json::object(),
       "Download firmware program"},
      {8,
       "platform 3 stops after a failed step",
       {{{"command", "0x01"}, {"action", "noReply"}}},
       nlohmann::json::object(),
       "Confirm the firmware upgrade information"},
      {10,
       "platform 3 without a forced state stops after a failed step",
       {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
       nlohmann::json::object(),
       "Download complete, verify the result"},
  };
}

class Recovery : public CampaignTest {};

TEST_F(Recovery, ControlCommandTakesTheChipOutOfTheForcedMode) {
  for (const Stuck& stuck : StuckCases()) {
    Variant variant = campaign::Variants().at(static_cast<size_t>(stuck.variant));
    nlohmann::json device = variant.device;
    device["faults"] = stuck.faults;
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {device}}}, &error)) << error;
    harness::CommandRun update;
    update.args = variant.args;
    harness::CommandOutcome failed = harness::RunCommand(update);
    // A restart under way completes before the user types the next command.
    g_virtual.now += 5000;
    std::string context = variant.label + ": " + stuck.how + "\n" + failed.out;
    ASSERT_TRUE(failed.executed && !failed.result) << context;
    ASSERT_TRUE(emu::Record()["devices"]["dongle"]["final"]["forcedUpgradeMode"].get<bool>())
        << context;
    harness::CommandRun control;
    control.args = {"248a", "8266", "-f", "1"};
    control.prompt = false;
    harness::CommandOutcome fixed = harness::RunCommand(control);
    EXPECT_TRUE(fixed.result) << context << fixed.out;
    EXPECT_NE(fixed.out.find(">> control success! ("), std::string::npos) << fixed.out;
    g_virtual.now += 5000;
    const nlohmann::json& after = emu::Record()["devices"]["dongle"];
    EXPECT_FALSE(after["final"]["forcedUpgradeMode"].get<bool>()) << context;
    EXPECT_EQ(e2e::CommandTrace(after).substr(e2e::CommandTrace(after).size() - 5), " H F-")
        << context;
  }
}

// The same failures with --json: nothing but one line, which names the step
// that failed first (not the tidying up after it) and what the device took.
TEST_F(Recovery, JsonLineNamesTheStepThatFailed) {
  for (const Stuck& stuck : StuckCases()) {
    Variant variant = campaign::Variants().at(static_cast<size_t>(stuck.variant));
    nlohmann::json device = variant.device;
    device["faults"] = stuck.faults;
    // --json first reads both versions the device has: the version wait's
    // query is then the third one.
    for (nlohmann::json& fault : device["faults"]) {
      if (fault.value("command", "") == "0x00")
        fault["occurrence"] = 3;
    }
    std::string error;
    emu::Reset();
    ASSERT_TRUE(emu::LoadScenario({{"devices", {device}}}, &error)) << error;
    harness::CommandRun update;
    update.args = variant.args;
    update.args.push_back("--json");
    harness::CommandOutcome failed = harness::RunCommand(update);
    std::string context = variant.label + ": " + stuck.how + "\n" + failed.out;
    ASSERT_TRUE(failed.executed && !failed.result) << context;
    ASSERT_EQ(failed.out.find('\n'), failed.out.size() - 1) << context;
    nlohmann::json line = nlohmann::json::parse(failed.out, nullptr, false);
    ASSERT_TRUE(line.is_object()) << context;
    EXPECT_EQ(line["result"], "failure") << context;
    EXPECT_EQ(line["failedStep"], stuck.failedStep) << context;
    EXPECT_EQ(line["device"]["vid"], "248a") << context;
    int64_t received = 0;
    for (const nlohmann::json& t : emu::Record()["devices"]["dongle"]["transfers"])
      received += t["receivedLength"].get<int64_t>();
    EXPECT_EQ(line["bytesSent"], received) << context;
    g_virtual.now += 5000;
  }
}

}  // namespace
