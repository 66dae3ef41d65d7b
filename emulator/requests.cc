// The device's side of the command exchange: every request it receives is
// recorded, checked and answered with 64-byte input reports at the times its
// timing says. Firmware transfer commands are in transfer.cc.
#include <algorithm>
#include <cstdio>

#include "device_model.h"

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
  bool frame = request[0] == 0x0A && request[1] == 0x10;
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

void Handshake(DeviceState& d, int64_t atUs) {
  Bytes r = NewReply(0x55);
  if (d.cfg.handshakeStatus) {
    int v = *d.cfg.handshakeStatus;
    r[2] = 0x55;
    r[3] = 0xAA;
    r[4] = static_cast<uint8_t>(v);
    r[5] = static_cast<uint8_t>(v - 1);  // 0x55 + 0xAA + v, modulo 256
  }
  ReplyNow(d, 0x55, r, atUs);
}

void VersionQuery(DeviceState& d, uint8_t selector, int64_t atUs) {
  Bytes r = NewReply(0x00);
  r[2] = selector;
  if (selector == 0 || selector == 1) {
    const Version& v = selector == 0 ? d.controller : d.app;
    std::copy(v.begin(), v.end(), r.begin() + 3);
  } else {
    ProtocolError(d, "version query with selector " + HexByte(selector));
  }
  ReplyNow(d, 0x00, r, atUs);
}

void EnterUpgrade(DeviceState& d, uint8_t parameter, int64_t atUs) {
  Bytes r = NewReply(0x20);
  if (parameter == 0) {
    d.upgradeMode = true;
  } else {
    ProtocolError(d, "enter upgrade mode with parameter " + HexByte(parameter));
    r[2] = 0x01;
  }
  ReplyNow(d, 0x20, r, atUs);
}

void ForcedMode(DeviceState& d, uint8_t parameter, int64_t atUs) {
  Bytes r = NewReply(0x06);
  int64_t sent = 0;
  if (parameter == 0) {
    d.forcedMode = true;
    if (d.cfg.forcedState) {
      int v = *d.cfg.forcedState;
      r[2] = 0x55;
      r[3] = 0xAA;
      r[4] = static_cast<uint8_t>(v);
      r[5] = static_cast<uint8_t>(v - 1);
    }
    SendReply(d, 0x06, 1, r, atUs, d.cfg.timing.replyUs, &sent);
    if (d.cfg.forcedEntryRestarts)
      ScheduleRestart(d, atUs, sent, "forcedEntry", std::nullopt);
    return;
  }
  if (parameter != 1) {
    ProtocolError(d, "forced upgrade mode with parameter " + HexByte(parameter));
    r[2] = 0x01;
    ReplyNow(d, 0x06, r, atUs);
    return;
  }
  d.forcedMode = false;
  SendReply(d, 0x06, 1, r, atUs, d.cfg.timing.replyUs, &sent);
  if (d.cfg.exitForcedRestarts)
    ScheduleRestart(d, atUs, sent, "forcedExit", std::nullopt);
}

void Passthrough(DeviceState& d, uint8_t parameter, int64_t atUs) {
  if (parameter == 0 && !d.cfg.passthrough.present) {
    // Nothing to pass through to: the request is refused by silence.
    ProtocolError(d, "passthrough switched on without a passthrough device");
    return;
  }
  if (parameter > 1) {
    ProtocolError(d, "passthrough switch with parameter " + HexByte(parameter));
    return;
  }
  d.passthroughOn = parameter == 0;
  ReplyNow(d, 0x07, NewReply(0x07), atUs);
}

void Restart(DeviceState& d, uint8_t mode, int64_t atUs) {
  if (mode != 0 && mode != 2)
    ProtocolError(d, "restart with mode " + HexByte(mode));
  int64_t sent = 0;
  SendReply(d, 0x04, 1, NewReply(0x04), atUs, d.cfg.timing.replyUs, &sent);
  ScheduleRestart(d, atUs, sent, "restart", mode);
}

}  // namespace

Bytes NewReply(uint8_t command) {
  Bytes r(kReportSize, 0);
  r[0] = 0x0A;
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
  if (request[0] == 0x0A) {
    switch (request[1]) {
      case 0x55:
      case 0x56:
      case 0x02:
      case 0x03:
        return 2;
      case 0x00:
      case 0x04:
      case 0x06:
      case 0x07:
      case 0x20:
        return 3;
      case 0x01:
        return 22;
      case 0x10: {
        int t = d.passthroughOn ? d.passTransfer : d.mainTransfer;
        if (t < 0 || !d.transfers[t].started)
          return kReportSize;
        const Transfer& tr = d.transfers[t];
        size_t left = tr.declaredLength - std::min<size_t>(tr.received.size(), tr.declaredLength);
        return left == 0 ? kReportSize : 2 + std::min<size_t>(62, left);
      }
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
  if (request[0] != 0x0A) {
    ProtocolError(d, "request with lead byte " + HexByte(request[0]));
    return;
  }
  uint8_t command = request[1];
  ++d.commandCounts[command];
  switch (command) {
    case 0x55:
      return Handshake(d, atUs);
    case 0x56: {
      Bytes r = NewReply(0x56);
      r[2] = d.cfg.typeCode;
      return ReplyNow(d, 0x56, r, atUs);
    }
    case 0x00:
      return VersionQuery(d, request[2], atUs);
    case 0x20:
      return EnterUpgrade(d, request[2], atUs);
    case 0x06:
      return ForcedMode(d, request[2], atUs);
    case 0x07:
      return Passthrough(d, request[2], atUs);
    case 0x04:
      return Restart(d, request[2], atUs);
    case 0x01:
      return HandleFirmwareInfo(d, request, atUs);
    case 0x02:
      return HandleStart(d, atUs);
    case 0x10:
      return HandleDataFrame(d, request, atUs);
    case 0x03:
      return HandleVerify(d, atUs);
    default:
      ProtocolError(d, "unknown command " + HexByte(command));
  }
}

}  // namespace internal
}  // namespace emu
