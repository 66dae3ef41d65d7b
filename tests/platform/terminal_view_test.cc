// Whether a standard stream redraws in place: a terminal does, unless it says
// it is dumb; a pipe does not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

// Standard error replaced by another descriptor for the test's life.
class ScopedStandardError {
 public:
  explicit ScopedStandardError(int fd) : saved_(dup(STDERR_FILENO)) { dup2(fd, STDERR_FILENO); }
  ~ScopedStandardError() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  ScopedStandardError(const ScopedStandardError&) = delete;
  ScopedStandardError& operator=(const ScopedStandardError&) = delete;

 private:
  int saved_;
};

// TERM set (or unset, with nullptr) for the test's life.
class ScopedTerm {
 public:
  explicit ScopedTerm(const char* value) {
    const char* old = getenv("TERM");
    had_ = old != nullptr;
    saved_ = had_ ? old : "";
    value != nullptr ? setenv("TERM", value, 1) : unsetenv("TERM");
  }
  ~ScopedTerm() { had_ ? setenv("TERM", saved_.c_str(), 1) : unsetenv("TERM"); }
  ScopedTerm(const ScopedTerm&) = delete;
  ScopedTerm& operator=(const ScopedTerm&) = delete;

 private:
  bool had_ = false;
  std::string saved_;
};

struct TerminalRow {
  int fd;
  const char* term;
  bool redraws;
};

void CheckRows(const std::vector<TerminalRow>& rows, int terminal) {
  for (const TerminalRow& row : rows) {
    ScopedTerm term(row.term);
    ScopedStandardError err(row.fd);
    const bool redraws = TerminalRedrawsInPlace(StandardStream::kError);
    EXPECT_EQ(redraws, row.redraws) << (row.fd == terminal ? "terminal " : "pipe ")
                                    << (row.term != nullptr ? row.term : "(no TERM)");
  }
}

TEST(TerminalView, ATerminalRedrawsUnlessItIsDumbAndAPipeNever) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  CheckRows({{pipeEnds[1], "xterm", false}}, -1);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  // A root without /dev/pts (a bare chroot, some containers) has no
  // pseudo-terminal to stand in for the operator's screen.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0)
    GTEST_SKIP() << "no pseudo-terminal here: only the pipe row was checked";
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (terminal < 0) {
    close(master);
    GTEST_SKIP() << "the pseudo-terminal cannot be opened: only the pipe row was checked";
  }
  CheckRows({{terminal, "xterm-256color", true},
             {terminal, nullptr, true},
             {terminal, "dumb", false},
             {terminal, "", false}},
            terminal);
  close(terminal);
  close(master);
}

}  // namespace
