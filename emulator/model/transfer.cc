#include "model/transfer.h"

#include <algorithm>
#include <vector>

#include "model/commands.h"
#include "model/device_state.h"
#include "model/digest.h"
#include "model/faults.h"
#include "model/presence.h"
#include "model/requests.h"

namespace emu {
namespace internal {
namespace {

constexpr size_t kAppOffset = 0x20000;
// A declared length beyond this is a fault under test, not an image to keep room for.
constexpr size_t kReserveLimit = size_t{256} << 20;
constexpr uint8_t kMagic[4] = {0x3D, 0xB8, 0xF3, 0x96};

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int CurrentIndex(const DeviceState& d) {
  return d.passthroughOn ? d.passTransfer : d.mainTransfer;
}

bool HoldsAppHeader(const Bytes& data) {
  return data.size() >= kAppOffset + 32 &&
         std::equal(kMagic, kMagic + 4, data.begin() + kAppOffset);
}

// Two-stage commands: an acknowledgement at once, the completion later.
void TwoStage(DeviceState& d, uint8_t command, uint8_t status, int64_t atUs, int64_t workUs) {
  int64_t acked = 0;
  SendReply(d, command, 1, NewReply(command), atUs, d.cfg.timing.replyUs, &acked);
  Bytes done = NewReply(command);
  done[2] = status;
  int64_t completed = 0;
  SendReply(d, command, 2, done, acked, workUs, &completed);
}

void SendAck(DeviceState& d, Transfer& t, int block, const uint8_t* frame, int64_t atUs) {
  int occurrence = ++d.blockAckCounts[block];
  Bytes reply = NewReply(cmd::kData);
  if (t.echo) {
    reply.assign(frame, frame + kReportSize);
  } else {
    reply[2] = static_cast<uint8_t>(block);
    reply[3] = static_cast<uint8_t>(block >> 8);
  }
  int64_t when = atUs + d.cfg.timing.blockWriteUs;
  for (const Fault* f : AckFaults(d, block, occurrence)) {
    if (f->action == FaultAction::kAckMissing)
      return;
    if (f->action == FaultAction::kAckDelay)
      when = atUs + f->delayUs;
    if (f->action == FaultAction::kReplace) {
      reply.assign(kReportSize, 0);
      std::copy(f->report.begin(), f->report.end(), reply.begin());
    }
    if (f->action == FaultAction::kAckWrong) {
      int wrong = block + 1;
      reply[2] = static_cast<uint8_t>(t.echo ? reply[2] ^ 0xFF : wrong);
      if (!t.echo)
        reply[3] = static_cast<uint8_t>(wrong >> 8);
    }
  }
  ++t.acks;
  QueueReply(d, when, std::move(reply));
}

// The transfer the last firmware information announced; without one the
// two-stage command fails, its completion after workUs carrying the failure.
Transfer* AnnouncedTransfer(DeviceState& d, uint8_t command, int64_t atUs, int64_t workUs) {
  int index = CurrentIndex(d);
  if (index >= 0)
    return &d.transfers[index];
  ProtocolError(
      d, std::string(command == cmd::kStart ? "start" : "verify") + " before firmware information");
  TwoStage(d, command, kStatusFailed, atUs, workUs);
  return nullptr;
}

}  // namespace

void HandleFirmwareInfo(DeviceState& d, const uint8_t* request, int64_t atUs) {
  Transfer t;
  t.atUs = atUs;
  t.passthrough = d.passthroughOn;
  t.headerWord = Le32(request + 2);
  std::copy(request + 6, request + 14, t.version.begin());
  t.declaredLength = Le32(request + 14);
  t.declaredCrc = Le32(request + 18);
  t.blockSize = t.passthrough ? d.cfg.passthrough.blockSize : d.cfg.blockSize;
  t.echo = t.passthrough ? d.cfg.passthrough.echo : d.cfg.echo;
  Bytes r = NewReply(cmd::kFirmwareInfo);
  r[3] = static_cast<uint8_t>(t.passthrough ? 0 : d.cfg.firmwareKind);
  if (!t.passthrough && !d.upgradeMode) {
    ProtocolError(d, "firmware information outside upgrade mode");
  }
  if (t.declaredLength == 0) {
    ProtocolError(d, "firmware information with length 0");
    r[2] = kStatusFailed;
  } else {
    d.transfers.push_back(t);
    int index = static_cast<int>(d.transfers.size()) - 1;
    (t.passthrough ? d.passTransfer : d.mainTransfer) = index;
  }
  int64_t sent = 0;
  SendReply(d, cmd::kFirmwareInfo, 1, r, atUs, d.cfg.timing.replyUs, &sent);
}

void HandleStart(DeviceState& d, int64_t atUs) {
  Transfer* current = AnnouncedTransfer(d, cmd::kStart, atUs, d.cfg.timing.eraseUs);
  if (current == nullptr)
    return;
  Transfer& t = *current;
  t.started = true;
  t.received.clear();
  // Room for the announced image at once, as the device's flash has it:
  // growing frame by frame would double the buffer on the way, and the
  // program's peak memory is measured with the emulator in its process.
  t.received.reserve(std::min<size_t>(t.declaredLength, kReserveLimit));
  TwoStage(d, cmd::kStart, kStatusOk, atUs, d.cfg.timing.eraseUs);
}

void HandleDataFrame(DeviceState& d, const uint8_t* request, int64_t atUs) {
  int index = CurrentIndex(d);
  if (index < 0 || !d.transfers[index].started) {
    ProtocolError(d, "data frame before start");
    if (index >= 0)
      d.transfers[index].faulty = true;
    return;
  }
  Transfer& t = d.transfers[index];
  if (t.received.size() >= t.declaredLength) {
    ProtocolError(d, "data frame beyond declared length");
    t.faulty = true;
    return;
  }
  size_t n = std::min<size_t>(62, t.declaredLength - t.received.size());
  t.received.insert(t.received.end(), request + 2, request + 2 + n);
  d.dataBytes += static_cast<int64_t>(n);
  CheckDataVanish(d, atUs);
  size_t received = t.received.size();
  if (t.echo) {
    SendAck(d, t, static_cast<int>((received - n) / 62), request, atUs);
    return;
  }
  // One acknowledgement per frame that completes a block, naming the last
  // block it completed; the last frame, if it completed none, acknowledges
  // the partial block it ends.
  size_t bs = static_cast<size_t>(t.blockSize);
  size_t before = (received - n) / bs;
  size_t after = received / bs;
  if (after > before) {
    SendAck(d, t, static_cast<int>(after - 1), request, atUs);
  } else if (received == t.declaredLength) {
    SendAck(d, t, static_cast<int>(after), request, atUs);
  }
}

void HandleVerify(DeviceState& d, int64_t atUs) {
  Transfer* current = AnnouncedTransfer(d, cmd::kVerify, atUs, d.cfg.timing.verifyUs);
  if (current == nullptr)
    return;
  Transfer& t = *current;
  if (!t.started)
    ProtocolError(d, "verify before start");
  bool ok = t.started && !t.faulty && t.received.size() == t.declaredLength &&
            Crc32(t.received) == t.declaredCrc;
  t.verified = ok;
  if (ok && t.passthrough)
    d.passthroughImageSha256 = Sha256Hex(t.received);
  TwoStage(d, cmd::kVerify, ok ? kStatusOk : kStatusFailed, atUs, d.cfg.timing.verifyUs);
}

std::string TransferPart(const DeviceState& d, const Transfer& t) {
  if (t.passthrough || HoldsAppHeader(t.received))
    return "whole";
  const std::vector<uint32_t>& words = d.cfg.appHeaderWords;
  bool app =
      d.cfg.firmwareKind != 0 || std::find(words.begin(), words.end(), t.headerWord) != words.end();
  return app ? "app" : "controller";
}

void CommitPendingImage(DeviceState& d, RestartRecord* restart) {
  if (d.mainTransfer < 0)
    return;
  Transfer& t = d.transfers[d.mainTransfer];
  d.mainTransfer = -1;
  if (t.consumed)
    return;
  t.consumed = true;
  if (t.verified != true) {
    restart->unverifiedImageDiscarded = t.started;
    return;
  }
  restart->appliedImage = true;
  std::string part = TransferPart(d, t);
  if (part == "whole") {
    Version app{};
    std::copy_n(t.received.begin() + kAppOffset + 20, 8, app.begin());
    restart->newController = t.version;
    restart->newApp = app;
  } else if (part == "app") {
    restart->newApp = t.version;
  } else {
    restart->newController = t.version;
  }
}

}  // namespace internal
}  // namespace emu
