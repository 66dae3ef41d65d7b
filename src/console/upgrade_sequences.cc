#include "console/upgrade_sequences.h"

#include <string>

#include "dfu/connection.h"
#include "dfu/firmware_transfer.h"
#include "dfu/mode_control.h"
#include "dfu/passthrough.h"
#include "dfu/protocol.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "transport/device_list.h"
#include "transport/hid_link.h"

namespace {

constexpr int32_t kVersionWaitMs = 20000;
constexpr int32_t kPlainWaitMs = 10000;

// Enter the upgrade mode, announce, start, download, verify; stops at the
// first failure.
bool RunChain(const Command& command, const TransferImage& transfer, RunRecord* record) {
  return EnterUpgradeMode() && SendFirmwareInfo(transfer) && StartUpgrade() &&
         DownloadFirmware(*transfer.image, PacingOf(command), record) && VerifyFirmware();
}

// Command-line mode shows one progress line, advanced by the download and
// the waits after it: show 100 % on success, and never leave an unfinished
// line behind a failure (a wait that timed out leaves one open too).
void FinishProgress(bool result) {
  if (LogEnabled)
    return;
  if (result) {
    PrintDownloadProgress(100, 100, Progress::kFinal);
  } else {
    EndDownloadProgressLine();
  }
}

bool WaitForRestart(const Command& command, RunRecord* record) {
  return WaitForReturn(command.selection, kWaitRestart, kPlainWaitMs, record);
}

// The wait after the restart on platforms 2, 3 and 4.
bool WaitAfterRestart(const Command& command, const TransferImage& sent, RunRecord* record) {
  if (command.settings.check != 0)
    return WaitForVersion(command.selection, sent, kVersionWaitMs, record);
  return WaitForRestart(command, record);
}

// A chip left in its forced upgrade mode by a failed chain is restarted and
// awaited before it is taken out of that mode.
void RecoverRestart(const Command& command, RunRecord* record) {
  if (RestartDevice())
    WaitForRestart(command, record);
}

bool ReconnectForPassthrough(const Command& command, RunRecord* record) {
  if (command.settings.check) {
    CloseLink();
    return ConnectDevice(command.selection, ConnectWait::kOneScan, record) == 1;
  }
  // The wait takes every interface it does not know as the device coming
  // back, and sends it the handshake. Without a program (-d) nothing has
  // snapshot the whole bus yet: the known list holds only the first
  // connection's matching interfaces, and every keyboard and other vendor's
  // device on the bus would be opened and sent 0A 55. So the whole bus is
  // snapshot now, without the device just used: it may still be on the bus
  // (nothing restarted it, or it left the forced upgrade mode without
  // re-enumerating) and must count as new, as it does after a restart.
  SnapshotBusWithoutOpenDevice();
  CloseLink();
  return WaitForRestart(command, record);
}

bool RunPassthroughTransfer(const Command& command, RunRecord* record) {
  record->passthroughStarted = true;
  if (!ReconnectForPassthrough(command, record))
    return false;
  if (!EnterPassthrough())
    return false;
  const FirmwareImage& image = *command.passthrough;
  bool ok = SendPassthroughInfo(image) && StartUpgrade() &&
            DownloadPassthroughFirmware(image, PacingOf(command), record) && VerifyFirmware();
  record->passthroughVerified = ok;
  // Leave passthrough whatever the transfer's outcome.
  bool switchedOff = LeavePassthrough();
  return ok && switchedOff && RestartDevice();
}

// The chain, the restart and the wait inside the forced upgrade mode, which
// is left again whatever happened once it was entered; a chip whose chain
// failed before its restart is restarted and awaited first.
bool RunInForcedUpgradeMode(const Command& command, RunRecord* record) {
  SnapshotBusWithoutOpenDevice();
  if (!EnterForcedUpgradeMode(nullptr))
    return false;
  const TransferImage whole = TransferOf(command, ImagePart::kWhole);
  bool restarted = RunChain(command, whole, record) && RestartDevice();
  bool result = restarted && WaitAfterRestart(command, whole, record);
  if (!restarted)
    RecoverRestart(command, record);
  if (!LeaveForcedUpgradeMode())
    result = false;
  return result;
}

// After the chain on platform 3: what the chip's forced-upgrade state says
// it needs.
bool FinishPlatform3(const Command& command, uint8_t state, RunRecord* record) {
  switch (state) {
    case kForcedStateRestart:
      return RestartDevice();
    case kForcedStateLeave:
      return LeaveForcedUpgradeMode();
    case kForcedStateLeaveAndRestart:
      return LeaveForcedUpgradeMode() && RestartDevice();
    default:
      return RestartDevice() &&
             WaitAfterRestart(command, TransferOf(command, ImagePart::kWhole), record) &&
             LeaveForcedUpgradeMode();
  }
}

}  // namespace

