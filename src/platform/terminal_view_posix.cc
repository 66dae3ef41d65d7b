// Whether a standard stream is a terminal that redraws in place, on POSIX.
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

bool TerminalRedrawsInPlace(StandardStream stream) {
  const int fd = stream == StandardStream::kError ? STDERR_FILENO : STDOUT_FILENO;
  if (isatty(fd) != 1)
    return false;
  const char* term = getenv("TERM");
  return term == nullptr || (strcmp(term, "dumb") != 0 && term[0] != '\0');
}
