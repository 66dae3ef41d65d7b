#include "dfu/mode_control.h"

#include "dfu/command_exchange.h"
#include "dfu/device_modes.h"
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
  // A device restarts by leaving the bus a few milliseconds after its reply.
  // When this process is not scheduled in that gap (a loaded machine), the
  // host reports the interface gone before the queued reply and drops the
  // reply with it (hidraw signals the hang-up first). The request was
  // delivered and the device left: that is the restart, not a silent device.
  bool departed = outcome.exchange == -1 && HidLink.lastReadFailed;
  // Whatever it said, a device that answered is about to leave the bus.
  if (outcome.exchange == 1 || departed)
    CloseLink();
  bool success = outcome.accepted || departed;
  // A restart ends the firmware upgrade mode and passthrough; only leaving
  // it ends the forced upgrade mode.
  if (success) {
    DeviceModes.upgrade.store(false);
    DeviceModes.passthrough.store(false);
  }
  PrintStepResult(success);
  return success;
}

// Entering and leaving are one request with its parameter byte,
// kForcedModeEnter or kForcedModeLeave.
bool ChangeForcedUpgradeMode(uint8_t parameter, uint8_t* state) {
  const bool enter = parameter == kForcedModeEnter;
  PrintStepHeading(enter ? Msg::kEnterForcedMode : Msg::kExitForcedMode);
  if (enter)
    DeviceModes.forcedUpgrade.store(true);
  uint8_t reply[8] = {};
  CommandFrame frame = MakeFrame(kCmdForcedMode, parameter);
  bool success = ExchangeChecked(frame, reply, sizeof(reply), ReplyCheck::kEcho).accepted;
  if (success && !enter)
    DeviceModes.forcedUpgrade.store(false);
  if (success && enter && state != nullptr) {
    StatusRecord record = ReadStatusRecord(reply + 2);
    *state = record.valid ? record.value : kNoForcedState;
  }
  PrintStepResult(success);
  return success;
}

}  // namespace

void SnapshotBusWithoutOpenDevice() {
  RefreshDevices(&KnownDevices, DeviceFilter::kEveryInterface);
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

bool RestartDevice() {
  return Restart(Msg::kRestartDevice, kRestartToApplication);
}

bool EnterUpgradeMode() {
  PrintStepHeading(Msg::kEnterUpgradeMode);
  DeviceModes.upgrade.store(true);
  uint8_t reply[4] = {};
  ExchangeOutcome outcome = ExchangeChecked(MakeFrame(kCmdUpgradeMode, kUpgradeModeEnter), reply,
                                            sizeof(reply), ReplyCheck::kStatusOk);
  bool success = outcome.accepted;
  // A device that answered this request with a refusal stayed out of the
  // mode; a lost or garbled answer may hide one that took effect.
  if (!success && outcome.exchange == 1 && ReplyEchoes(reply, kCmdUpgradeMode))
    DeviceModes.upgrade.store(false);
  PrintStepResult(success);
  return success;
}

bool EnterForcedUpgradeMode(uint8_t* state) {
  return ChangeForcedUpgradeMode(kForcedModeEnter, state);
}

bool LeaveForcedUpgradeMode() {
  return ChangeForcedUpgradeMode(kForcedModeLeave, nullptr);
}
