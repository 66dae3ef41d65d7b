// The campaign's variants without faults, and the judge held against
// records that break each promise it checks.
#include "reliability/campaign_fixture.h"

namespace {

using campaign::CaseRun;
using campaign::Variant;
using campaign::Verdict;

// The variants run clean, and the judge held against altered records of a
// clean run: the judge must see through a device that is not in the promised
// state, whatever the program reported.
class BaselineTest : public VariantCampaignTest {
 protected:
  // The clean run the judge tests alter.
  void RunCleanCase() {
    variant_ = campaign::Variants().at(11);  // platform 4, program
    clean_ = campaign::RunCase(variant_, NoFault(), true);
    ASSERT_TRUE(clean_.outcome.result) << clean_.context;
    ASSERT_TRUE(clean_.verdict.wrongState.empty()) << clean_.context;
  }
  Verdict JudgeAgain(const harness::CommandOutcome& outcome, const nlohmann::json& device) {
    return campaign::Judge(variant_, NoFault(), true, outcome, device);
  }
  Variant variant_;
  CaseRun clean_;
};

TEST_F(BaselineTest, EveryVariantHasAName) {
  std::vector<Variant> variants = campaign::Variants();
  ASSERT_EQ(variants.size(), static_cast<size_t>(campaign::kVariantCount));
  EXPECT_STRNE(campaign::VariantName(campaign::kVariantCount - 1), "Unknown");
  EXPECT_STREQ(campaign::VariantName(campaign::kVariantCount), "Unknown");
}

TEST_P(BaselineTest, CleanUpdateSucceedsInBothModesAndLeavesTheDeviceUpdated) {
  Variant variant = TheVariant();
  for (bool prompt : {true, false}) {
    CaseRun run = campaign::RunCase(variant, NoFault(), prompt);
    EXPECT_TRUE(run.outcome.result) << run.context;
    EXPECT_EQ(e2e::CommandTrace(run.device), variant.trace) << run.context;
    EXPECT_EQ(run.device["final"]["controllerVersion"], variant.controllerAfter) << run.context;
    EXPECT_EQ(run.device["final"]["appVersion"], variant.appAfter) << run.context;
    EXPECT_EQ(run.device["protocolErrors"], nlohmann::json::array()) << run.context;
    campaign::ExpectClean(run, "no fault");
  }
}

INSTANTIATE_FOR_EVERY_VARIANT(BaselineTest);

TEST_F(BaselineTest, JudgeSuccessWithTheChipStillInForcedModeIsAWrongState) {
  ASSERT_NO_FATAL_FAILURE(RunCleanCase());
  nlohmann::json device = clean_.device;
  device["final"]["forcedUpgradeMode"] = true;
  EXPECT_EQ(JudgeAgain(clean_.outcome, device).wrongState.size(), 2u);  // success, and F- seen
}

TEST_F(BaselineTest, JudgeSuccessWithTheOldFirmwareIsAWrongState) {
  ASSERT_NO_FATAL_FAILURE(RunCleanCase());
  nlohmann::json device = clean_.device;
  device["final"]["controllerVersion"] = std::string(campaign::kInitialVersion);
  EXPECT_EQ(JudgeAgain(clean_.outcome, device).wrongState.size(), 1u);
}

TEST_F(BaselineTest, JudgeFirmwareTheDeviceDidNotVerifyIsAWrongState) {
  ASSERT_NO_FATAL_FAILURE(RunCleanCase());
  nlohmann::json device = clean_.device;
  device["transfers"][0]["verified"] = false;
  Verdict verdict = JudgeAgain(clean_.outcome, device);
  ASSERT_EQ(verdict.wrongState.size(), 1u);
  EXPECT_NE(verdict.wrongState[0].find("never verified"), std::string::npos);
}

TEST_F(BaselineTest, JudgeForcedModeEnteredButNeverLeftIsAWrongState) {
  ASSERT_NO_FATAL_FAILURE(RunCleanCase());
  harness::CommandOutcome outcome = clean_.outcome;
  size_t leave = outcome.out.find(">> Exit the forced upgrade mode\n");
  ASSERT_NE(leave, std::string::npos);
  outcome.out.erase(leave);
  outcome.out += ">> DFU failed! (1.000s)\n";
  outcome.result = false;
  nlohmann::json device = clean_.device;
  device["final"]["forcedUpgradeMode"] = true;
  Verdict verdict = campaign::Judge(variant_, campaign::FaultCase(), true, outcome, device);
  EXPECT_TRUE(verdict.expectationMet);
  EXPECT_TRUE(verdict.leftInForcedMode);
  ASSERT_EQ(verdict.wrongState.size(), 1u);
  EXPECT_NE(verdict.wrongState[0].find("leaving it was not tried"), std::string::npos);
}

TEST_F(BaselineTest, JudgeRestartAfterAFailedVerificationIsAWrongStateWithoutRecovery) {
  ASSERT_NO_FATAL_FAILURE(RunCleanCase());
  Variant plain = campaign::Variants().at(1);  // platform 1: no recovery restart
  harness::CommandOutcome outcome = clean_.outcome;
  size_t verify = outcome.out.find(">> Download complete, verify the result\n");
  ASSERT_NE(verify, std::string::npos);
  size_t result = outcome.out.find(">> : Successful execution!", verify);
  ASSERT_NE(result, std::string::npos);
  outcome.out.replace(result, 26, ">> : Execution failed!");
  EXPECT_EQ(campaign::Judge(plain, NoFault(), true, outcome, clean_.device).wrongState.size(), 1u);
  // Platform 4 restarts the chip once to take it out of the forced mode.
  EXPECT_TRUE(
      campaign::Judge(variant_, NoFault(), true, outcome, clean_.device).wrongState.empty());
}

TEST_F(BaselineTest, JudgeAResultLineGluedToAProgressLineIsReported) {
  ASSERT_NO_FATAL_FAILURE(RunCleanCase());
  harness::CommandOutcome outcome = clean_.outcome;
  outcome.out = "\rDownload progress: 40%>> DFU success! (1.000s)\n";
  EXPECT_EQ(JudgeAgain(outcome, clean_.device).problems.size(), 1u);
  outcome.out = ">> DFU success! (1.000s)\n";
  EXPECT_TRUE(JudgeAgain(outcome, clean_.device).problems.empty());
  outcome.out = ">> DFU failed! (1.000s)\n";
  EXPECT_EQ(JudgeAgain(outcome, clean_.device).problems.size(), 1u);
}

}  // namespace
