#include "output/log_printers.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

#include "output/console_encoding.h"
#include "output/event_stream.h"
#include "output/status_printers.h"
#include "platform/platform.h"

namespace {

// The output state with its start values: the program starts with a
// default-constructed record and ResetOutputState assigns one.
struct OutputStateRecord {
  int32_t uiLanguage = 0;
  uint8_t logEnabled = 1;
  int32_t commandStartTime = 0;
  int32_t stepStartTime = 0;
  int32_t lastDownloadPercent = 0;
  int32_t lastWaitPercent = 0;
  bool downloadLineOpen = false;
  // A wait's percent line (at the prompt) drawn and not yet ended by its
  // final draw or by the next log line.
  bool waitLineOpen = false;
  // Step notes: headings as message IDs, so that the failure line on
  // standard error shows them in the user's language, the --json record in
  // English.
  bool hasStepUnderWay = false;
  Msg stepUnderWay = Msg::kStepSuccess;
  bool hasFailedStep = false;
  Msg firstFailedStep = Msg::kStepSuccess;
};

OutputStateRecord g_output;

}  // namespace

int32_t& UiLanguage = g_output.uiLanguage;
uint8_t& LogEnabled = g_output.logEnabled;
int32_t& CommandStartTime = g_output.commandStartTime;
int32_t& StepStartTime = g_output.stepStartTime;
int32_t& LastDownloadPercent = g_output.lastDownloadPercent;
int32_t& LastWaitPercent = g_output.lastWaitPercent;

namespace {

std::string ElapsedSeconds(int32_t now, int32_t since) {
  return FormatSeconds(static_cast<double>(now - since) / 1000.0);
}

// done * 100 / total, at most 100, in 64 bits: for images above about 20 MB
// the product no longer fits 32 bits, and in command-line mode the total
// itself does not above about 1.95 GB. A zero total (no caller passes one)
// shows 100 instead of dividing by zero.
int32_t Percent(int64_t total, int64_t done) {
  if (total <= 0)
    return 100;
  int64_t percent = done * 100 / total;
  return percent > 100 ? 100 : static_cast<int32_t>(percent);
}

// Returns whether anything was drawn.
bool PrintProgress(int64_t total, int64_t done, Progress progress, const std::string& label,
                   int32_t* lastPercent) {
  const bool final = progress == Progress::kFinal;
  int32_t percent = Percent(total, done);
  if (!final && percent > 0 && percent == *lastPercent)
    return false;
  *lastPercent = percent;
  char number[16];
  snprintf(number, sizeof(number), "%3d%%", static_cast<int>(percent));
  WriteOut("\r" + label + number);
  FlushOut();
  if (final) {
    WriteOut("\n");
    FlushOut();
  }
  return true;
}

}  // namespace

void PrintLogLine(LogTimes times, StepClock clock, const std::string& text) {
  std::string line = ">> " + text;
  int32_t now = NowMs();
  if (times == LogTimes::kStepAndCommand) {
    line += " (" + ElapsedSeconds(now, StepStartTime) + "s, " +
            ElapsedSeconds(now, CommandStartTime) + "s)";
  } else if (times == LogTimes::kCommand) {
    line += " (" + ElapsedSeconds(now, CommandStartTime) + "s)";
  }
  WriteLine(line);
  g_output.waitLineOpen = false;
  if (clock == StepClock::kRestarts)
    StepStartTime = NowMs();
}

void PrintLogLine(const std::string& text) {
  PrintLogLine(LogTimes::kNone, StepClock::kRunsOn, text);
}

std::string FormatSeconds(double seconds) {
  std::ostringstream stream;
  stream << std::fixed << std::setprecision(3) << seconds;
  return stream.str();
}

std::string FormatHex(uint32_t value, int width, HexStyle style) {
  std::ostringstream stream;
  stream << std::uppercase << std::hex << std::setfill('0') << std::setw(width) << value;
  return (style == HexStyle::kPrefixed ? "0x" : "") + stream.str();
}

void PrintParameterError() {
  if (!LogEnabled)
    return;
  PrintLogLine(Text(Msg::kParameterError));
}

void PrintStepResultAlways(bool success) {
  if (!success)
    NoteStepFailed();
  PrintLogLine(LogTimes::kStepAndCommand, StepClock::kRunsOn,
               Text(success ? Msg::kStepSuccess : Msg::kStepFailure));
}

void PrintStepResult(bool success) {
  if (!LogEnabled) {
    if (!success)
      NoteStepFailed();
    return;
  }
  PrintStepResultAlways(success);
}

void PrintDownloadProgress(int64_t total, int64_t done, Progress progress) {
  if (PrintProgress(total, done, progress, Text(Msg::kDownloadProgressLabel),
                    &LastDownloadPercent)) {
    g_output.downloadLineOpen = progress != Progress::kFinal;
  }
}

bool DownloadProgressLineOpen() {
  return g_output.downloadLineOpen;
}

void EndDownloadProgressLine() {
  if (!g_output.downloadLineOpen)
    return;
  WriteOut("\n");
  FlushOut();
  g_output.downloadLineOpen = false;
}

void PrintWaitProgress(int32_t total, int32_t done, Progress progress) {
  if (!LogEnabled)
    return;
  if (PrintProgress(total, done, progress, Text(Msg::kWaitProgressLabel), &LastWaitPercent))
    g_output.waitLineOpen = progress != Progress::kFinal;
}

void EndOpenProgressLine() {
  if (g_output.waitLineOpen) {
    WriteOut("\n");
    FlushOut();
    g_output.waitLineOpen = false;
    return;
  }
  EndDownloadProgressLine();
}

void NoteStepHeading(Msg heading) {
  g_output.hasStepUnderWay = true;
  g_output.stepUnderWay = heading;
  NoteStepPhase(heading);
}

void NoteStepFailed() {
  if (!g_output.hasFailedStep && g_output.hasStepUnderWay) {
    g_output.hasFailedStep = true;
    g_output.firstFailedStep = g_output.stepUnderWay;
  }
}

std::string StepForFailureLine(bool* failed) {
  *failed = g_output.hasFailedStep;
  if (g_output.hasFailedStep)
    return Text(g_output.firstFailedStep);
  return g_output.hasStepUnderWay ? Text(g_output.stepUnderWay) : "";
}

std::string FailedStepText() {
  // The --json record is read by scripts: its step names are English
  // whatever the user's language.
  const bool english = true;
  return g_output.hasFailedStep ? MessageUtf8(g_output.firstFailedStep, english) : "";
}

void ClearStepNotes() {
  g_output.hasStepUnderWay = false;
  g_output.hasFailedStep = false;
}

void ResetOutputState() {
  g_output = OutputStateRecord{};
  TextOutputSuppressed = false;
  EndEventStream();
}
