// Log lines, elapsed times and the in-place progress lines.
#include "output/log_printers.h"

#include <gtest/gtest.h>

#include <limits>

#include "dfu/firmware_transfer.h"
#include "output/console_encoding.h"
#include "support/output_test.h"
#include "support/virtual_platform.h"

namespace {

using LogOutputTest = OutputTest;

TEST_F(LogOutputTest, TimeSuffixesCountFromStepAndCommand) {
  g_virtual.now = 1000;
  CommandStartTime = 1000;
  PrintLogLine(LogTimes::kNone, StepClock::kRestarts, "Read the firmware version of the device");
  EXPECT_EQ(TakeOutput(), ">> Read the firmware version of the device\n");
  EXPECT_EQ(StepStartTime, 1000);
  g_virtual.now = 1532;
  PrintLogLine(LogTimes::kStepAndCommand, StepClock::kRunsOn, ": Successful execution!");
  EXPECT_EQ(TakeOutput(), ">> : Successful execution! (0.532s, 0.532s)\n");
  g_virtual.now = 13345;
  PrintLogLine(LogTimes::kCommand, StepClock::kRunsOn, "DFU success!");
  EXPECT_EQ(TakeOutput(), ">> DFU success! (12.345s)\n");
}

TEST_F(LogOutputTest, StepClockRestartsAfterTheLineEvenWithoutTimes) {
  g_virtual.now = 500;
  PrintLogLine(LogTimes::kNone, StepClock::kRestarts, "step");
  g_virtual.now = 700;
  PrintLogLine("status");
  EXPECT_EQ(StepStartTime, 500);
  PrintLogLine(LogTimes::kStepAndCommand, StepClock::kRestarts, "result");
  EXPECT_EQ(StepStartTime, 700);
  EXPECT_EQ(TakeOutput(), ">> step\n>> status\n>> result (0.200s, 0.700s)\n");
}

TEST_F(LogOutputTest, FormatsSecondsAndHex) {
  EXPECT_EQ(FormatSeconds(0.5), "0.500");
  EXPECT_EQ(FormatSeconds(12.0471), "12.047");
  EXPECT_EQ(FormatSeconds(0), "0.000");
  EXPECT_EQ(FormatHex(26, 2, HexStyle::kPrefixed), "0x1A");
  EXPECT_EQ(FormatHex(26, 4, HexStyle::kPrefixed), "0x001A");
  EXPECT_EQ(FormatHex(3, 2, HexStyle::kBare), "03");
  EXPECT_EQ(FormatHex(0x12345, 2, HexStyle::kBare), "12345");
  EXPECT_EQ(FormatHex(0, 8, HexStyle::kPrefixed), "0x00000000");
}

TEST_F(LogOutputTest, StepResultAndParameterErrorFollowLogging) {
  LogEnabled = 0;
  PrintStepResult(true);
  PrintParameterError();
  EXPECT_EQ(TakeOutput(), "");
  g_virtual.now = 2000;
  PrintStepResultAlways(false);
  EXPECT_EQ(TakeOutput(), ">> : Execution failed! (2.000s, 2.000s)\n");
  LogEnabled = 1;
  PrintParameterError();
  PrintStepResult(true);
  EXPECT_EQ(TakeOutput(), ">> : Parameter error!\n>> : Successful execution! (2.000s, 2.000s)\n");
}

TEST_F(LogOutputTest, ChineseTextsInBothEncodings) {
  UiLanguage = 0;
  PrintParameterError();
  EXPECT_EQ(TakeOutput(),
            ">> \xEF\xBC\x9A\xE5\x8F\x82\xE6\x95\xB0\xE9\x94\x99\xE8\xAF\xAF\xEF\xBC\x81\n");
  g_virtual.encoding = ConsoleEncoding::kGbk;
  PrintParameterError();
  EXPECT_EQ(TakeOutput(), ">> \xA3\xBA\xB2\xCE\xCA\xFD\xB4\xED\xCE\xF3\xA3\xA1\n");
  PrintWaitProgress(100, 35, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>>:  35%");
}

TEST_F(LogOutputTest, DownloadProgressRedrawRules) {
  LogEnabled = 0;  // the download line prints in both modes
  PrintDownloadProgress(100, 0, Progress::kRunning);
  PrintDownloadProgress(100, 0, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:   0%\r>> : Download progress:   0%");
  PrintDownloadProgress(200, 84, Progress::kRunning);
  PrintDownloadProgress(200, 85, Progress::kRunning);  // still 42 %: not redrawn
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  42%");
  PrintDownloadProgress(200, 85, Progress::kFinal);  // final always draws and ends the line
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  42%\n");
  PrintDownloadProgress(10, 50, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress: 100%");
}

TEST_F(LogOutputTest, ProgressNeverDividesByZeroOrOverflows) {
  PrintDownloadProgress(0, 0, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress: 100%");
  // 20 MiB + 10 %: done * 100 no longer fits 32 bits.
  int32_t length = 20 * 1024 * 1024;
  PrintDownloadProgress(length + length / 10, length, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  90%");
  // The largest image in command-line mode: its total, length + length / 10,
  // is past 32 bits; wrapped, it would be negative and show 100 % at once.
  LogEnabled = 0;
  const int32_t largest = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(DownloadProgressTotal(largest), int64_t{largest} + largest / 10);
  LastDownloadPercent = 0;
  PrintDownloadProgress(DownloadProgressTotal(largest), largest / 2, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  45%");
  PrintDownloadProgress(DownloadProgressTotal(largest), largest, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  90%");
  LogEnabled = 1;
  EXPECT_EQ(DownloadProgressTotal(largest), largest);
  PrintWaitProgress(0, 10, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "\r>>: 100%");
}

TEST_F(LogOutputTest, WaitProgressOnlyWithLoggingAndOwnMemory) {
  LogEnabled = 0;
  PrintWaitProgress(100, 50, Progress::kRunning);
  EXPECT_EQ(TakeOutput(), "");
  LogEnabled = 1;
  PrintDownloadProgress(100, 50, Progress::kRunning);
  PrintWaitProgress(100, 50, Progress::kRunning);  // not suppressed by the download's 50 %
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  50%\r>>:  50%");
  PrintWaitProgress(100, 100, Progress::kFinal);
  EXPECT_EQ(TakeOutput(), "\r>>: 100%\n");
}

TEST_F(LogOutputTest, OpenDownloadLineIsEndedOnce) {
  EndDownloadProgressLine();
  EXPECT_EQ(TakeOutput(), "");
  PrintDownloadProgress(100, 10, Progress::kRunning);
  EXPECT_TRUE(DownloadProgressLineOpen());
  EndDownloadProgressLine();
  EndDownloadProgressLine();
  EXPECT_EQ(TakeOutput(), "\r>> : Download progress:  10%\n");
  PrintDownloadProgress(100, 20, Progress::kFinal);
  EXPECT_FALSE(DownloadProgressLineOpen());
}

// An interrupt's message must not be glued to a wait's percent line: the
// line is ended once, and not at all after its final draw or a log line.
TEST_F(LogOutputTest, OpenWaitLineIsEndedOnce) {
  LogEnabled = 1;
  PrintWaitProgress(100, 4, Progress::kRunning);
  EndOpenProgressLine();
  EndOpenProgressLine();
  EXPECT_EQ(TakeOutput(), "\r>>:   4%\n");
  PrintWaitProgress(100, 6, Progress::kRunning);
  PrintLogLine("x");
  EndOpenProgressLine();
  PrintWaitProgress(100, 100, Progress::kFinal);
  EndOpenProgressLine();
  EXPECT_EQ(TakeOutput(), "\r>>:   6%>> x\n\r>>: 100%\n");
}

}  // namespace
