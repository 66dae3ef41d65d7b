#include "dfu/firmware_transfer.h"

#include <cstring>

#include "console/arguments.h"
#include "dfu/command_exchange.h"
#include "output/log_output.h"
#include "output/status_messages.h"
#include "platform/platform.h"
#include "transport/hid_link.h"

namespace {

const ImageHeader& SelectedHeader(bool singlePart, bool appSelected) {
  return (TwoPartImage && singlePart && appSelected) ? AppHeader : ProgramHeader;
}

// Reads a second reply to a two-stage command: lead byte, command, status 0.
bool CompletionArrives(uint8_t command, int32_t windowMs) {
  uint8_t reply[8] = {};
  return ReadReports(reply, sizeof(reply), windowMs) == 1 && ReplyEchoes(reply, command) &&
         reply[2] == 0x00;
}

bool TwoStageCommand(uint8_t command, int32_t completionWindowMs) {
  uint8_t reply[8] = {};
  if (ExchangeFrame(MakeFrame(command), reply, sizeof(reply), kFirstReplyWindowMs) != 1) {
    return false;
  }
  if (!ReplyEchoes(reply, command))
    return false;
  return CompletionArrives(command, completionWindowMs);
}

bool AckAccepted(const uint8_t* ack, int32_t expectedIndex, const CommandFrame& frame) {
  bool indexed = ReplyEchoes(ack, kCmdData) &&
                 (ack[2] | (ack[3] << 8)) == (expectedIndex & 0xFFFF) && expectedIndex <= 0xFFFF;
  // Devices with 62-byte blocks may echo each frame instead.
  bool echoed = DfuSettings.bsize == kMaxFramePayload &&
                memcmp(ack, frame.bytes, static_cast<size_t>(frame.length)) == 0;
  return indexed || echoed;
}

bool SendFrames(const uint8_t* data, int32_t length, int64_t total, int32_t* sent) {
  int32_t acknowledged = 0;
  while (*sent < length) {
    int32_t n = length - *sent < kMaxFramePayload ? length - *sent : kMaxFramePayload;
    CommandFrame frame = MakeFrame(kCmdData);
    AppendBytes(&frame, data + *sent, n);
    if (WriteReports(frame.bytes, frame.length) != 1)
      return false;
    *sent += n;
    int32_t completed = *sent / DfuSettings.bsize;
    if (completed > acknowledged || *sent == length) {
      if (*sent == length && completed == acknowledged)
        ++completed;
      acknowledged = completed;
      PrintDownloadProgress(total, *sent, false);
      uint8_t ack[64] = {};
      if (ReadReports(ack, sizeof(ack), kBlockAckWindowMs) != 1)
        return false;
      if (!AckAccepted(ack, acknowledged - 1, frame))
        return false;
    } else if (DfuSettings.intv > 0) {
      SpinUntilMs(NowMs() + DfuSettings.intv);
    }
  }
  return true;
}

}  // namespace

const FirmwareImage& SelectedImage(bool singlePart, bool appSelected) {
  if (TwoPartImage && singlePart)
    return appSelected ? AppPart : ControllerPart;
  return ProgramImage;
}

bool SendFirmwareInfo(bool singlePart, bool appSelected) {
  PrintStepHeading(Msg::kConfirmFirmwareInfo);
  const ImageHeader& header = SelectedHeader(singlePart, appSelected);
  const FirmwareImage& image = SelectedImage(singlePart, appSelected);
  CommandFrame frame = MakeFrame(kCmdFirmwareInfo);
  AppendLe32(&frame, header.headerWord);
  AppendBytes(&frame, header.version, 8);
  AppendLe32(&frame, static_cast<uint32_t>(image.length));
  AppendLe32(&frame, image.crc32);
  uint8_t reply[8] = {};
  int result = ExchangeFrame(frame, reply, sizeof(reply), kFirstReplyWindowMs);
  bool success = result == 1 && ReplyEchoes(reply, kCmdFirmwareInfo) && reply[2] == 0x00;
  PrintStepResult(success, false);
  if (success)
    PrintFirmwareKind(singlePart, reply[3], TwoPartImage, appSelected);
  return success;
}

bool StartUpgrade() {
  PrintStepHeading(Msg::kUpgradeStarts);
  bool success = TwoStageCommand(kCmdStartUpgrade, kStartCompletionWindowMs);
  PrintStepResult(success, false);
  return success;
}

bool VerifyFirmware() {
  PrintStepHeading(Msg::kVerifyResult);
  bool success = TwoStageCommand(kCmdVerify, kVerifyCompletionWindowMs);
  PrintStepResult(success, false);
  return success;
}

int64_t DownloadProgressTotal(int32_t length) {
  int64_t total = length;
  return LogEnabled ? total : total + total / 10;
}

bool StreamFirmware(Msg heading, const uint8_t* data, int32_t length) {
  PrintStepHeading(heading);
  int32_t sent = 0;
  bool success = false;
  if (data != nullptr && length > 0) {
    int64_t total = DownloadProgressTotal(length);
    PrintDownloadProgress(total, 0, false);
    success = SendFrames(data, length, total, &sent);
    if (LogEnabled)
      PrintDownloadProgress(total, sent, true);
  }
  PrintStepResult(success, false);
  if (!success) {
    PrintDownloadFailure(static_cast<uint32_t>(length < 0 ? 0 : length),
                         static_cast<uint32_t>(sent));
  }
  return success;
}

bool DownloadFirmware(bool singlePart, bool appSelected) {
  const FirmwareImage& image = SelectedImage(singlePart, appSelected);
  return StreamFirmware(Msg::kDownloadFirmware, image.data, image.length);
}
