// The two output flags, the clock readings behind elapsed times, the log-line
// printer and the in-place progress lines.
#ifndef QUORVEL_OUTPUT_LOG_PRINTERS_H_
#define QUORVEL_OUTPUT_LOG_PRINTERS_H_

#include <cstdint>
#include <string>

#include "output/message_table.h"

// Each of these names a field of one process-wide record (see
// ResetOutputState), so that a reset cannot miss one. The two percentages
// are what the in-place progress lines last drew: a download and the waits
// after it advance the same line across many procedures, so the printer
// keeps them rather than every caller.
// Nonzero: English; zero: Chinese.
extern int32_t& UiLanguage;
// Nonzero: step, status and progress messages are printed.
extern uint8_t& LogEnabled;
extern int32_t& CommandStartTime;
extern int32_t& StepStartTime;
extern int32_t& LastDownloadPercent;
extern int32_t& LastWaitPercent;

// Which elapsed times follow a log line's text: none, the command's only
// (" (12.345s)"), or the step's and the command's (" (0.532s, 12.345s)").
enum class LogTimes { kNone, kCommand, kStepAndCommand };
// Whether the step clock restarts after the line: a step's heading starts it.
enum class StepClock { kRunsOn, kRestarts };

// Writes ">> ", the text, the times and a line end; always printed (callers
// check LogEnabled).
void PrintLogLine(LogTimes times, StepClock clock, const std::string& text);
// A line without times that leaves the step clock running.
void PrintLogLine(const std::string& text);
std::string FormatSeconds(double seconds);
// Upper-case hexadecimal digits, with or without a leading "0x".
enum class HexStyle { kPrefixed, kBare };
// value in at least width digits, zero-padded.
std::string FormatHex(uint32_t value, int width, HexStyle style);
void PrintParameterError();
// The step's result line with its times; notes a failed step. Printed only
// while logging is on.
void PrintStepResult(bool success);
// The same line whatever the log setting (the version report's).
void PrintStepResultAlways(bool success);
// A progress line is redrawn in place while it runs; the final drawing ends
// it with a line end.
enum class Progress { kRunning, kFinal };
// Draws done of total in percent when the percentage changed (or with
// kFinal); the download's line whatever the log setting.
void PrintDownloadProgress(int64_t total, int64_t done, Progress progress);
// The wait's line, only while logging is on.
void PrintWaitProgress(int32_t total, int32_t done, Progress progress);

// True while a download progress line has been drawn but not ended.
bool DownloadProgressLineOpen();
// Ends an open download progress line with a bare line end.
void EndDownloadProgressLine();
// Ends whichever progress line is open, a download's or a wait's, so that
// what follows starts on a line of its own; nothing when none is.
void EndOpenProgressLine();

// The command's steps, followed whatever the log setting, so that a failed
// command can say which step failed (on standard error, and in its --json
// record): the heading or wait reason of the step under way, and that of
// the first one that failed, even when its sequence went on to tidy up.
// They are fields of the output record: the heading and result printers
// that every procedure calls note them, so they follow the printed steps
// without a record travelling through every printer call. A heading also
// moves the --events stream to its step's phase (output/event_stream.h).
void NoteStepHeading(Msg heading);
// The current step failed (its result line, or a wait's time-out).
void NoteStepFailed();
// The first failed step's heading (*failed true), else the last heading
// (*failed false; empty when none), in the user's language.
std::string StepForFailureLine(bool* failed);
// The first failed step's heading in English; empty when no step failed.
std::string FailedStepText();
// Forgets both; a command starts with none, and --json forgets what its
// reading of the versions before the command noted.
void ClearStepNotes();

// Puts every flag, clock reading, percentage and step note back to its
// start value, the output state by assigning a default-constructed record,
// the one the program starts with; text output is no longer suppressed and
// no event stream runs.
void ResetOutputState();

#endif  // QUORVEL_OUTPUT_LOG_PRINTERS_H_
