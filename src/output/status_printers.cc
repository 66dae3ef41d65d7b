#include "output/status_printers.h"

#include "output/console_encoding.h"
#include "output/log_printers.h"

void PrintStepHeading(Msg heading) {
  NoteStepHeading(heading);
  if (!LogEnabled)
    return;
  PrintLogLine(LogTimes::kNone, StepClock::kRestarts, Text(heading));
}

void PrintDeviceWait(DeviceWaitLine line, const std::string& displayName) {
  if (!LogEnabled)
    return;
  Msg leadIn = line == DeviceWaitLine::kWaitToConnect ? Msg::kWaitToConnectLeadIn
                                                      : Msg::kQueryConnectedLeadIn;
  // Written directly: no space after ">>", no times, the step clock runs on.
  WriteLine(">>" + Text(leadIn) + "\"" + displayName + "\"");
}

void PrintWaitReason(WaitKind waitKind, bool checkVersion, int32_t timeoutMs) {
  Msg reason = Msg::kWaitBootloader;
  if (waitKind == kWaitForcedMode) {
    reason = Msg::kWaitForcedMode;
  } else if (waitKind == kWaitRestart) {
    reason = checkVersion ? Msg::kWaitVerifyVersion : Msg::kWaitRestartConnection;
  }
  NoteStepHeading(reason);
  if (!LogEnabled)
    return;
  PrintLogLine(LogTimes::kNone, StepClock::kRestarts,
               Text(reason) + Text(Msg::kTimeoutOpen) + std::to_string(timeoutMs / 1000) +
                   Text(Msg::kTimeoutClose));
}

void PrintFirmwareKind(ImagePart part, uint8_t replyKind, bool twoPart) {
  if (!LogEnabled)
    return;
  Msg kind;
  if (twoPart) {
    kind = part == ImagePart::kWhole ? Msg::kPartControllerAndApp
           : part == ImagePart::kApp ? Msg::kPartApp
                                     : Msg::kPartController;
  } else {
    kind = replyKind != 0 ? Msg::kPartApp : Msg::kPartController;
  }
  PrintLogLine(Text(Msg::kFirmwareInformation) + Text(kind));
}

void PrintDownloadFailure(uint32_t size, uint32_t location) {
  if (!LogEnabled)
    return;
  PrintLogLine(LogTimes::kStepAndCommand, StepClock::kRunsOn,
               Text(Msg::kProgramFileSize) + FormatHex(size, 8, HexStyle::kPrefixed) +
                   Text(Msg::kDownloadFailedLocation) +
                   FormatHex(location, 8, HexStyle::kPrefixed));
}
