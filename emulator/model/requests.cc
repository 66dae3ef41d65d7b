#include "model/requests.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "model/commands.h"
#include "model/faults.h"
#include "model/presence.h"
#include "model/transfer.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

std::string HexByte(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

void Record(DeviceState& d, const uint8_t* request, int64_t atUs, bool ignored) {
  size_t length = RequestLength(d, request);
  bool frame = request[0] == kLead && request[1] == cmd::kData;
  if (frame)
    ++d.dataFrames;
  if (frame && !TheWorld().recordFrames)
    return;
  d.requests.push_back({atUs, Bytes(request, request + length), ignored});
}

void ReplyNow(DeviceState& d, uint8_t command, Bytes reply, int64_t atUs) {
  int64_t sent = 0;
  SendReply(d, command, 1, std::move(reply), atUs, d.cfg.timing.replyUs, &sent);
}

// The status record at bytes 2 to 5 of a reply.
void PutStatusRecord(Bytes& r, int value) {
  r[2] = kRecordFirst;
  r[3] = kRecordSecond;
  r[4] = static_cast<uint8_t>(value);
  r[5] = static_cast<uint8_t>(kRecordFirst + kRecordSecond + value);
}

void Handshake(DeviceState& d, int64_t atUs) {
  Bytes r = NewReply(cmd::kHandshake);
  if (d.cfg.handshakeStatus)
    PutStatusRecord(r, *d.cfg.handshakeStatus);
  ReplyNow(d, cmd::kHandshake, r, atUs);
}

void DeviceName(DeviceState& d, int64_t atUs) {
  Bytes r = NewReply(cmd::kDeviceName);
  r[2] = d.cfg.typeCode;
  ReplyNow(d, cmd::kDeviceName, r, atUs);
}

void VersionQuery(DeviceState& d, uint8_t selector, int64_t atUs) {
  Bytes r = NewReply(cmd::kVersion);
  r[2] = selector;
  if (selector == kSelectController || selector == kSelectApp) {
    const Version& v = selector == kSelectController ? d.controller : d.app;
    std::copy(v.begin(), v.end(), r.begin() + 3);
  } else {
    ProtocolError(d, "version query with selector " + HexByte(selector));
  }
  ReplyNow(d, cmd::kVersion, r, atUs);
}

void EnterUpgrade(DeviceState& d, uint8_t parameter, int64_t atUs) {
  Bytes r = NewReply(cmd::kUpgradeMode);
  if (parameter == kUpgradeModeEnter) {
    d.upgradeMode = true;
  } else {
    ProtocolError(d, "enter upgrade mode with parameter " + HexByte(parameter));
    r[2] = kStatusFailed;
  }
  ReplyNow(d, cmd::kUpgradeMode, r, atUs);
}

void ForcedMode(DeviceState& d, uint8_t parameter, int64_t atUs) {
  Bytes r = NewReply(cmd::kForcedMode);
  int64_t sent = 0;
  if (parameter == kSwitchOn) {
    d.forcedMode = true;
    if (d.cfg.forcedState)
      PutStatusRecord(r, *d.cfg.forcedState);
    SendReply(d, cmd::kForcedMode, 1, r, atUs, d.cfg.timing.replyUs, &sent);
    if (d.cfg.forcedEntryRestarts)
      ScheduleRestart(d, atUs, sent, "forcedEntry", std::nullopt);
    return;
  }
  if (parameter != kSwitchOff) {
    ProtocolError(d, "forced upgrade mode with parameter " + HexByte(parameter));
    r[2] = kStatusFailed;
    ReplyNow(d, cmd::kForcedMode, r, atUs);
    return;
  }
  d.forcedMode = false;
  SendReply(d, cmd::kForcedMode, 1, r, atUs, d.cfg.timing.replyUs, &sent);
  if (d.cfg.exitForcedRestarts)
    ScheduleRestart(d, atUs, sent, "forcedExit", std::nullopt);
}

void Passthrough(DeviceState& d, uint8_t parameter, int64_t atUs) {
  if (parameter == kSwitchOn && !d.cfg.passthrough.present) {
    // Nothing to pass through to: the request is refused by silence.
    ProtocolError(d, "passthrough switched on without a passthrough device");
    return;
  }
  if (parameter != kSwitchOn && parameter != kSwitchOff) {
    ProtocolError(d, "passthrough switch with parameter " + HexByte(parameter));
    return;
  }
  d.passthroughOn = parameter == kSwitchOn;
  ReplyNow(d, cmd::kPassthrough, NewReply(cmd::kPassthrough), atUs);
}

void Restart(DeviceState& d, uint8_t mode, int64_t atUs) {
  if (mode != kRestartApplication && mode != kRestartBootloader)
    ProtocolError(d, "restart with mode " + HexByte(mode));
  int64_t sent = 0;
  SendReply(d, cmd::kRestart, 1, NewReply(cmd::kRestart), atUs, d.cfg.timing.replyUs, &sent);
  ScheduleRestart(d, atUs, sent, "restart", mode);
}

// A data frame carries what is left of the transfer, up to 62 bytes; outside
// a started transfer the whole report counts.
size_t DataFrameLength(const DeviceState& d) {
  int t = d.passthroughOn ? d.passTransfer : d.mainTransfer;
  if (t < 0 || !d.transfers[t].started)
    return kReportSize;
  const Transfer& tr = d.transfers[t];
  size_t left = tr.declaredLength - std::min<size_t>(tr.received.size(), tr.declaredLength);
  return left == 0 ? kReportSize : kBareRequestLength + std::min(kDataFramePayload, left);
}

}  // namespace

