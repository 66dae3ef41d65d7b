// The Windows platform on a real Windows API (Wine in CI): clock, named
// mutex, locale, text conversions, the wide command line and file names.
// scripts/check-windows runs it under a Chinese and an English locale and
// says through QUORVEL_EXPECTED_LANGUAGE and QUORVEL_EXPECTED_ENCODING what
// the platform must then report.
#include "platform/platform_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "image/file_reader.h"
#include "platform/child_process.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"
#include "platform/wide_text_win32.h"

namespace {

// "中文" and "接收器" (receiver) in UTF-8, UTF-16 and GBK.
const char kChineseUtf8[] = "\xE4\xB8\xAD\xE6\x96\x87";
const char kChineseGbk[] = "\xD6\xD0\xCE\xC4";
const wchar_t kReceiverWide[] = L"\u63a5\u6536\u5668";
const char kReceiverGbk[] = "\xBD\xD3\xCA\xD5\xC6\xF7";

std::string Expected(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string UniqueName(const char* what) {
  return std::string("quorvel-test-") + std::to_string(GetCurrentProcessId()) + "-" + what;
}

TEST(PlatformWin32Clock, CountsMillisecondsForwardFromProcessStart) {
  const int32_t first = NowMs();
  EXPECT_GE(first, 0);
  int32_t last = first;
  for (int i = 0; i < 100000; ++i) {
    const int32_t now = NowMs();
    ASSERT_GE(now, last) << "the clock went back";
    last = now;
  }
  const int32_t beforeSleep = NowMs();
  SleepMs(100);
  // Sleep may end up to one timer tick early; it never ends much earlier.
  EXPECT_GE(NowMs() - beforeSleep, 100 - 16);
  const int32_t deadline = NowMs() + 20;
  SpinUntilMs(deadline);
  EXPECT_GE(NowMs(), deadline);
}

TEST(PlatformWin32Clock, NonPositiveSleepsReturnAtOnce) {
  // A zero or negative pause must not become a wait of 49 days (-5 as a
  // DWORD); five seconds stands for "at once" on a machine under any load.
  const int32_t before = NowMs();
  SleepMs(0);
  SleepMs(-5);
  SpinUntilMs(before - 10);
  EXPECT_LT(NowMs() - before, 5000);
}

TEST(PlatformWin32Lock, NamedMutexKeepsASecondHolderOff) {
  const std::string name = UniqueName("lock");
  intptr_t first = 0;
  ASSERT_EQ(g_platform.acquireDeviceLock(name, &first), DeviceLockResult::kTaken);
  intptr_t second = 0;
  EXPECT_EQ(g_platform.acquireDeviceLock(name, &second), DeviceLockResult::kHeldElsewhere);
  intptr_t other = 0;
  ASSERT_EQ(g_platform.acquireDeviceLock(name + "-other", &other), DeviceLockResult::kTaken);
  g_platform.releaseDeviceLock(other);
  g_platform.releaseDeviceLock(first);
  // Closing the only handle deletes the mutex: the name is free again.
  ASSERT_EQ(g_platform.acquireDeviceLock(name, &second), DeviceLockResult::kTaken);
  g_platform.releaseDeviceLock(second);
}

TEST(PlatformWin32Lock, AMutexOfTheSameNameFromElsewhereCounts) {
  // As another process would hold it: a handle the platform did not make.
  const std::string name = UniqueName("foreign");
  HANDLE foreign = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(foreign, nullptr);
  intptr_t handle = 0;
  EXPECT_EQ(g_platform.acquireDeviceLock(name, &handle), DeviceLockResult::kHeldElsewhere);
  CloseHandle(foreign);
  ASSERT_EQ(g_platform.acquireDeviceLock(name, &handle), DeviceLockResult::kTaken);
  g_platform.releaseDeviceLock(handle);
}

TEST(PlatformWin32Locale, ReportsTheUserLanguageInLowerCase) {
  std::string language;
  ASSERT_TRUE(g_platform.localeLanguage(&language));
  ASSERT_GE(language.size(), 2u);
  for (char c : language) {
    EXPECT_TRUE(c >= 'a' && c <= 'z') << language;
  }
  const std::string expected = Expected("QUORVEL_EXPECTED_LANGUAGE");
  if (!expected.empty()) {
    EXPECT_EQ(language, expected);
  }
}

TEST(PlatformWin32Encoding, GbkOnlyForCodePage936) {
  EXPECT_EQ(ConsoleEncodingForCodePage(936), ConsoleEncoding::kGbk);
  EXPECT_EQ(ConsoleEncodingForCodePage(65001), ConsoleEncoding::kUtf8);
  EXPECT_EQ(ConsoleEncodingForCodePage(437), ConsoleEncoding::kUtf8);
  EXPECT_EQ(ConsoleEncodingForCodePage(1252), ConsoleEncoding::kUtf8);
}

TEST(PlatformWin32Encoding, RedirectedOutputFollowsTheAnsiCodePage) {
  const std::string expected = Expected("QUORVEL_EXPECTED_ENCODING");
  if (expected.empty())
    GTEST_SKIP() << "QUORVEL_EXPECTED_ENCODING is not set";
  const ConsoleEncoding encoding = g_platform.consoleEncoding();
  EXPECT_EQ(encoding == ConsoleEncoding::kGbk ? "gbk" : "utf8", expected);
}

std::string Wide(const wchar_t* text) {
  return std::string(reinterpret_cast<const char*>(text), wcslen(text) * sizeof(wchar_t));
}

TEST(PlatformWin32Encoding, Utf8ToGbkConvertsOrRefuses) {
  std::string gbk = "kept";
  const std::string utf8 = std::string("ok ") + kChineseUtf8 + "\xEF\xBC\x81";
  ASSERT_TRUE(ConvertEncoding("UTF-8", "GBK", utf8.data(), utf8.size(), &gbk));
  EXPECT_EQ(gbk, std::string("ok ") + kChineseGbk + "\xA3\xA1");  // full-width "!"
  ASSERT_TRUE(ConvertEncoding("UTF-8", "GBK", "", 0, &gbk));
  EXPECT_EQ(gbk, "");
  gbk = "kept";
  EXPECT_FALSE(ConvertEncoding("UTF-8", "GBK", "\xF0\x9F\x96\xB1", 4, &gbk));  // no GBK form
  EXPECT_FALSE(ConvertEncoding("UTF-8", "GBK", "\xC3", 1, &gbk));              // cut UTF-8
  EXPECT_FALSE(ConvertEncoding("UTF-8", "LATIN1", "a", 1, &gbk));              // not offered
  EXPECT_EQ(gbk, "kept");
}

TEST(PlatformWin32Encoding, DeviceStringsToGbkOrUtf8) {
  std::string text = "kept";
  const std::string receiver = Wide(kReceiverWide);
  ASSERT_TRUE(ConvertEncoding("WCHAR_T", "GBK", receiver.data(), receiver.size(), &text));
  EXPECT_EQ(text, kReceiverGbk);
  const std::string accent = Wide(L"Receiver \u00e9 \U0001F5B1");
  ASSERT_TRUE(ConvertEncoding("WCHAR_T", "UTF-8", accent.data(), accent.size(), &text));
  EXPECT_EQ(text, "Receiver \xC3\xA9 \xF0\x9F\x96\xB1");
  text = "kept";
  const std::string emoji = Wide(L"\U0001F5B1");
  EXPECT_FALSE(ConvertEncoding("WCHAR_T", "GBK", emoji.data(), emoji.size(), &text));
  EXPECT_FALSE(ConvertEncoding("WCHAR_T", "UTF-8", "abc", 3, &text));  // half a character
  EXPECT_EQ(text, "kept");
  ASSERT_TRUE(ConvertEncoding("GBK", "WCHAR_T", kReceiverGbk, 6, &text));
  EXPECT_EQ(text, receiver);
}

TEST(PlatformWin32WideText, Utf8AndUtf16BothWays) {
  EXPECT_EQ(Utf8ToWide(kChineseUtf8), std::wstring(L"\u4e2d\u6587"));
  EXPECT_EQ(WideToUtf8(L"\u4e2d\u6587"), kChineseUtf8);
  // Outside the basic plane: a surrogate pair on the UTF-16 side.
  const std::string mouse = "Receiver \xC3\xA9 \xF0\x9F\x96\xB1";
  EXPECT_EQ(Utf8ToWide(mouse), std::wstring(L"Receiver \u00e9 \U0001F5B1"));
  EXPECT_EQ(WideToUtf8(Utf8ToWide(mouse)), mouse);
  EXPECT_EQ(Utf8ToWide(""), std::wstring());
  EXPECT_EQ(WideToUtf8(L""), "");
  // A lone surrogate has no UTF-8 form: no text rather than a "?" in it.
  EXPECT_EQ(WideToUtf8(L"a\xD800"), "");
}

TEST(PlatformWin32Encoding, CodePageConversionRefusesWhatItCannotShow) {
  std::string text;
  ASSERT_TRUE(WideToCodePage(L"Receiver \u00e9", CP_UTF8, &text));
  EXPECT_EQ(text, "Receiver \xC3\xA9");
  ASSERT_TRUE(WideToCodePage(L"Receiver \u00e9", 1252, &text));
  EXPECT_EQ(text, "Receiver \xE9");
  text = "kept";
  EXPECT_FALSE(WideToCodePage(kReceiverWide, 1252, &text));  // not "???"
  EXPECT_FALSE(WideToCodePage(L"a\xD800", CP_UTF8, &text));  // a lone surrogate
  EXPECT_EQ(text, "kept");
}

TEST(PlatformWin32Encoding, RedirectedInputLinesBecomeUtf8) {
  EXPECT_EQ(InputBytesToUtf8("dfu 248a 8266", 936), "dfu 248a 8266");
  EXPECT_EQ(InputBytesToUtf8(kChineseUtf8, 936), kChineseUtf8);
  EXPECT_EQ(InputBytesToUtf8(kChineseGbk, 936), kChineseUtf8);
  // GBK's second bytes include the ASCII capitals: converted before the
  // prompt lowercases the line, a GBK file name keeps its characters.
  EXPECT_EQ(InputBytesToUtf8("-d \xB9\x41.bin", 936), "-d \xE7\xAC\xB0.bin");
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_FALSE(IsValidUtf8("\xB9\x41"));
}

TEST(PlatformWin32CommandLine, WideArgumentsArriveAsUtf8) {
  const std::vector<std::string> arguments = SplitWideCommandLine(
      L"\"C:\\Program Files\\quorvel-dfu.exe\" 248a 8266 -d \"C:\\\u56fa\u4ef6 dir\\fw.bin\" "
      L"-t D:\\\u00e9.bin");
  const std::vector<std::string> expected = {
      "248a", "8266", "-d", "C:\\\xE5\x9B\xBA\xE4\xBB\xB6 dir\\fw.bin", "-t", "D:\\\xC3\xA9.bin"};
  EXPECT_EQ(arguments, expected);
  EXPECT_TRUE(SplitWideCommandLine(L"quorvel-dfu.exe").empty());
  // The real command line: this test program's own name is left out.
  const std::vector<std::string> own = ProgramArguments(0, nullptr);
  for (const std::string& argument : own) {
    EXPECT_EQ(argument.find(".exe"), std::string::npos) << argument;
  }
}

TEST(PlatformWin32Files, ChineseAndSpacedFileNamesOpen) {
  wchar_t directory[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, directory), 0u);
  const std::wstring wideName = std::wstring(directory) + L"quorvel \u56fa\u4ef6 " +
                                std::to_wstring(GetCurrentProcessId()) + L".bin";
  FILE* file = _wfopen(wideName.c_str(), L"wb");
  ASSERT_NE(file, nullptr);
  const char bytes[] = {'\x3D', '\xB8', '\x00', '\x96'};
  ASSERT_EQ(fwrite(bytes, 1, sizeof(bytes), file), sizeof(bytes));
  fclose(file);

  const std::string name = WideToUtf8(wideName);
  EXPECT_EQ(ProbeReadableFile(name), FileReadResult::kOk);
  std::vector<uint8_t> read;
  EXPECT_EQ(ReadWholeFile(name, 1024, &read), FileReadResult::kOk);
  EXPECT_EQ(read, std::vector<uint8_t>({0x3D, 0xB8, 0x00, 0x96}));
  EXPECT_EQ(ReadWholeFile(name + ".missing", 1024, &read), FileReadResult::kNotFound);
  _wremove(wideName.c_str());
}

// The station's log under a Chinese file name: appended to, never
// truncated; a directory is refused with the system's reason.
TEST(PlatformWin32Files, TheLogIsAppendedToAndNeverTruncated) {
  wchar_t directory[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, directory), 0u);
  const std::string name = WideToUtf8(std::wstring(directory) + L"quorvel \u65e5\u5fd7 " +
                                      std::to_wstring(GetCurrentProcessId()) + L".jsonl");
  std::string error;
  for (const char* line : {"{\"first\":1}\n", "{\"second\":2}\n"}) {
    intptr_t handle = 0;
    ASSERT_TRUE(OpenLogForAppend(name, &handle, &error)) << error;
    EXPECT_TRUE(AppendAndSync(handle, line, &error)) << error;
    CloseLog(handle);
  }
  std::vector<uint8_t> read;
  EXPECT_EQ(ReadWholeFile(name, 1024, &read), FileReadResult::kOk);
  EXPECT_EQ(std::string(read.begin(), read.end()), "{\"first\":1}\n{\"second\":2}\n");
  _wremove(Utf8ToWide(name).c_str());
  intptr_t handle = 0;
  EXPECT_FALSE(OpenLogForAppend(WideToUtf8(directory), &handle, &error));
  EXPECT_FALSE(error.empty());
}

