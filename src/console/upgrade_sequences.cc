#include "console/upgrade_sequences.h"

#include <string>

#include "console/arguments.h"
#include "dfu/connection.h"
#include "dfu/firmware_transfer.h"
#include "dfu/mode_control.h"
#include "dfu/passthrough.h"
#include "dfu/protocol.h"
#include "image/image_store.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

constexpr int32_t kVersionWaitMs = 20000;
constexpr int32_t kPlainWaitMs = 10000;

// Enter the upgrade mode, announce, start, download, verify; stops at the
// first failure.
bool RunChain(bool singlePart, bool appSelected) {
  return EnterUpgradeMode() && SendFirmwareInfo(singlePart, appSelected) && StartUpgrade() &&
         DownloadFirmware(singlePart, appSelected) && VerifyFirmware();
}

// Command-line mode shows one progress line, advanced by the download and
// the waits after it: show 100 % on success, and never leave an unfinished
// line behind a failure (a wait that timed out leaves one open too).
void FinishProgress(bool result) {
  if (LogEnabled)
    return;
  if (result) {
    PrintDownloadProgress(100, 100, true);
  } else {
    EndDownloadProgressLine();
  }
}

// The wait after the restart on platforms 2, 3 and 4.
bool WaitAfterRestart() {
  if (DfuSettings.check != 0)
    return WaitForVersion(false, false, kVersionWaitMs);
  return WaitForReturn(kWaitRestart, kPlainWaitMs);
}

// A chip left in its forced upgrade mode by a failed chain is restarted and
// awaited before it is taken out of that mode.
void RecoverRestart() {
  if (RestartDevice())
    WaitForReturn(kWaitRestart, kPlainWaitMs);
}

bool ReconnectForPassthrough() {
  std::string closedPath = HidLink.hasPath ? HidLink.path : std::string();
  CloseLink();
  if (DfuSettings.check)
    return ConnectDevice(false) == 1;
  // The device just closed may still be on the bus (nothing restarted it, or
  // it left the forced upgrade mode without re-enumerating): it must count as
  // new, as it does after a restart.
  RemoveDeviceByPath(&KnownDevices, closedPath.empty() ? nullptr : closedPath.c_str());
  return WaitForReturn(kWaitRestart, kPlainWaitMs);
}

bool RunPassthroughTransfer() {
  if (!ReconnectForPassthrough())
    return false;
  if (!SwitchPassthrough(true))
    return false;
  bool ok =
      SendPassthroughInfo() && StartUpgrade() && DownloadPassthroughFirmware() && VerifyFirmware();
  // Leave passthrough whatever the transfer's outcome.
  bool switchedOff = SwitchPassthrough(false);
  return ok && switchedOff && RestartDevice();
}

// The chain, the restart and the wait inside the forced upgrade mode, which
// is left again whatever happened once it was entered; a chip whose chain
// failed before its restart is restarted and awaited first.
bool RunInForcedUpgradeMode() {
  SnapshotBusWithoutOpenDevice();
  if (!SetForcedUpgradeMode(true, nullptr))
    return false;
  bool restarted = RunChain(false, false) && RestartDevice();
  bool result = restarted && WaitAfterRestart();
  if (!restarted)
    RecoverRestart();
  if (!SetForcedUpgradeMode(false, nullptr))
    result = false;
  return result;
}

}  // namespace

bool RunPlatform0Upgrade() {
  bool result = RunChain(false, false) && RestartDevice();
  if (result && DfuSettings.check) {
    result = WaitForVersion(true, false, kVersionWaitMs);
  }
  FinishProgress(result);
  return result;
}

bool RunUpgrade(bool singlePart, bool appSelected) {
  bool result = RunChain(singlePart, appSelected) && RestartDevice();
  if (result && DfuSettings.check) {
    result = WaitForVersion(singlePart, appSelected, kVersionWaitMs);
  }
  FinishProgress(result);
  return result;
}

bool RunTwoPartUpgrade() {
  bool appFirst = DfuSettings.sort == 1;
  if (!RunUpgrade(true, appFirst))
    return false;
  CloseLink();
  if (ConnectDevice(false) != 1)
    return false;
  return RunUpgrade(true, !appFirst);
}

bool RunPlatform2Upgrade() {
  // A two-part image goes through the forced upgrade mode, a one-part image
  // does not; both are awaited after the restart.
  bool result = TwoPartImage ? RunInForcedUpgradeMode()
                             : RunChain(false, false) && RestartDevice() && WaitAfterRestart();
  FinishProgress(result);
  return result;
}

bool RunPlatform3Upgrade() {
  uint8_t state = kNoForcedState;
  SnapshotBusWithoutOpenDevice();
  bool result = SetForcedUpgradeMode(true, &state);
  if (result && state == kNoForcedState) {
    // The device restarts into the forced upgrade mode by itself.
    CloseLink();
    result = WaitForReturn(kWaitForcedMode, kPlainWaitMs);
  }
  if (result)
    result = RunChain(false, false);
  if (result) {
    switch (state) {
      case kForcedStateRestart:
        result = RestartDevice();
        break;
      case kForcedStateLeave:
        result = SetForcedUpgradeMode(false, nullptr);
        break;
      case kForcedStateLeaveAndRestart:
        result = SetForcedUpgradeMode(false, nullptr) && RestartDevice();
        break;
      default:
        result = RestartDevice() && WaitAfterRestart();
        if (result && !SetForcedUpgradeMode(false, nullptr))
          result = false;
        break;
    }
  }
  FinishProgress(result);
  return result;
}

bool RunForcedUpgrade() {
  bool result = RunInForcedUpgradeMode();
  FinishProgress(result);
  return result;
}

bool RunPlatform4Upgrade() {
  bool result = true;
  if (DfuSettings.has_pg) {
    result = RunForcedUpgrade();
    if (!result)
      return false;
  }
  if (!DfuSettings.has_trans_pg)
    return result;
  result = RunPassthroughTransfer();
  FinishProgress(result);
  return result;
}
