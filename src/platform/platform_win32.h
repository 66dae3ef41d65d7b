// The Windows seam's console rules, command line and interrupt handler,
// apart from the seam's record so that their unit tests can reach them
// (platform_win32.cc). Text conversions are in wide_text_win32.h.
#ifndef QUORVEL_PLATFORM_PLATFORM_WIN32_H_
#define QUORVEL_PLATFORM_PLATFORM_WIN32_H_

#include <string>
#include <vector>

#include "platform/platform.h"

// What a shell reports for a program ended by SIGINT (128 + 2).
constexpr unsigned kInterruptedExitStatus = 130;

// The code page standard output is shown in: the console's output code page,
// or the ANSI code page when output goes to a file or a pipe. Never fails.
unsigned OutputCodePage();
// GBK for code page 936; UTF-8 for every other (65001 above all).
ConsoleEncoding ConsoleEncodingForCodePage(unsigned codePage);
// The arguments after the program name, split as the C runtime splits them,
// in UTF-8; empty when there are none or the line cannot be split.
std::vector<std::string> SplitWideCommandLine(const wchar_t* commandLine);

// The console control handler that InstallInterruptHandler registers:
// Ctrl-C and Ctrl-Break (SIGINT), closing the console (SIGHUP), logging off
// and shutting down (SIGTERM) go to the program's interrupt routine when
// setUpProcess gave one; before that, logging off and shutting down and
// every other event go to the next handler (FALSE), the rest end the
// process with kInterruptedExitStatus. For
// the last three the handler does not return: the system ends the process
// when it does, so it waits for the program's own end (or the system's
// time-out for the event).
int __stdcall HandleConsoleControl(unsigned long event);

#endif  // QUORVEL_PLATFORM_PLATFORM_WIN32_H_
