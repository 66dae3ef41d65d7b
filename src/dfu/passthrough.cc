#include "dfu/passthrough.h"

#include "dfu/command_exchange.h"
#include "dfu/device_modes.h"
#include "output/log_printers.h"

namespace {

// The switch prints no step of its own, but a failure line names it: the
// step before it (the reconnection's wait) did not fail.
bool SwitchPassthrough(uint8_t parameter) {
  const bool on = parameter == kPassthroughOn;
  NoteStepHeading(on ? Msg::kSwitchPassthroughOn : Msg::kSwitchPassthroughOff);
  uint8_t reply[8] = {};
  CommandFrame frame = MakeFrame(kCmdPassthrough, parameter);
  bool success = ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kEcho).accepted;
  // A device without a passthrough device refuses the switch by silence, so
  // only an acknowledged switch leaves passthrough on; only an acknowledged
  // one takes it off.
  if (success)
    DeviceModes.passthrough.store(on);
  else
    NoteStepFailed();
  return success;
}

}  // namespace

bool EnterPassthrough() {
  return SwitchPassthrough(kPassthroughOn);
}

bool LeavePassthrough() {
  return SwitchPassthrough(kPassthroughOff);
}

bool SendPassthroughInfo(const FirmwareImage& image) {
  // The passthrough program has no header: no header word, no version.
  static const uint8_t kNoHeader[12] = {};
  CommandFrame frame = MakeFrame(kCmdFirmwareInfo);
  AppendBytes(&frame, kNoHeader, sizeof(kNoHeader));
  AppendLe32(&frame, static_cast<uint32_t>(image.length));
  AppendLe32(&frame, image.crc32);
  uint8_t reply[8] = {};
  return ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kStatusOk).accepted;
}

bool DownloadPassthroughFirmware(const FirmwareImage& image, const TransferPacing& pacing,
                                 RunRecord* record) {
  const int64_t before = record->bytesSent;
  bool success =
      StreamFirmware(Msg::kDownloadPassthrough, image.data, image.length, pacing, record);
  record->passthroughBytesSent += record->bytesSent - before;
  return success;
}
