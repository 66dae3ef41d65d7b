#include "console/command_execution.h"

#include "console/interruption.h"
#include "console/json_report.h"
#include "console/skip_current.h"
#include "console/upgrade_sequences.h"
#include "dfu/connection.h"
#include "dfu/device_modes.h"
#include "dfu/mode_control.h"
#include "dfu/selection_lock.h"
#include "output/console_encoding.h"
#include "output/event_stream.h"
#include "output/log_printers.h"
#include "output/status_printers.h"
#include "platform/platform.h"
#include "transport/device_list.h"

namespace {

bool RunControl(const Command& command) {
  if (!command.control.force)
    return RestartDevice();
  // The chip is taken to be in its forced upgrade mode until it has left it,
  // so that a failure names the command that takes it out.
  DeviceModes.forcedUpgrade.store(true);
  bool result = LeaveForcedUpgradeMode();
  // A chip that did not leave the forced upgrade mode is not restarted.
  if (result && command.control.reset)
    result = RestartDevice();
  return result;
}

// One line on standard error after a failed command: the step that failed
// and, when the chip may be left in an upgrade mode, the command that
// recovers it. Standard output keeps only its result line.
void ReportFailure(const Command& command) {
  bool failedStep = false;
  std::string step = StepForFailureLine(&failedStep);
  std::string line =
      std::string("quorvel-dfu: ") + (IsControlCommand(command) ? "control" : "DFU") + " failed";
  if (!step.empty())
    line += std::string(failedStep ? " at the step \"" : " after the step \"") + step + "\"";
  std::string state = DeviceStateNote(command);
  if (!state.empty())
    line += "; " + state;
  WriteErrorLine(line);
}

// The heading lines and the first connection, which waits until the
// command's device answers; the command clocks start after it.
void ConnectCommandDevice(const Command& command, RunRecord* record) {
  if (LogEnabled)
    PrintLogLine(Text(IsControlCommand(command) ? Msg::kEnterControl : Msg::kEnterDfu));
  BeginDeviceCommand(command);
  ClearStepNotes();
  CurrentDevices.vendorId = command.settings.vid;
  CurrentDevices.productId = command.settings.pid;
  CurrentDevices.interfaceNumber = command.settings.inum;
  if (LogEnabled)
    PrintLogLine(Text(Msg::kQueryingUsb));
  ConnectDevice(command.selection, ConnectWait::kUntilFound, record);
  CommandStartTime = NowMs();
  StepStartTime = CommandStartTime;
}

Msg ResultLine(bool control, bool result) {
  if (control)
    return result ? Msg::kControlSuccess : Msg::kControlFailed;
  return result ? Msg::kDfuSuccess : Msg::kDfuFailed;
}

}  // namespace

bool RunUpdate(const Command& command, RunRecord* record) {
  switch (command.settings.chip_p) {
    case kTq3410:
      return RunPlatform0Upgrade(command, record);
    case kTq520xHskV102:
      return command.program->twoPart ? RunTwoPartUpgrade(command, record)
                                      : RunUpgrade(command, ImagePart::kWhole, record);
    case kTq520xHskV110:
      return RunPlatform2Upgrade(command, record);
    case kTq52xxMsk:
      return RunPlatform3Upgrade(command, record);
    case kTq520xHskV120:
      return RunPlatform4Upgrade(command, record);
    default:
      return false;
  }
}

namespace {

// The versions before the command: for the --json line, whose version waits
// after restarts are told to read both versions too, and for
// --skip-current. Returns whether --skip-current leaves the device alone.
bool ReadVersionsBefore(const Command& command, RunRecord* record) {
  const bool json = command.output == OutputMode::kJson;
  const bool skipCurrent = SkipCurrentApplies(command);
  if (!json && !skipCurrent)
    return false;
  record->readBothVersionsAfter = json;
  const VersionTexts before = ReadCurrentVersions();
  // Reading the versions is not one of the command's steps.
  ClearStepNotes();
  NoteJsonConnection(record->connected, before);
  return skipCurrent && RunsImageVersion(*command.program, before);
}

void WriteJsonResult(bool result) {
  WriteJsonReport(result ? JsonResultKind::kSuccess : JsonResultKind::kFailure, "");
}

// The command on its connected device, to its result lines.
bool RunConnectedCommand(const Command& command, RunRecord* record) {
  if (ReadVersionsBefore(command, record)) {
    // Nothing was asked of the device: no result line of text, which would
    // claim an update.
    WriteJsonReport(JsonResultKind::kCurrent, "");
    WriteErrorLine(CurrentDeviceNote(*command.program));
    return true;
  }
  const bool control = IsControlCommand(command);
  record->bytesSent = 0;
  record->versionsRead = VersionTexts();
  bool result = control ? RunControl(command) : RunUpdate(command, record);
  PrintLogLine(LogTimes::kCommand, StepClock::kRunsOn, Text(ResultLine(control, result)));
  WriteJsonResult(result);
  if (!result)
    ReportFailure(command);
  return result;
}

}  // namespace

bool ExecuteCommand(const Command& command) {
  // The result line of JSON stands in for every line of text.
  TextOutputSuppressed = command.output == OutputMode::kJson;
  RunRecord record;
  BeginJsonReport(command, &record);
  BeginEventStream(command.settings.events);
  // Held to the end, so that no other instance with the same selection takes
  // the device while this one waits for it to come back from a restart.
  HoldSelection(command.settings.vid, command.settings.pid, command.selection);
  ConnectCommandDevice(command, &record);
  const bool result = RunConnectedCommand(command, &record);
  EndJsonReport();
  EndEventStream();
  EndDeviceCommand();
  ReleaseSelection();
  return result;
}
