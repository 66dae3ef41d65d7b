#include "dfu/firmware_transfer.h"

#include <cstring>

#include "dfu/command_exchange.h"
#include "output/event_stream.h"
#include "output/log_printers.h"
#include "output/status_printers.h"
#include "platform/platform.h"
#include "transport/hid_link.h"

namespace {

// The first reply only acknowledges the request; the second one, after the
// device erased or checked its flash, carries the status.
bool TwoStageCommand(uint8_t command, int32_t completionWindowMs) {
  uint8_t reply[8] = {};
  return ExchangeChecked(MakeFrame(command), reply, sizeof(reply), ReplyCheck::kEcho).accepted &&
         ReadCompletion(command, completionWindowMs);
}

bool AckAccepted(const uint8_t* ack, int32_t expectedIndex, const CommandFrame& frame,
                 int32_t blockSize) {
  bool indexed = ReplyEchoes(ack, kCmdData) &&
                 (ack[2] | (ack[3] << 8)) == (expectedIndex & 0xFFFF) && expectedIndex <= 0xFFFF;
  // Devices with 62-byte blocks may echo each frame instead.
  bool echoed = blockSize == kMaxFramePayload &&
                memcmp(ack, frame.bytes, static_cast<size_t>(frame.length)) == 0;
  return indexed || echoed;
}

// Reads the acknowledgement of block index blockIndex.
bool BlockAcknowledged(int32_t blockIndex, const CommandFrame& frame, int32_t blockSize) {
  uint8_t ack[64] = {};
  return ReadReports(ack, sizeof(ack), kBlockAckWindowMs) == 1 &&
         AckAccepted(ack, blockIndex, frame, blockSize);
}

// Sends data[*sent ..length) and advances *sent frame by frame, so that a
// failure leaves it at the bytes the device took.
bool SendFrames(const uint8_t* data, int32_t length, const TransferPacing& pacing, int64_t total,
                int32_t* sent, RunRecord* record) {
  int32_t acknowledged = 0;
  while (*sent < length) {
    int32_t n = length - *sent < kMaxFramePayload ? length - *sent : kMaxFramePayload;
    CommandFrame frame = MakeFrame(kCmdData);
    AppendBytes(&frame, data + *sent, n);
    if (WriteReports(frame.bytes, frame.length) != 1)
      return false;
    *sent += n;
    record->bytesSent += n;
    int32_t completed = *sent / pacing.blockSize;
    if (completed > acknowledged || *sent == length) {
      // The last, short block is acknowledged too.
      acknowledged = (*sent == length && completed == acknowledged) ? completed + 1 : completed;
      PrintDownloadProgress(total, *sent, Progress::kRunning);
      if (!BlockAcknowledged(acknowledged - 1, frame, pacing.blockSize))
        return false;
      NoteTransferProgress(length, *sent);
    } else if (pacing.intervalMs > 0) {
      SpinUntilMs(NowMs() + pacing.intervalMs);
    }
  }
  return true;
}

}  // namespace

bool SendFirmwareInfo(const TransferImage& transfer) {
  PrintStepHeading(Msg::kConfirmFirmwareInfo);
  const ImageHeader& header = transfer.header;
  const FirmwareImage& image = *transfer.image;
  CommandFrame frame = MakeFrame(kCmdFirmwareInfo);
  AppendLe32(&frame, header.headerWord);
  AppendBytes(&frame, header.version, 8);
  AppendLe32(&frame, static_cast<uint32_t>(image.length));
  AppendLe32(&frame, image.crc32);
  uint8_t reply[8] = {};
  bool success = ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kStatusOk).accepted;
  PrintStepResult(success);
  if (success)
    PrintFirmwareKind(transfer.part, reply[3], transfer.twoPart);
  return success;
}

bool StartUpgrade() {
  PrintStepHeading(Msg::kUpgradeStarts);
  bool success = TwoStageCommand(kCmdStartUpgrade, kStartCompletionWindowMs);
  PrintStepResult(success);
  return success;
}

bool VerifyFirmware() {
  PrintStepHeading(Msg::kVerifyResult);
  bool success = TwoStageCommand(kCmdVerify, kVerifyCompletionWindowMs);
  PrintStepResult(success);
  return success;
}

int64_t DownloadProgressTotal(int32_t length) {
  int64_t total = length;
  return LogEnabled ? total : total + total / 10;
}

bool StreamFirmware(Msg heading, const uint8_t* data, int32_t length, const TransferPacing& pacing,
                    RunRecord* record) {
  PrintStepHeading(heading);
  int32_t sent = 0;
  bool success = false;
  if (data != nullptr && length > 0) {
    int64_t total = DownloadProgressTotal(length);
    PrintDownloadProgress(total, 0, Progress::kRunning);
    NoteTransferProgress(length, 0);
    success = SendFrames(data, length, pacing, total, &sent, record);
    if (LogEnabled)
      PrintDownloadProgress(total, sent, Progress::kFinal);
  }
  PrintStepResult(success);
  if (!success) {
    PrintDownloadFailure(static_cast<uint32_t>(length < 0 ? 0 : length),
                         static_cast<uint32_t>(sent));
  }
  return success;
}

bool DownloadFirmware(const FirmwareImage& image, const TransferPacing& pacing, RunRecord* record) {
  return StreamFirmware(Msg::kDownloadFirmware, image.data, image.length, pacing, record);
}