Bytes NewReply(uint8_t command) {
  Bytes r(kReportSize, 0);
  r[0] = kLead;
  r[1] = command;
  return r;
}

void ProtocolError(DeviceState& d, const std::string& text) {
  d.protocolErrors.push_back(text);
}

void SendReply(DeviceState& d, uint8_t command, int stage, Bytes reply, int64_t baseUs,
               int64_t delayUs, int64_t* sentAtUs) {
  int occurrence = d.commandCounts[command];
  std::vector<Fault*> faults = CommandFaults(d, command, stage, occurrence);
  int64_t at = baseUs + delayUs;
  bool drop = false;
  for (const Fault* f : faults) {
    if (f->action == FaultAction::kDelay)
      at = baseUs + f->delayUs;
    if (f->action == FaultAction::kNoReply)
      drop = true;
  }
  for (const Fault* f : faults) {
    if (f->action == FaultAction::kStray)
      QueueReply(d, at, f->report);
    ShapeReply(d, *f, command, &reply);
  }
  if (drop) {
    *sentAtUs = at;
    return;
  }
  QueueReply(d, at, std::move(reply));
  *sentAtUs = d.lastReplyUs;
}

size_t RequestLength(const DeviceState& d, const uint8_t* request) {
  if (request[0] == kLead) {
    switch (request[1]) {
      case cmd::kHandshake:
      case cmd::kDeviceName:
      case cmd::kStart:
      case cmd::kVerify:
        return kBareRequestLength;
      case cmd::kVersion:
      case cmd::kRestart:
      case cmd::kForcedMode:
      case cmd::kPassthrough:
      case cmd::kUpgradeMode:
        return kOneParameterRequestLength;
      case cmd::kFirmwareInfo:
        return kFirmwareInfoRequestLength;
      case cmd::kData:
        return DataFrameLength(d);
      default:
        break;
    }
  }
  size_t length = kReportSize;
  while (length > 2 && request[length - 1] == 0)
    --length;
  return length;
}

void HandleRequest(DeviceState& d, const uint8_t* request, int64_t atUs) {
  bool ignored = d.cfg.protocol && (d.restarting || atUs < d.bootUntilUs);
  Record(d, request, atUs, ignored);
  if (!d.cfg.protocol || ignored)
    return;
  if (request[0] != kLead) {
    ProtocolError(d, "request with lead byte " + HexByte(request[0]));
    return;
  }
  uint8_t command = request[1];
  ++d.commandCounts[command];
  switch (command) {
    case cmd::kHandshake:
      return Handshake(d, atUs);
    case cmd::kDeviceName:
      return DeviceName(d, atUs);
    case cmd::kVersion:
      return VersionQuery(d, request[2], atUs);
    case cmd::kUpgradeMode:
      return EnterUpgrade(d, request[2], atUs);
    case cmd::kForcedMode:
      return ForcedMode(d, request[2], atUs);
    case cmd::kPassthrough:
      return Passthrough(d, request[2], atUs);
    case cmd::kRestart:
      return Restart(d, request[2], atUs);
    case cmd::kFirmwareInfo:
      return HandleFirmwareInfo(d, request, atUs);
    case cmd::kStart:
      return HandleStart(d, atUs);
    case cmd::kData:
      return HandleDataFrame(d, request, atUs);
    case cmd::kVerify:
      return HandleVerify(d, atUs);
    default:
      ProtocolError(d, "unknown command " + HexByte(command));
  }
}

}  // namespace internal
}  // namespace emu
