// The Windows platform's text conversions and console rules, apart from the
// seam's record so that their unit tests can reach them.
#ifndef QUORVEL_PLATFORM_PLATFORM_WIN32_H_
#define QUORVEL_PLATFORM_PLATFORM_WIN32_H_

#include <string>
#include <vector>

#include "platform/platform.h"

constexpr unsigned kGbkCodePage = 936;
// What a shell reports for a program ended by SIGINT (128 + 2).
constexpr unsigned kInterruptedExitStatus = 130;

std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);
// The wide text in that code page; false, leaving narrow alone, when a
// character has no form there.
bool WideToCodePage(const wchar_t* wide, unsigned codePage, std::string* narrow);
bool IsValidUtf8(const std::string& bytes);
// A line read from redirected input, in UTF-8: kept when it is UTF-8
// already, else read as text in the code page.
std::string InputBytesToUtf8(const std::string& bytes, unsigned codePage);
// The code page standard output is shown in: the console's output code page,
// or the ANSI code page when output goes to a file or a pipe.
unsigned OutputCodePage();
// GBK for code page 936; UTF-8 for every other (65001 above all).
ConsoleEncoding ConsoleEncodingForCodePage(unsigned codePage);
// The arguments after the program name, split as the C runtime splits them,
// in UTF-8.
std::vector<std::string> SplitWideCommandLine(const wchar_t* commandLine);

// The console control handler that InstallInterruptHandler registers:
// Ctrl-C, Ctrl-Break and closing the console end the process with
// kInterruptedExitStatus; other events go to the next handler (FALSE).
int __stdcall HandleConsoleControl(unsigned long event);

#endif  // QUORVEL_PLATFORM_PLATFORM_WIN32_H_
