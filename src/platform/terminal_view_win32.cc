// Whether a standard stream is a console that redraws in place, on Windows:
// consoles take ANSI escape sequences once virtual-terminal processing is on
// (Windows 10 and later); an older console refuses the mode.
// clang-format off
#include <windows.h>
// clang-format on

#include "platform/platform.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

bool TerminalRedrawsInPlace(StandardStream stream) {
  HANDLE handle =
      GetStdHandle(stream == StandardStream::kError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
    return false;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0)
    return true;
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
