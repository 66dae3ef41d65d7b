// Starting a process with its standard streams on files and waiting for its
// end: the real program behind the emulator, the emulator's shared bus, or
// the time-limit wrapper around them. The parent measures; the child only
// sets itself up and executes.
#ifndef QUORVEL_TESTS_SUPPORT_PROCESS_H_
#define QUORVEL_TESTS_SUPPORT_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct ProcessSetup {
  std::vector<std::string> argv;  // argv[0] is the path executed, no search
  std::vector<std::string> env;   // the whole environment
  std::string stdinPath = "/dev/null";
  // Created or truncated; empty: inherited from the caller. The same path
  // for both puts them in one file, in the order they were written.
  std::string stdoutPath;
  std::string stderrPath;
  // Standard output is a pipe whose reader has already gone (as behind
  // "| head" once head has quit); stdoutPath is then not used.
  bool closedStdout = false;
  int realtimePriority = 0;  // > 0: SCHED_FIFO at that priority
};

// The child's own exit statuses when it cannot become the program.
inline constexpr int kNoRealtimeStatus = 125;  // the real-time class was refused
inline constexpr int kNoStreamsStatus = 126;   // a standard stream could not be opened
inline constexpr int kNoExecStatus = 127;      // the program could not be executed

// Starts the process; returns its pid, or -1 when it could not be created.
// Failures after that show as the exit statuses above.
pid_t StartProcess(const ProcessSetup& setup);

struct ProcessEnd {
  bool exited = false;    // ended by exit rather than a signal
  int exitStatus = -1;    // -1 unless exited
  bool timedOut = false;  // killed after the time-out
  int64_t cpuUs = 0;      // user and system time
  int64_t maxRssKiB = 0;
};

// Waits for the process to end and reaps it. With timeoutMs >= 0 a process
// still running after that long is killed (SIGKILL) and timedOut is set.
ProcessEnd AwaitProcess(pid_t pid, int64_t timeoutMs = -1);
// Sends SIGTERM and waits as above.
ProcessEnd StopProcess(pid_t pid);
// True once the process has ended; it stays unreaped for AwaitProcess.
bool ProcessEnded(pid_t pid);

// The monotonic clock, for timing a process from the parent.
int64_t MonotonicUs();

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_PROCESS_H_
