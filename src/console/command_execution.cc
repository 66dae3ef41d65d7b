#include "console/command_execution.h"

#include "console/arguments.h"
#include "console/interruption.h"
#include "console/upgrade_sequences.h"
#include "dfu/connection.h"
#include "dfu/device_modes.h"
#include "dfu/firmware_transfer.h"
#include "dfu/mode_control.h"
#include "image/image_store.h"
#include "output/console_encoding.h"
#include "output/json_result.h"
#include "output/log_printers.h"
#include "output/status_printers.h"
#include "platform/platform.h"
#include "transport/device_list.h"
#include "transport/device_selection.h"

namespace {

bool RunControl() {
  if (!ControlFlags.force)
    return RestartDevice();
  // The chip is taken to be in its forced upgrade mode until it has left it,
  // so that a failure names the command that takes it out.
  DeviceModes.forcedUpgrade.store(true);
  bool result = SetForcedUpgradeMode(false, nullptr);
  // A chip that did not leave the forced upgrade mode is not restarted.
  if (result && ControlFlags.reset)
    result = RestartDevice();
  return result;
}

bool RunUpdate() {
  switch (DfuSettings.chip_p) {
    case kTq3410:
      return RunPlatform0Upgrade();
    case kTq520xHskV102:
      return TwoPartImage ? RunTwoPartUpgrade() : RunUpgrade(false, false);
    case kTq520xHskV110:
      return RunPlatform2Upgrade();
    case kTq52xxMsk:
      return RunPlatform3Upgrade();
    case kTq520xHskV120:
      return RunPlatform4Upgrade();
    default:
      return false;
  }
}

// One line on standard error after a failed command: the step that failed
// and, when the chip may be left in an upgrade mode, the command that
// recovers it. Standard output keeps only its result line.
void ReportFailure(bool control) {
  bool failedStep = false;
  std::string step = StepForFailureLine(&failedStep);
  std::string line = std::string("quorvel-dfu: ") + (control ? "control" : "DFU") + " failed";
  if (!step.empty())
    line += std::string(failedStep ? " at the step \"" : " after the step \"") + step + "\"";
  std::string state = DeviceStateNote();
  if (!state.empty())
    line += "; " + state;
  WriteErrorLine(line);
}

JsonDevice DeviceForReport(const DeviceEntry& entry) {
  JsonDevice device;
  device.vendorId = entry.vendorId;
  device.productId = entry.productId;
  if (entry.hasSerial)
    device.serial = entry.serial;
  if (!entry.port.empty())
    device.port = entry.port;
  device.path = entry.path;
  return device;
}

void WriteJsonResult(bool control, const DeviceEntry& connected, const VersionTexts& before,
                     bool result) {
  JsonCommandResult report;
  report.command = control ? "ctrl" : "dfu";
  report.device = DeviceForReport(connected);
  report.chipPlatform = control ? -1 : DfuSettings.chip_p;
  report.before = {before.controller, before.app};
  report.after = {LastVersionsRead.controller, LastVersionsRead.app};
  report.bytesSent = FirmwareBytesSent;
  report.durationMs = NowMs() - CommandStartTime;
  report.success = result;
  report.failedStep = FailedStepText();
  TextOutputSuppressed = false;
  WriteResultLine(FormatJsonCommandResult(report));
}

}  // namespace

bool ExecuteCommand() {
  bool control = ControlFlags.reset || ControlFlags.force;
  // The result line of JSON stands in for every line of text.
  TextOutputSuppressed = DfuSettings.json;
  if (LogEnabled)
    PrintLogLine(Text(control ? Msg::kEnterControl : Msg::kEnterDfu));
  BeginDeviceCommand(DfuSettings.vid, DfuSettings.pid, DfuSettings.inum);
  ClearStepNotes();
  CurrentDevices.vendorId = DfuSettings.vid;
  CurrentDevices.productId = DfuSettings.pid;
  CurrentDevices.interfaceNumber = DfuSettings.inum;
  SelectedDevice = DeviceSelection{DfuSettings.serial, DfuSettings.port};
  if (LogEnabled)
    PrintLogLine(Text(Msg::kQueryingUsb));
  ConnectDevice(true);
  CommandStartTime = NowMs();
  StepStartTime = CommandStartTime;
  DeviceEntry connected = ConnectedDevice;
  VersionTexts before;
  if (DfuSettings.json) {
    before = ReadCurrentVersions();
    // Reading the versions is not one of the command's steps.
    ClearStepNotes();
  }
  FirmwareBytesSent = 0;
  LastVersionsRead = VersionTexts();
  bool result = control ? RunControl() : RunUpdate();
  Msg line;
  if (control) {
    line = result ? Msg::kControlSuccess : Msg::kControlFailed;
  } else {
    line = result ? Msg::kDfuSuccess : Msg::kDfuFailed;
  }
  PrintLogLine(LogTimes::kCommand, StepClock::kRunsOn, Text(line));
  if (DfuSettings.json)
    WriteJsonResult(control, connected, before, result);
  if (!result)
    ReportFailure(control);
  EndDeviceCommand();
  return result;
}
