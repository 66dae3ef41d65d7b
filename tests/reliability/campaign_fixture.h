// The fixture every campaign test shares: the virtual platform with the
// guarded clock, the emulator bound to it, one variant per test parameter.
#ifndef QUORVEL_TESTS_RELIABILITY_CAMPAIGN_FIXTURE_H_
#define QUORVEL_TESTS_RELIABILITY_CAMPAIGN_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "emulator.h"
#include "support/e2e_runner.h"
#include "support/fault_campaign.h"
#include "support/virtual_platform.h"

class CampaignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_ = std::make_unique<ScopedVirtualPlatform>();
    harness::InstallGuardedClock();
    emu::Reset();
  }
  void TearDown() override {
    harness::ResetProgramState();
    emu::Reset();
    emu::UseRealClock();
    platform_.reset();
  }

  static campaign::FaultCase NoFault() {
    campaign::FaultCase none;
    none.faultClass = "no fault";
    none.label = "-";
    none.expect = campaign::Expect::kSuccess;
    return none;
  }

  // A run without faults, which must succeed with the variant's requests; the
  // steps of its sequence are the places the faults strike.
  campaign::CaseRun Baseline(const campaign::Variant& variant) {
    campaign::CaseRun run = campaign::RunCase(variant, NoFault(), true);
    EXPECT_TRUE(run.outcome.result) << run.context;
    EXPECT_EQ(e2e::CommandTrace(run.device), variant.trace) << run.context;
    return run;
  }

 private:
  std::unique_ptr<ScopedVirtualPlatform> platform_;
};

class VariantCampaignTest : public CampaignTest, public ::testing::WithParamInterface<int> {
 protected:
  campaign::Variant TheVariant() {
    return campaign::Variants().at(static_cast<size_t>(GetParam()));
  }
};

inline std::string VariantTestName(const ::testing::TestParamInfo<int>& info) {
  return campaign::VariantName(info.param);
}

#define INSTANTIATE_FOR_EVERY_VARIANT(suite)                                              \
  INSTANTIATE_TEST_SUITE_P(Campaign, suite, ::testing::Range(0, campaign::kVariantCount), \
                           VariantTestName)

#endif  // QUORVEL_TESTS_RELIABILITY_CAMPAIGN_FIXTURE_H_
