// The device gone while the program waits for it, a second instance of the
// program that finds the device taken, and input the device sent before
// anyone asked.
#include <set>

#include "reliability/campaign_fixture.h"

namespace {

using campaign::CaseRun;
using campaign::Expect;
using campaign::FaultCase;
using campaign::Step;
using campaign::Variant;

// Every probe after the first connection: the handshake or version query of
// a wait, or the single scan before a second part.
std::vector<Step> Probes(const nlohmann::json& device) {
  std::vector<Step> probes;
  for (const Step& step : campaign::Steps(device)) {
    bool probe = step.command == 0x00 || step.command == 0x55;
    bool firstOfItsWait = probes.empty() || step.requestIndex > probes.back().requestIndex + 1;
    if (probe && step.requestIndex > 0 && firstOfItsWait)
      probes.push_back(step);
  }
  return probes;
}

// The device leaves for good just before the wait would find it.
void VanishDuringEveryWait(const Variant& variant, const nlohmann::json& baseFaults,
                           const std::string& what) {
  FaultCase base;
  base.faults = baseFaults;
  CaseRun baseline = campaign::RunCase(variant, base, true);
  std::vector<Step> probes = Probes(baseline.device);
  if (probes.empty()) {
    GTEST_SKIP() << "no wait in this sequence: " << e2e::CommandTrace(baseline.device);
  }
  for (const Step& probe : probes) {
    FaultCase fault;
    fault.faultClass = "vanish during a wait";
    fault.label = what + "before " + probe.label;
    fault.faults = baseFaults;
    // Gone for good, even when it was away for a restart at that moment.
    fault.deviceChanges = {{"vanishAtMs", probe.atMs - 100}};
    CaseRun run = campaign::RunCase(variant, fault, true);
    EXPECT_TRUE(run.verdict.deviceGone) << run.context;
    campaign::ExpectClean(run, fault.faultClass);
  }
}

class WaitFaults : public VariantCampaignTest {};

TEST_P(WaitFaults, DeviceVanishesDuringEveryWait) {
  Variant variant = TheVariant();
  VanishDuringEveryWait(variant, nlohmann::json::array(), "");
  if (variant.forcedAlwaysLeft) {
    // A failed verification sends the chip through the recovery restart and
    // its own wait.
    VanishDuringEveryWait(variant,
                          {{{"command", "0x03"}, {"stage", 2}, {"action", "status"}, {"value", 1}}},
                          "recovery after a failed verification, ");
  }
}

// Another instance holds the device until it restarts it; this one must not
// send it anything before, and then updates it.
TEST_P(WaitFaults, SecondInstanceWaitsUntilTheOtherReleasesTheDevice) {
  Variant variant = TheVariant();
  const int32_t kReleasedAt = 5000;
  g_virtual.locksHeldElsewhere.insert("hidraw1");
  int32_t start = g_virtual.now;
  FaultCase fault;
  fault.faultClass = "second instance";
  fault.label = "device held for 5 s";
  fault.expect = Expect::kSuccess;
  // The other instance restarts the device as it lets it go.
  fault.faults.push_back({{"action", "vanishAtMs"}, {"ms", kReleasedAt - 300}, {"awayMs", 300}});
  fault.onTick = [start](int32_t now) {
    if (now - start >= kReleasedAt)
      g_virtual.locksHeldElsewhere.clear();
  };
  CaseRun run = campaign::RunCase(variant, fault, true);
  ASSERT_FALSE(run.device["requests"].empty()) << run.context;
  EXPECT_GE(run.device["requests"][0]["atMs"].get<double>(), kReleasedAt) << run.context;
  campaign::ExpectClean(run, fault.faultClass);
}

INSTANTIATE_FOR_EVERY_VARIANT(WaitFaults);

// Without a restart by the other instance the device never shows up as new:
// the program keeps waiting and leaves it alone (the user replugs it).
TEST_F(WaitFaults, SecondInstanceKeepsWaitingForADeviceThatDoesNotComeBack) {
  Variant variant = campaign::Variants().at(11);
  g_virtual.locksHeldElsewhere.insert("hidraw1");
  int32_t start = g_virtual.now;
  FaultCase fault;
  fault.faultClass = "second instance";
  fault.onTick = [start](int32_t now) {
    if (now - start >= 5000)
      g_virtual.locksHeldElsewhere.clear();
  };
  CaseRun run = campaign::RunCase(variant, fault, true);
  EXPECT_TRUE(run.outcome.hung) << run.context;
  EXPECT_TRUE(run.device["requests"].empty()) << run.context;
  EXPECT_FALSE(run.device["final"]["forcedUpgradeMode"].get<bool>()) << run.context;
}

// A report the device sent before the program opened it is read as the
// reply to the handshake: the device is not taken, and the program waits
// until it is replugged. One that arrives between a request and its reply
// fails that step.
TEST_P(WaitFaults, UnsolicitedReportsBeforeTheHandshakeAndBeforeAReply) {
  Variant variant = TheVariant();
  CaseRun baseline = Baseline(variant);
  FaultCase early;
  early.faultClass = "stray report";
  early.label = "before the first handshake (device replugged)";
  early.expect = Expect::kSuccess;
  early.deviceChanges = {{"reports", {{{"atMs", 100}, {"hex", "0A2000"}}}}};
  early.faults.push_back({{"action", "vanishAtMs"}, {"ms", 2000}, {"awayMs", 500}});
  CaseRun run = campaign::RunCase(variant, early, true);
  EXPECT_EQ(e2e::CommandTrace(run.device).substr(0, 4), "H H ") << run.context;
  campaign::ExpectClean(run, early.faultClass);
  std::vector<Step> steps = campaign::Steps(baseline.device);
  ASSERT_GT(steps.size(), 2u);
  const Step& second = steps[1];  // the first request after the connection
  FaultCase late;
  late.faultClass = "stray report";
  late.label = "between " + second.label + " and its reply";
  late.deviceChanges = {{"reports", {{{"atMs", second.atMs + 0.5}, {"hex", "0A9900"}}}}};
  campaign::ExpectClean(campaign::RunCase(variant, late, true), late.faultClass);
}

}  // namespace
