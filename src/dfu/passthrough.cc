#include "dfu/passthrough.h"

#include "dfu/command_exchange.h"
#include "dfu/device_modes.h"

namespace {

bool SwitchPassthrough(uint8_t parameter) {
  const bool on = parameter == kPassthroughOn;
  if (on)
    DeviceModes.passthrough.store(true);
  uint8_t reply[8] = {};
  CommandFrame frame = MakeFrame(kCmdPassthrough, parameter);
  bool success = ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kEcho).accepted;
  if (success && !on)
    DeviceModes.passthrough.store(false);
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
