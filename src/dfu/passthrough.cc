#include "dfu/passthrough.h"

#include "dfu/command_exchange.h"
#include "dfu/firmware_transfer.h"
#include "image/image_store.h"

bool SwitchPassthrough(bool on) {
  uint8_t reply[8] = {};
  CommandFrame frame = MakeFrame(kCmdPassthrough, on ? kPassthroughOn : kPassthroughOff);
  return ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kEcho).accepted;
}

bool SendPassthroughInfo() {
  // The passthrough program has no header: no header word, no version.
  static const uint8_t kNoHeader[12] = {};
  CommandFrame frame = MakeFrame(kCmdFirmwareInfo);
  AppendBytes(&frame, kNoHeader, sizeof(kNoHeader));
  AppendLe32(&frame, static_cast<uint32_t>(PassthroughImage.length));
  AppendLe32(&frame, PassthroughImage.crc32);
  uint8_t reply[8] = {};
  return ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kStatusOk).accepted;
}

bool DownloadPassthroughFirmware() {
  return StreamFirmware(Msg::kDownloadPassthrough, PassthroughImage.data, PassthroughImage.length,
                        SettingsPacing());
}
