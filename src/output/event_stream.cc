#include "output/event_stream.h"

#include "output/console_encoding.h"
#include "platform/platform.h"

namespace {

struct EventStreamRecord {
  bool on = false;
  std::string phase;  // the last phase written; empty: none yet
  int percent = -1;   // the last percentage written in it; -1: none
};

EventStreamRecord g_events;

}  // namespace

// Phase names are program constants of plain ASCII: nothing to escape.
std::string FormatPhaseEvent(const std::string& phase, int32_t ms) {
  return "{\"event\":\"phase\",\"phase\":\"" + phase + "\",\"ms\":" + std::to_string(ms) + "}";
}

std::string FormatProgressEvent(const std::string& phase, int percent, int32_t ms) {
  return "{\"event\":\"progress\",\"phase\":\"" + phase +
         "\",\"percent\":" + std::to_string(percent) + ",\"ms\":" + std::to_string(ms) + "}";
}

const char* PhaseOfStep(Msg heading) {
  switch (heading) {
    case Msg::kEnterForcedMode:
    case Msg::kEnterUpgradeMode:
    case Msg::kWaitForcedMode:
    case Msg::kConfirmFirmwareInfo:
    case Msg::kUpgradeStarts:
      return kPhaseUpgradeMode;
    case Msg::kDownloadFirmware:
      return kPhaseDownloading;
    case Msg::kDownloadPassthrough:
      return kPhaseDownloadingPassthrough;
    case Msg::kVerifyResult:
      return kPhaseVerifying;
    case Msg::kRestartDevice:
    case Msg::kResetToBootloader:
    case Msg::kWaitRestartConnection:
    case Msg::kWaitBootloader:
      return kPhaseRestarting;
    case Msg::kWaitVerifyVersion:
      return kPhaseCheckingVersion;
    case Msg::kSwitchPassthroughOn:
    case Msg::kSwitchPassthroughOff:
      return kPhasePassthrough;
    case Msg::kExitForcedMode:
      return kPhaseLeavingUpgradeMode;
    default:
      return nullptr;
  }
}

void BeginEventStream(bool on) {
  g_events = EventStreamRecord();
  g_events.on = on;
}

void EndEventStream() {
  g_events = EventStreamRecord();
}

void NoteEventPhase(const char* phase) {
  if (!g_events.on || phase == nullptr || g_events.phase == phase)
    return;
  g_events.phase = phase;
  g_events.percent = -1;
  WriteResultLine(FormatPhaseEvent(g_events.phase, NowMs()));
}

void NoteStepPhase(Msg heading) {
  NoteEventPhase(PhaseOfStep(heading));
}

void NoteTransferProgress(int64_t length, int64_t sent) {
  if (!g_events.on || length <= 0)
    return;
  int64_t percent = sent * 100 / length;
  percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  if (percent == g_events.percent)
    return;
  g_events.percent = static_cast<int>(percent);
  WriteResultLine(FormatProgressEvent(g_events.phase, g_events.percent, NowMs()));
}
