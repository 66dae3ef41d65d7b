#include "console/command_execution.h"

#include "console/arguments.h"
#include "console/upgrade_sequences.h"
#include "dfu/connection.h"
#include "dfu/mode_control.h"
#include "image/image_store.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "platform/platform.h"
#include "transport/device_list.h"

namespace {

bool RunControl() {
  if (!ControlFlags.force)
    return RestartDevice();
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

}  // namespace

bool ExecuteCommand() {
  bool control = ControlFlags.reset || ControlFlags.force;
  if (LogEnabled)
    PrintLogLine(Text(control ? Msg::kEnterControl : Msg::kEnterDfu));
  CurrentDevices.vendorId = DfuSettings.vid;
  CurrentDevices.productId = DfuSettings.pid;
  CurrentDevices.interfaceNumber = DfuSettings.inum;
  if (LogEnabled)
    PrintLogLine(Text(Msg::kQueryingUsb));
  ConnectDevice(true);
  CommandStartTime = NowMs();
  StepStartTime = CommandStartTime;
  bool result = control ? RunControl() : RunUpdate();
  Msg line;
  if (control) {
    line = result ? Msg::kControlSuccess : Msg::kControlFailed;
  } else {
    line = result ? Msg::kDfuSuccess : Msg::kDfuFailed;
  }
  PrintLogLine(LogTimes::kCommand, StepClock::kRunsOn, Text(line));
  return result;
}
