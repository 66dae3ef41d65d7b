// Injected faults: lost, late or wrong replies and acknowledgements, stray
// input, failing writes and a device that drops off the bus, as a scenario
// lists them. Each fault fires once, on its occurrence, and is spent
// afterwards.
#ifndef QUORVEL_EMULATOR_MODEL_FAULTS_H_
#define QUORVEL_EMULATOR_MODEL_FAULTS_H_

#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "model/bytes.h"

namespace emu {
namespace internal {

struct Ctx;
struct DeviceState;

enum class FaultAction {
  kNoReply,
  kDelay,
  kStatus,
  kGarbage,
  kWrongCommand,
  kWrongLead,
  kWrongSelector,
  kStray,
  kAckMissing,
  kAckWrong,
  kAckDelay,
  kVanish,
  kVanishAtMs,
  kWriteFails,
  kReplace,
};

struct Fault {
  FaultAction action = FaultAction::kNoReply;
  int command = -1;  // command faults: the request's command byte
  int stage = 1;     // 1 first reply, 2 completion
  int block = -1;    // acknowledgement faults: block index
  int occurrence = 1;
  int64_t delayUs = 0;
  int value = 0;
  Bytes report;                   // stray report, or the reply that replaces the real one
  int64_t afterDataBytes = 0;     // vanish
  int afterWrites = 0;            // writeFails
  std::optional<int64_t> awayUs;  // vanish: comes back after this long
  bool spent = false;
};

// Appends the scenario's "faults" list (null: none) to *out; false, with the
// message in c, on a malformed fault.
bool ParseFaults(const nlohmann::json& j, std::vector<Fault>* out, Ctx& c);

// The unspent faults on this reply of the command (stage 1 the first reply,
// 2 the completion) at its occurrence; they are spent by this call.
std::vector<Fault*> CommandFaults(DeviceState& d, int command, int stage, int occurrence);
// The same for the acknowledgement of a block.
std::vector<Fault*> AckFaults(DeviceState& d, int block, int occurrence);
// True when the device's write count has passed a write fault's, which is
// spent then.
bool WriteFails(DeviceState& d);
// Schedules the departure of a "vanish" fault once the device has received
// its number of data bytes.
void CheckDataVanish(DeviceState& d, int64_t atUs);
// Changes *reply as the fault says (status, wrong bytes, garbage,
// replacement); other faults leave it alone.
void ShapeReply(DeviceState& d, const Fault& f, uint8_t command, Bytes* reply);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_FAULTS_H_
