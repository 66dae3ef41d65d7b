#include "dfu/mode_control.h"

#include "dfu/command_exchange.h"
#include "output/log_printers.h"
#include "output/status_printers.h"
#include "transport/device_discovery.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

bool Restart(Msg heading, uint8_t mode) {
  PrintStepHeading(heading);
  SnapshotBusWithoutOpenDevice();
  uint8_t reply[8] = {};
  ExchangeOutcome outcome =
      ExchangeChecked(MakeFrame(kCmdRestart, mode), reply, sizeof(reply), ReplyCheck::kEcho);
  // Whatever it said, a device that answered is about to leave the bus.
  if (outcome.exchange == 1)
    CloseLink();
  PrintStepResult(outcome.accepted, false);
  return outcome.accepted;
}

}  // namespace

void SnapshotBusWithoutOpenDevice() {
  RefreshDevices(&KnownDevices, false);
  RemoveDeviceByPath(&KnownDevices, HidLink.hasPath ? HidLink.path.c_str() : nullptr);
}

int Handshake() {
  uint8_t reply[8] = {};
  ExchangeOutcome outcome =
      ExchangeChecked(MakeFrame(kCmdHandshake), reply, sizeof(reply), ReplyCheck::kEcho);
  if (outcome.exchange != 1)
    return outcome.exchange;
  if (!outcome.accepted)
    return 0;
  return ReadStatusRecord(reply + 2).valid ? 2 : 1;
}

bool ResetToBootloader() {
  return Restart(Msg::kResetToBootloader, kRestartToBootloader);
}

bool RestartDevice() {
  return Restart(Msg::kRestartDevice, kRestartToApplication);
}

bool EnterUpgradeMode() {
  PrintStepHeading(Msg::kEnterUpgradeMode);
  uint8_t reply[4] = {};
  bool success = ExchangeChecked(MakeFrame(kCmdUpgradeMode, kUpgradeModeEnter), reply,
                                 sizeof(reply), ReplyCheck::kStatusOk)
                     .accepted;
  PrintStepResult(success, false);
  return success;
}

bool SetForcedUpgradeMode(bool enter, uint8_t* state) {
  PrintStepHeading(enter ? Msg::kEnterForcedMode : Msg::kExitForcedMode);
  uint8_t reply[8] = {};
  CommandFrame frame = MakeFrame(kCmdForcedMode, enter ? kForcedModeEnter : kForcedModeLeave);
  bool success = ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kEcho).accepted;
  if (success && enter && state != nullptr) {
    StatusRecord record = ReadStatusRecord(reply + 2);
    *state = record.valid ? record.value : kNoForcedState;
  }
  PrintStepResult(success, false);
  return success;
}