TEST(PlatformWin32Clock, LocalTimeHasTheZonesOffset) {
  const std::string now = NativePlatform().localTimeIso8601();
  ASSERT_EQ(now.size(), 29u) << now;
  TIME_ZONE_INFORMATION zone{};
  const DWORD id = GetTimeZoneInformation(&zone);
  const LONG bias = zone.Bias + (id == TIME_ZONE_ID_DAYLIGHT   ? zone.DaylightBias
                                 : id == TIME_ZONE_ID_STANDARD ? zone.StandardBias
                                                               : 0);
  const LONG offset = -bias;
  char expected[8];
  snprintf(expected, sizeof(expected), "%c%02ld:%02ld", offset < 0 ? '-' : '+',
           (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
  EXPECT_EQ(now.substr(23), expected) << now;
}

TEST(PlatformWin32Devices, RescanRequestReturnsWithoutWaiting) {
  // Asynchronous by contract: nothing to wait for, whatever the system does
  // (five seconds stands for "at once" on a machine under any load).
  const int32_t before = NowMs();
  g_platform.rescanDevices();
  g_platform.rescanDevices();
  EXPECT_LT(NowMs() - before, 5000);
}

// A real interface path, made up, and paths that are no interface at all:
// the configuration manager knows none of them (and Wine lacks the interface
// lookup), so they have no port, and asking neither fails nor waits.
TEST(PlatformWin32Devices, PathsOfNoPresentInterfaceHaveNoPort) {
  const int32_t before = NowMs();
  for (const char* path :
       {"\\\\?\\HID#VID_248A&PID_8266&MI_01#7&2a3b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
        "\\\\?\\HID#VID_248A&PID_8266#x#{4d1e55b2-f16f-11cf-88cb-001111000030}", "/dev/hidraw0", "",
        "\xFF\xFE"}) {
    EXPECT_EQ(g_platform.usbPort(path), "") << path;
  }
  EXPECT_LT(NowMs() - before, 5000);
}

// Ctrl-C itself cannot be typed into Wine without a console; the handler is
// called as the system would call it, in a child process it ends.
TEST(PlatformWin32Interrupt, CtrlCEndsTheProcessWithTheSigintStatus) {
  if (!Expected("QUORVEL_INTERRUPT_CHILD").empty()) {
    HandleConsoleControl(CTRL_C_EVENT);
    FAIL() << "the handler returned";
  }
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring commandLine =
      std::wstring(L"\"") + self +
      L"\" --gtest_filter=PlatformWin32Interrupt.CtrlCEndsTheProcessWithTheSigintStatus";
  SetEnvironmentVariableW(L"QUORVEL_INTERRUPT_CHILD", L"1");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child = {};
  const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &child);
  SetEnvironmentVariableW(L"QUORVEL_INTERRUPT_CHILD", nullptr);
  ASSERT_TRUE(started);
  ASSERT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
  DWORD status = 0;
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  EXPECT_EQ(status, kInterruptedExitStatus);
}

// The station reads its children's pipes without blocking: nothing yet,
// then the child's bytes, then the end once it has gone (a broken pipe).
TEST(PlatformWin32ChildPipe, ReadWithoutWaitingUntilItsEnd) {
  if (!Expected("QUORVEL_PIPE_CHILD").empty()) {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    std::exit(0);
  }
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  SetEnvironmentVariableW(L"QUORVEL_PIPE_CHILD", L"1");
  ChildProcess child;
  std::string error;
  const bool started = StartChildProcess(
      {WideToUtf8(self), "--gtest_filter=PlatformWin32ChildPipe.*"}, &child, &error);
  SetEnvironmentVariableW(L"QUORVEL_PIPE_CHILD", nullptr);
  ASSERT_TRUE(started) << error;
  std::string text;
  char buffer[64];
  int64_t got = 0;
  // A hang guard only.
  for (int turn = 0; turn < 60000 && (got = ReadChildPipeNow(child.outPipe, buffer, 64)) >= 0;
       ++turn) {
    text.append(buffer, static_cast<size_t>(got));
    if (got == 0)
      Sleep(1);
  }
  EXPECT_EQ(got, -1);
  EXPECT_NE(text.find("ready"), std::string::npos) << text;
  CloseChildPipe(child.outPipe);
  CloseChildPipe(child.errPipe);
  EXPECT_EQ(WaitForChildProcess(&child), 0);
}

TEST(PlatformWin32Interrupt, HandlerIsRegisteredAndPassesOtherEventsOn) {
  EXPECT_FALSE(HandleConsoleControl(CTRL_LOGOFF_EVENT));
  EXPECT_FALSE(HandleConsoleControl(CTRL_SHUTDOWN_EVENT));
  InstallInterruptHandler();
  // Removing succeeds only for a handler that is registered.
  EXPECT_TRUE(SetConsoleCtrlHandler(HandleConsoleControl, FALSE));
}

}  // namespace
