#include "dfu/version_report.h"

#include <cstring>

#include "dfu/command_exchange.h"
#include "image/image_layout.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "transport/hid_link.h"

namespace {

struct DeviceType {
  uint8_t code;
  const char* name;
};

const DeviceType kDeviceTypes[] = {
    {0x00, "1K 520x Mouse"},           {0x01, "4K 520x Mouse"},
    {0x02, "8K 520x Mouse"},           {0x03, "520x Keyboard"},
    {0x10, "1K 520x Mouse Dongle"},    {0x11, "4K 520x Mouse Dongle"},
    {0x12, "1K 520x Keyboard Dongle"}, {0x20, "1K 3410 Mouse Dongle"},
    {0x21, "1K 3410 Keyboard Dongle"},
};

// Every line of the report starts a step of its own.
void PrintReportLine(const std::string& text) {
  PrintLogLine(LogTimes::kNone, StepClock::kRestarts, text);
}

}  // namespace

const char* DeviceNameForType(uint8_t typeCode) {
  for (const DeviceType& type : kDeviceTypes) {
    if (type.code == typeCode)
      return type.name;
  }
  return "Unknown";
}

bool QueryDeviceName(char* name) {
  uint8_t reply[8] = {};
  if (!ExchangeChecked(MakeFrame(kCmdDeviceName), reply, sizeof(reply), ReplyCheck::kEcho).accepted)
    return false;
  const char* typeName = DeviceNameForType(reply[2]);
  memcpy(name, typeName, strlen(typeName) + 1);
  return true;
}

bool ReadVersionInfo(uint8_t selector, uint8_t* out, int32_t* inoutLen) {
  uint8_t reply[16] = {};
  CommandFrame frame = MakeFrame(kCmdVersion, selector);
  if (!ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kEcho).accepted ||
      reply[2] != selector) {
    return false;
  }
  if (out != nullptr && inoutLen != nullptr && *inoutLen >= 8) {
    memcpy(out, reply + 3, 8);
    *inoutLen = 8;
  }
  return true;
}

void PrintDeviceInfo(const std::string& name) {
  PrintReportLine(Text(Msg::kDeviceInformation) + Text(Msg::kDeviceInformationSeparator) + name);
}

void PrintVersionHeader(uint8_t selector) {
  PrintReportLine(Text(Msg::kRead) + Text(selector != 0 ? Msg::kReadApp : Msg::kReadController) +
                  Text(Msg::kFirmwareVersionInformation));
}

void PrintVersionRecord(const std::string& versionText, const uint8_t record[8]) {
  PrintReportLine(Text(Msg::kRecordVersion) + versionText);
  PrintReportLine(Text(Msg::kRecordMajor) + FormatHex(record[0], 2, HexStyle::kPrefixed));
  PrintReportLine(Text(Msg::kRecordMinor) + FormatHex(record[1], 2, HexStyle::kPrefixed));
  PrintReportLine(Text(Msg::kRecordRevision) + FormatHex(record[3], 2, HexStyle::kPrefixed) +
                  FormatHex(record[2], 2, HexStyle::kBare));
  PrintReportLine(Text(Msg::kRecordBuildNumber) + FormatHex(record[7], 2, HexStyle::kPrefixed) +
                  FormatHex(record[6], 2, HexStyle::kBare) +
                  FormatHex(record[5], 2, HexStyle::kBare) +
                  FormatHex(record[4], 2, HexStyle::kBare));
}

bool ReadDeviceVersions() {
  PrintReportLine(Text(Msg::kReadFirmwareVersion));
  bool read = true;
  char name[24] = {};
  if (QueryDeviceName(name))
    PrintDeviceInfo(name);
  for (uint8_t selector : {kControllerSelector, kAppSelector}) {
    PrintVersionHeader(selector);
    uint8_t record[16] = {};
    int32_t length = 16;
    if (!ReadVersionInfo(selector, record, &length) || length != 8) {
      PrintStepResultAlways(false);
      read = false;
      break;
    }
    PrintVersionRecord(FormatVersionText(record), record);
  }
  CloseLink();
  return read;
}
