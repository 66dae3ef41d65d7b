#include "model/faults.h"

#include <algorithm>
#include <map>
#include <string>

#include "model/commands.h"
#include "model/device_state.h"
#include "model/presence.h"
#include "model/scenario_values.h"

namespace emu {
namespace internal {
namespace {

using nlohmann::json;

// Function-local for the same reason as the scenario keys: the preloaded
// library reads its scenario before other globals are initialised.
const std::map<std::string, FaultAction>& Actions() {
  static const std::map<std::string, FaultAction> actions = {
      {"noReply", FaultAction::kNoReply},
      {"delay", FaultAction::kDelay},
      {"status", FaultAction::kStatus},
      {"garbage", FaultAction::kGarbage},
      {"wrongCommand", FaultAction::kWrongCommand},
      {"wrongLead", FaultAction::kWrongLead},
      {"wrongSelector", FaultAction::kWrongSelector},
      {"stray", FaultAction::kStray},
      {"ackMissing", FaultAction::kAckMissing},
      {"ackWrong", FaultAction::kAckWrong},
      {"ackDelay", FaultAction::kAckDelay},
      {"vanish", FaultAction::kVanish},
      {"vanishAtMs", FaultAction::kVanishAtMs},
      {"writeFails", FaultAction::kWriteFails},
      {"replace", FaultAction::kReplace},
  };
  return actions;
}

// A replacement names either a command or a block; it belongs to the kind of
// reply it names.
bool IsCommandFault(const Fault& f) {
  FaultAction a = f.action;
  if (a == FaultAction::kReplace)
    return f.block < 0;
  return a == FaultAction::kNoReply || a == FaultAction::kDelay || a == FaultAction::kStatus ||
         a == FaultAction::kGarbage || a == FaultAction::kWrongCommand ||
         a == FaultAction::kWrongLead || a == FaultAction::kWrongSelector ||
         a == FaultAction::kStray;
}

bool IsAckFault(const Fault& f) {
  FaultAction a = f.action;
  if (a == FaultAction::kReplace)
    return f.block >= 0;
  return a == FaultAction::kAckMissing || a == FaultAction::kAckWrong ||
         a == FaultAction::kAckDelay;
}

bool Require(const json& j, const char* key, const std::string& action, Ctx& c) {
  if (j.contains(key) && !j[key].is_null())
    return true;
  return c.Fail("fault \"" + action + "\" needs \"" + key + "\"");
}

// "replace" names either a command (then it is a command fault) or a block.
// Returns false on an error, and sets *blockForm when the block form was parsed.
bool ParseReplaceTarget(const json& j, const std::string& name, Fault* f, Ctx& c, bool* blockForm) {
  if (!Require(j, "hex", name, c))
    return false;
  bool block = j.contains("block") && !j["block"].is_null();
  bool command = j.contains("command") && !j["command"].is_null();
  if (block == command)
    return c.Fail("fault \"replace\" needs either \"command\" or \"block\"");
  *blockForm = block;
  if (!block)
    return true;
  if (!GetInt(j, "block", &f->block, c))
    return false;
  return f->block >= 0 || c.Fail("\"block\" counts from 0");
}

bool ParseCommandTarget(const json& j, const std::string& name, Fault* f, Ctx& c) {
  if (!Require(j, "command", name, c) || !GetInt(j, "command", &f->command, c))
    return false;
  // A status fault on a two-stage command means its completion unless told otherwise.
  bool twoStage = f->command == cmd::kStart || f->command == cmd::kVerify;
  f->stage = (f->action == FaultAction::kStatus && twoStage) ? 2 : 1;
  if (!GetInt(j, "stage", &f->stage, c))
    return false;
  if (f->stage != 1 && f->stage != 2)
    return c.Fail("\"stage\" must be 1 or 2");
  if (f->action == FaultAction::kDelay)
    return Require(j, "ms", name, c);
  if (f->action == FaultAction::kStatus)
    return Require(j, "value", name, c);
  if (f->action == FaultAction::kStray)
    return Require(j, "hex", name, c);
  return true;
}

bool ParseFaultTarget(const json& j, const std::string& name, Fault* f, Ctx& c) {
  if (f->action == FaultAction::kReplace) {
    bool blockForm = false;
    if (!ParseReplaceTarget(j, name, f, c, &blockForm))
      return false;
    if (blockForm)
      return true;
  }
  if (IsCommandFault(*f))
    return ParseCommandTarget(j, name, f, c);
  if (IsAckFault(*f)) {
    if (!Require(j, "block", name, c) || !GetInt(j, "block", &f->block, c))
      return false;
    return f->action != FaultAction::kAckDelay || Require(j, "ms", name, c);
  }
  if (f->action == FaultAction::kVanish)
    return Require(j, "afterDataBytes", name, c);
  if (f->action == FaultAction::kVanishAtMs)
    return Require(j, "ms", name, c);
  return Require(j, "afterWrites", name, c);
}

bool ParseFault(const json& j, Fault* f, Ctx& c) {
  if (!CheckKeys(j,
                 {"command", "stage", "block", "occurrence", "action", "ms", "value", "hex",
                  "afterDataBytes", "afterWrites", "awayMs"},
                 c)) {
    return false;
  }
  std::string name;
  if (!GetString(j, "action", &name, c))
    return false;
  auto it = Actions().find(name);
  if (it == Actions().end())
    return c.Fail("unknown fault action \"" + name + "\"");
  f->action = it->second;
  int64_t awayUs = -1;
  if (!ParseFaultTarget(j, name, f, c) || !GetInt(j, "occurrence", &f->occurrence, c) ||
      !GetMs(j, "ms", &f->delayUs, c) || !GetInt(j, "value", &f->value, c) ||
      !GetHex(j, "hex", &f->report, c) || !GetInt64(j, "afterDataBytes", &f->afterDataBytes, c) ||
      !GetInt(j, "afterWrites", &f->afterWrites, c) || !GetMs(j, "awayMs", &awayUs, c)) {
    return false;
  }
  if (f->occurrence < 1)
    return c.Fail("\"occurrence\" counts from 1");
  if (f->report.size() > kReportSize)
    return c.Fail("a stray report has at most 64 bytes");
  if (awayUs >= 0)
    f->awayUs = awayUs;
  return true;
}

}  // namespace

bool ParseFaults(const json& j, std::vector<Fault>* out, Ctx& c) {
  if (j.is_null())
    return true;
  if (!j.is_array())
    return c.Fail("\"faults\" must be a list");
  for (const json& item : j) {
    Fault f;
    if (!ParseFault(item, &f, c))
      return false;
    out->push_back(f);
  }
  return true;
}

std::vector<Fault*> CommandFaults(DeviceState& d, int command, int stage, int occurrence) {
  std::vector<Fault*> hits;
  for (Fault& f : d.cfg.faults) {
    if (f.spent || !IsCommandFault(f))
      continue;
    if (f.command == command && f.stage == stage && f.occurrence == occurrence) {
      f.spent = true;
      hits.push_back(&f);
    }
  }
  return hits;
}

std::vector<Fault*> AckFaults(DeviceState& d, int block, int occurrence) {
  std::vector<Fault*> hits;
  for (Fault& f : d.cfg.faults) {
    if (f.spent || !IsAckFault(f))
      continue;
    if (f.block == block && f.occurrence == occurrence) {
      f.spent = true;
      hits.push_back(&f);
    }
  }
  return hits;
}

bool WriteFails(DeviceState& d) {
  for (Fault& f : d.cfg.faults) {
    if (f.spent || f.action != FaultAction::kWriteFails)
      continue;
    if (d.writes > f.afterWrites) {
      f.spent = true;
      return true;
    }
  }
  return false;
}

void CheckDataVanish(DeviceState& d, int64_t atUs) {
  for (Fault& f : d.cfg.faults) {
    if (f.spent || f.action != FaultAction::kVanish)
      continue;
    if (d.dataBytes >= f.afterDataBytes) {
      f.spent = true;
      ScheduleLeave(d, atUs, f.awayUs);
      return;
    }
  }
}

void ShapeReply(DeviceState& d, const Fault& f, uint8_t command, Bytes* reply) {
  switch (f.action) {
    case FaultAction::kStatus:
      (*reply)[2] = static_cast<uint8_t>(f.value);
      break;
    case FaultAction::kWrongCommand:
      (*reply)[1] = static_cast<uint8_t>(command ^ 0x01);
      break;
    case FaultAction::kWrongLead:
      (*reply)[0] = kLead + 1;
      break;
    case FaultAction::kWrongSelector:
      (*reply)[2] ^= 0x01;
      break;
    case FaultAction::kReplace:
      reply->assign(kReportSize, 0);
      std::copy(f.report.begin(), f.report.end(), reply->begin());
      break;
    case FaultAction::kGarbage:
      for (uint8_t& b : *reply) {
        d.noise ^= d.noise << 13;
        d.noise ^= d.noise >> 17;
        d.noise ^= d.noise << 5;
        b = static_cast<uint8_t>(d.noise);
      }
      if ((*reply)[0] == kLead)
        (*reply)[0] = 0xA0;  // never a valid lead byte
      break;
    default:
      break;
  }
}

}  // namespace internal
}  // namespace emu
