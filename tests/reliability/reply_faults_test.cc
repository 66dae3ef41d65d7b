// Every reply of every platform's sequence withheld, late, with a wrong
// status, replaced by garbage, or preceded by a stray report.
#include "reliability/campaign_fixture.h"

namespace {

using campaign::CaseRun;
using campaign::Expect;
using campaign::FaultCase;
using campaign::Step;
using campaign::Variant;

enum class ReplyFault { kNoReply, kLate, kStatus, kGarbage, kStray };

const char* ClassName(ReplyFault kind) {
  switch (kind) {
    case ReplyFault::kNoReply:
      return "no reply";
    case ReplyFault::kLate:
      return "late reply";
    case ReplyFault::kStatus:
      return "wrong status";
    case ReplyFault::kGarbage:
      return "garbage reply";
    case ReplyFault::kStray:
      return "stray report";
  }
  return "?";
}

// A status byte of 1 fails the commands whose reply carries a status (the
// firmware information, entering the upgrade mode, the completions of start
// and verify) or echoes a parameter that differs from 1 (the Controller
// version query); every other reply leaves byte 2 unexamined.
bool StatusOneFails(const Step& step) {
  switch (step.command) {
    case 0x01:
    case 0x20:
      return true;
    case 0x02:
    case 0x03:
      return step.stage == 2;
    case 0x00:
      return step.label.rfind("Q0", 0) == 0;
    default:
      return false;
  }
}

nlohmann::json Target(const Step& step) {
  char command[8];
  snprintf(command, sizeof command, "0x%02X", step.command);
  return {{"command", command}, {"stage", step.stage}, {"occurrence", step.occurrence}};
}

FaultCase MakeFault(const Step& step, ReplyFault kind) {
  FaultCase fault;
  fault.faultClass = ClassName(kind);
  fault.label = step.label;
  nlohmann::json f = Target(step);
  switch (kind) {
    case ReplyFault::kNoReply:
      f["action"] = "noReply";
      break;
    case ReplyFault::kLate:
      // Just after its window has closed: it is then read as the reply to
      // whatever the program sends next.
      f["action"] = "delay";
      f["ms"] = campaign::WindowMs(step) + 100;
      break;
    case ReplyFault::kStatus:
      f["action"] = "status";
      f["value"] = 1;
      break;
    case ReplyFault::kGarbage:
      f["action"] = "garbage";
      break;
    case ReplyFault::kStray:
      f["action"] = "stray";
      f["hex"] = "0A9900";
      break;
  }
  fault.faults.push_back(f);
  fault.expect =
      kind == ReplyFault::kStatus && !StatusOneFails(step) ? Expect::kSuccess : Expect::kFailure;
  // A device that fails the handshake of the first connection is not asked
  // again while it stays on the bus (the program waits for it without a
  // time-out): the user unplugs and replugs it, and the update then runs.
  if (step.command == 0x55 && step.occurrence == 1 && fault.expect == Expect::kFailure) {
    fault.faults.push_back({{"action", "vanishAtMs"}, {"ms", 2000}, {"awayMs", 500}});
    fault.expect = Expect::kSuccess;
    fault.label += " (device replugged)";
  }
  return fault;
}

class ReplyFaults : public VariantCampaignTest {};

TEST_P(ReplyFaults, AtEveryStepTheProgramEndsReportsAndKeepsItsPromises) {
  Variant variant = TheVariant();
  CaseRun baseline = Baseline(variant);
  std::vector<Step> steps = campaign::Steps(baseline.device);
  ASSERT_GE(steps.size(), 6u) << baseline.context;
  for (const Step& step : steps) {
    for (ReplyFault kind : {ReplyFault::kNoReply, ReplyFault::kLate, ReplyFault::kStatus,
                            ReplyFault::kGarbage, ReplyFault::kStray}) {
      FaultCase fault = MakeFault(step, kind);
      campaign::ExpectClean(campaign::RunCase(variant, fault, true), fault.faultClass);
    }
    // The same from the command line, where only the progress line shows.
    FaultCase fault = MakeFault(step, ReplyFault::kNoReply);
    campaign::ExpectClean(campaign::RunCase(variant, fault, false), fault.faultClass);
  }
}

INSTANTIATE_FOR_EVERY_VARIANT(ReplyFaults);

// The ways a wrong status is read, checked on the exchanges themselves: an
// independent look at the rule the campaign's expectations rest on.
TEST_F(ReplyFaults, WrongStatusFailsOnlyTheRepliesThatCarryOne) {
  Variant variant = campaign::Variants().at(11);  // platform 4, program
  CaseRun baseline = Baseline(variant);
  int failing = 0;
  int harmless = 0;
  for (const Step& step : campaign::Steps(baseline.device)) {
    CaseRun run = campaign::RunCase(variant, MakeFault(step, ReplyFault::kStatus), true);
    (run.outcome.result ? harmless : failing)++;
  }
  // Failing: E, I, S completion, V completion, Q0. Harmless: H, F+, S, V,
  // R, F-.
  EXPECT_EQ(failing, 5);
  EXPECT_EQ(harmless, 6);
}

}  // namespace
