#include "console/device_query.h"

#include "console/argument_diagnostics.h"
#include "console/arguments.h"
#include "console/command.h"
#include "console/interruption.h"
#include "console/program.h"
#include "dfu/connection.h"
#include "dfu/selection_lock.h"
#include "dfu/version_report.h"
#include "output/console_encoding.h"
#include "output/json_listing.h"
#include "output/log_printers.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

// The name and both versions of the connected device, without a line of
// text; the link is closed after them, as after the text report.
JsonDeviceVersions ReadQuietly(const DeviceEntry& device) {
  JsonDeviceVersions read;
  read.found = true;
  read.device = device;
  char name[24] = {};
  if (QueryDeviceName(name))
    read.name = std::string(name);
  const VersionTexts versions = ReadCurrentVersions();
  read.controller = versions.controller;
  read.app = versions.app;
  CloseLink();
  return read;
}

std::string DescribeFilter(const Command& command) {
  std::string text = FormatHex(command.settings.vid, 4, HexStyle::kBare) + ":" +
                     FormatHex(command.settings.pid, 4, HexStyle::kBare);
  if (command.settings.inum >= 0)
    text += " -n " + std::to_string(command.settings.inum);
  if (!command.selection.serial.empty())
    text += " --serial " + command.selection.serial;
  if (!command.selection.port.empty())
    text += " --port " + command.selection.port;
  return text;
}

// Connects the named device with one scan; false when none answered.
bool ConnectNamedDevice(const Command& command, RunRecord* record) {
  CurrentDevices.vendorId = command.settings.vid;
  CurrentDevices.productId = command.settings.pid;
  CurrentDevices.interfaceNumber = command.settings.inum;
  return ConnectDevice(command.selection, ConnectWait::kOneScan, record) == 1;
}

}  // namespace

void ReadVersionsOfAnyDevice() {
  const Command command = DeviceQueryCommand();
  BeginDeviceCommand(command);
  RunRecord record;
  if (ConnectDevice(command.selection, ConnectWait::kOneScan, &record) == 1)
    ReadDeviceVersions();
  EndDeviceCommand();
}

int RunVersionCommand(const std::vector<std::string>& arguments) {
  const ParseResult parse = ParseCvArguments(arguments);
  if (!parse) {
    ReportRefusedArguments(parse.rejection);
    return kUsageErrorStatus;
  }
  const Command command = CurrentCommand();
  const bool json = command.output == OutputMode::kJson;
  BeginDeviceCommand(command);
  // Not while another instance updates the same selection, whose device may
  // be between its restart and its return.
  HoldSelection(command.settings.vid, command.settings.pid, command.selection);
  // With --json the one line below stands for everything else.
  TextOutputSuppressed = json;
  RunRecord record;
  JsonDeviceVersions read;
  bool ok = false;
  if (ConnectNamedDevice(command, &record)) {
    read = json ? ReadQuietly(record.connected) : JsonDeviceVersions();
    ok = json ? read.controller && read.app : ReadDeviceVersions();
  } else {
    WriteErrorLine(Text(Msg::kCvNotFound) + DescribeFilter(command));
  }
  TextOutputSuppressed = false;
  if (json)
    WriteResultLine(FormatJsonDeviceVersions(read));
  ReleaseSelection();
  EndDeviceCommand();
  return ok ? 0 : 1;
}
