// The firmware stream disturbed: acknowledgements lost, wrong or late at the
// first, a middle and the last block of every transfer; the device leaving
// the bus half-way through; a report write that fails at any step.
#include "reliability/campaign_fixture.h"

namespace {

using campaign::CaseRun;
using campaign::Expect;
using campaign::FaultCase;
using campaign::Step;
using campaign::Variant;

struct TransferShape {
  int acks = 0;
  int64_t bytesBefore = 0;  // data bytes the device received in earlier transfers
  int64_t length = 0;
  std::vector<int> earlierAcks;  // acknowledgements of each earlier transfer
};

std::vector<TransferShape> Transfers(const nlohmann::json& device) {
  std::vector<TransferShape> shapes;
  int64_t before = 0;
  std::vector<int> earlier;
  for (const nlohmann::json& t : device["transfers"]) {
    TransferShape shape;
    shape.acks = t.value("acks", 0);
    shape.length = t.value("receivedLength", 0);
    shape.bytesBefore = before;
    shape.earlierAcks = earlier;
    shapes.push_back(shape);
    before += shape.length;
    earlier.push_back(shape.acks);
  }
  return shapes;
}

// Acknowledgement faults name a block index and count its occurrences over
// the whole run: block 0 of a second transfer is block 0's second
// acknowledgement.
int Occurrence(const TransferShape& shape, int block) {
  int occurrence = 1;
  for (int acks : shape.earlierAcks)
    occurrence += acks > block ? 1 : 0;
  return occurrence;
}

FaultCase AckFault(const TransferShape& shape, int transfer, int block, const char* action) {
  FaultCase fault;
  nlohmann::json f = {
      {"block", block}, {"occurrence", Occurrence(shape, block)}, {"action", action}};
  std::string name = action;
  if (name == "ackMissing")
    fault.faultClass = "lost acknowledgement";
  if (name == "ackWrong")
    fault.faultClass = "wrong acknowledgement";
  if (name == "ackDelay") {
    fault.faultClass = "late acknowledgement";
    f["ms"] = 1100;
  }
  fault.label = "transfer " + std::to_string(transfer + 1) + ", block " + std::to_string(block);
  fault.faults.push_back(f);
  return fault;
}

class TransferFaults : public VariantCampaignTest {};

TEST_P(TransferFaults, AcknowledgementsLostWrongOrLateAtFirstMiddleAndLastBlock) {
  Variant variant = TheVariant();
  CaseRun baseline = Baseline(variant);
  std::vector<TransferShape> shapes = Transfers(baseline.device);
  ASSERT_FALSE(shapes.empty()) << baseline.context;
  for (size_t t = 0; t < shapes.size(); ++t) {
    ASSERT_GE(shapes[t].acks, 3) << baseline.context;
    for (int block : {0, shapes[t].acks / 2, shapes[t].acks - 1}) {
      for (const char* action : {"ackMissing", "ackWrong", "ackDelay"}) {
        FaultCase fault = AckFault(shapes[t], static_cast<int>(t), block, action);
        campaign::ExpectClean(campaign::RunCase(variant, fault, true), fault.faultClass);
      }
    }
    FaultCase fault = AckFault(shapes[t], static_cast<int>(t), shapes[t].acks / 2, "ackMissing");
    campaign::ExpectClean(campaign::RunCase(variant, fault, false), fault.faultClass);
  }
}

TEST_P(TransferFaults, DeviceLeavesTheBusHalfWayThroughEveryTransfer) {
  Variant variant = TheVariant();
  CaseRun baseline = Baseline(variant);
  std::vector<TransferShape> shapes = Transfers(baseline.device);
  for (size_t t = 0; t < shapes.size(); ++t) {
    for (bool comesBack : {false, true}) {
      FaultCase fault;
      fault.faultClass = "vanish mid-download";
      fault.label = "transfer " + std::to_string(t + 1) + (comesBack ? ", back after 800 ms" : "");
      nlohmann::json f = {{"action", "vanish"},
                          {"afterDataBytes", shapes[t].bytesBefore + shapes[t].length / 2}};
      if (comesBack)
        f["awayMs"] = 800;
      fault.faults.push_back(f);
      CaseRun run = campaign::RunCase(variant, fault, true);
      EXPECT_EQ(run.verdict.deviceGone, !comesBack) << run.context;
      campaign::ExpectClean(run, fault.faultClass);
    }
  }
}

TEST_P(TransferFaults, AReportWriteFailsAtEveryStep) {
  Variant variant = TheVariant();
  CaseRun baseline = Baseline(variant);
  std::vector<size_t> writes;
  for (const Step& step : campaign::Steps(baseline.device)) {
    if (step.stage == 1)
      writes.push_back(step.requestIndex);
  }
  // And one data frame in the middle of the first transfer.
  const nlohmann::json& requests = baseline.device["requests"];
  std::vector<size_t> frames;
  for (size_t i = 0; i < requests.size(); ++i) {
    if (requests[i].value("hex", "").rfind("0A10", 0) == 0)
      frames.push_back(i);
  }
  ASSERT_FALSE(frames.empty()) << baseline.context;
  writes.push_back(frames[frames.size() / 2]);
  for (size_t index : writes) {
    FaultCase fault;
    fault.faultClass = "write fails";
    fault.label = "write " + std::to_string(index + 1) + " (" +
                  requests[index].value("hex", "").substr(0, 6) + ")";
    // The write whose number is one above the count fails.
    fault.faults.push_back({{"action", "writeFails"}, {"afterWrites", index}});
    if (index == 0) {
      // The first connection does not ask a device twice: it is replugged.
      fault.faults.push_back({{"action", "vanishAtMs"}, {"ms", 2000}, {"awayMs", 500}});
      fault.expect = Expect::kSuccess;
    }
    campaign::ExpectClean(campaign::RunCase(variant, fault, true), fault.faultClass);
  }
}

INSTANTIATE_FOR_EVERY_VARIANT(TransferFaults);

}  // namespace