bool RunPlatform0Upgrade(const Command& command, RunRecord* record) {
  bool result =
      RunChain(command, TransferOf(command, ImagePart::kWhole), record) && RestartDevice();
  // The TQ3410 takes one-part images only, whose every part is the whole; it
  // reports the version of its one firmware as the Controller's.
  if (result && command.settings.check) {
    result = WaitForVersion(command.selection, TransferOf(command, ImagePart::kController),
                            kVersionWaitMs, record);
  }
  FinishProgress(result);
  return result;
}

bool RunUpgrade(const Command& command, ImagePart part, RunRecord* record) {
  const TransferImage transfer = TransferOf(command, part);
  bool result = RunChain(command, transfer, record) && RestartDevice();
  if (result && command.settings.check) {
    result = WaitForVersion(command.selection, transfer, kVersionWaitMs, record);
  }
  FinishProgress(result);
  return result;
}

bool RunTwoPartUpgrade(const Command& command, RunRecord* record) {
  bool appFirst = command.settings.sort == 1;
  if (!RunUpgrade(command, appFirst ? ImagePart::kApp : ImagePart::kController, record))
    return false;
  CloseLink();
  if (ConnectDevice(command.selection, ConnectWait::kOneScan, record) != 1)
    return false;
  return RunUpgrade(command, appFirst ? ImagePart::kController : ImagePart::kApp, record);
}

bool RunPlatform2Upgrade(const Command& command, RunRecord* record) {
  // A two-part image goes through the forced upgrade mode, a one-part image
  // does not; both are awaited after the restart.
  const TransferImage whole = TransferOf(command, ImagePart::kWhole);
  bool result = command.program->twoPart ? RunInForcedUpgradeMode(command, record)
                                         : RunChain(command, whole, record) && RestartDevice() &&
                                               WaitAfterRestart(command, whole, record);
  FinishProgress(result);
  return result;
}

bool RunPlatform3Upgrade(const Command& command, RunRecord* record) {
  uint8_t state = kNoForcedState;
  SnapshotBusWithoutOpenDevice();
  bool result = EnterForcedUpgradeMode(&state);
  if (result && state == kNoForcedState) {
    // The device restarts into the forced upgrade mode by itself.
    CloseLink();
    result = WaitForReturn(command.selection, kWaitForcedMode, kPlainWaitMs, record);
  }
  if (result)
    result = RunChain(command, TransferOf(command, ImagePart::kWhole), record);
  if (result)
    result = FinishPlatform3(command, state, record);
  FinishProgress(result);
  return result;
}

bool RunForcedUpgrade(const Command& command, RunRecord* record) {
  bool result = RunInForcedUpgradeMode(command, record);
  FinishProgress(result);
  return result;
}

bool RunPlatform4Upgrade(const Command& command, RunRecord* record) {
  bool result = true;
  if (command.settings.has_pg) {
    result = RunForcedUpgrade(command, record);
    if (!result)
      return false;
  }
  if (!command.settings.has_trans_pg)
    return result;
  result = RunPassthroughTransfer(command, record);
  FinishProgress(result);
  return result;
}
