#include "dfu/passthrough.h"

#include "dfu/command_exchange.h"
#include "dfu/device_modes.h"
#include "dfu/firmware_transfer.h"
#include "image/firmware_image.h"

bool SwitchPassthrough(bool on) {
  if (on)
    DeviceModes.passthrough.store(true);
  uint8_t reply[8] = {};
  int result = ExchangeFrame(MakeFrame(kCmdPassthrough, on ? 0x00 : 0x01), reply, sizeof(reply),
                             kFirstReplyWindowMs);
  bool success = result == 1 && ReplyEchoes(reply, kCmdPassthrough);
  if (success && !on)
    DeviceModes.passthrough.store(false);
  return success;
}

bool SendPassthroughInfo() {
  // The passthrough program has no header: no header word, no version.
  static const uint8_t kNoHeader[12] = {};
  CommandFrame frame = MakeFrame(kCmdFirmwareInfo);
  AppendBytes(&frame, kNoHeader, sizeof(kNoHeader));
  AppendLe32(&frame, static_cast<uint32_t>(PassthroughImage.length));
  AppendLe32(&frame, PassthroughImage.crc32);
  uint8_t reply[8] = {};
  int result = ExchangeFrame(frame, reply, sizeof(reply), kFirstReplyWindowMs);
  return result == 1 && ReplyEchoes(reply, kCmdFirmwareInfo) && reply[2] == 0x00;
}

bool DownloadPassthroughFirmware() {
  return StreamFirmware(Msg::kDownloadPassthrough, PassthroughImage.data, PassthroughImage.length);
}
