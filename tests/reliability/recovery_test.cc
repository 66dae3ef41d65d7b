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
};

std::vector<Stuck> StuckCases() {
  return {
      {11,
       "the reply to entering the forced mode is lost",
       {{{"command", "0x06"}, {"action", "noReply"}}},
       nlohmann::json::object()},
      {11,
       "a late reply is read by the recovery restart",
       {{{"command", "0x20"}, {"action", "delay"}, {"ms", 300}}},
       nlohmann::json::object()},
      {11,
       "the version wait fails",
       {{{"command", "0x00"}, {"action", "noReply"}}},
       nlohmann::json::object()},
      {11,
       "the restart's reply is lost",
       {{{"command", "0x04"}, {"action", "noReply"}}},
       nlohmann::json::object()},
      {6,
       "a write fails during the download",
       {{{"action", "writeFails"}, {"afterWrites", 100}}},
       nlohmann::json::object()},
      {8,
       "platform 3 stops after a failed step",
       {{{"command", "0x01"}, {"action", "noReply"}}},
       nlohmann::json::object()},
      {10,
       "platform 3 without a forced state stops after a failed step",
       {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
       nlohmann::json::object()},
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

}  // namespace
