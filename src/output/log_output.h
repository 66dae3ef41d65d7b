// The two output flags, the clock readings behind elapsed times, the log-line
// printer and the in-place progress lines.
#ifndef QUORVEL_OUTPUT_LOG_OUTPUT_H_
#define QUORVEL_OUTPUT_LOG_OUTPUT_H_

#include <cstdint>
#include <string>

// Nonzero: English; zero: Chinese.
extern int32_t UiLanguage;
// Nonzero: step, status and progress messages are printed.
extern uint8_t LogEnabled;
extern int32_t CommandStartTime;
extern int32_t StepStartTime;
extern int32_t LastDownloadPercent;
extern int32_t LastWaitPercent;

void PrintLogLine(bool showTimes, bool restartStep, bool bothTimes, const std::string& text);
std::string FormatSeconds(double seconds);
std::string FormatHex(uint32_t value, int width, bool withPrefix);
void PrintParameterError();
void PrintStepResult(bool success, bool alwaysPrint);
void PrintDownloadProgress(int64_t total, int64_t done, bool final);
void PrintWaitProgress(int32_t total, int32_t done, bool final);

// True while a download progress line has been drawn but not ended.
bool DownloadProgressLineOpen();
// Ends an open download progress line with a bare line end.
void EndDownloadProgressLine();

// Puts every flag, clock reading and percentage back to its start value.
void ResetOutputState();

#endif  // QUORVEL_OUTPUT_LOG_OUTPUT_H_
