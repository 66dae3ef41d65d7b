// One run of the program as its own process: started with fork and exec,
// timed on the monotonic clock from just before the fork to the moment it
// exits, with its CPU time and peak resident memory from wait4. On request
// it runs in the FIFO real-time class, which takes the other work on the
// machine out of its timing. A pidfd
// wakes the parent exactly when the child ends, so no polling interval is
// added to the wall time; a run that hangs is killed after its time-out.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>

#include "bench.h"

extern char** environ;

namespace bench {

int64_t MonotonicUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

int64_t TimevalUs(const timeval& tv) {
  return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (const std::string& text : texts)
    out.push_back(const_cast<char*>(text.c_str()));
  out.push_back(nullptr);
  return out;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> InheritedEnvironment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (entry.rfind("LD_PRELOAD=", 0) == 0 || entry.rfind("QUORVEL_EMU_", 0) == 0 ||
        entry.rfind("LC_", 0) == 0 || entry.rfind("LANG=", 0) == 0) {
      continue;
    }
    env.push_back(entry);
  }
  return env;
}

namespace {

// In the child: the real-time class when asked for, standard input from
// /dev/null, standard output (and error) to the output file, then the
// program. Only async-signal-safe calls here.
[[noreturn]] void ExecChild(char* const* argv, char* const* envp, const char* outputPath,
                            int realtimePriority) {
  if (realtimePriority > 0) {
    sched_param param{};
    param.sched_priority = realtimePriority;
    if (sched_setscheduler(0, SCHED_FIFO, &param) != 0)
      _exit(125);
  }
  int in = open("/dev/null", O_RDONLY);
  int out = open(outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0)
    _exit(126);
  dup2(in, STDIN_FILENO);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  execve(argv[0], argv, envp);
  _exit(127);
}

// Waits for the child's end or the time-out; true when it ended.
bool AwaitExit(pid_t pid, int64_t timeoutMs) {
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0)
    return true;  // no pidfd: wait4 blocks without a time-out
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, static_cast<int>(timeoutMs));
  } while (ready < 0 && errno == EINTR);
  close(fd);
  return ready > 0;
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& outputPath, int64_t timeoutMs, int realtimePriority) {
  ChildResult result;
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  int64_t start = MonotonicUs();
  pid_t pid = fork();
  if (pid < 0)
    return result;
  if (pid == 0)
    ExecChild(args.data(), envp.data(), outputPath.c_str(), realtimePriority);
  result.started = true;
  if (!AwaitExit(pid, timeoutMs)) {
    result.timedOut = true;
    kill(pid, SIGKILL);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  result.wallUs = MonotonicUs() - start;
  result.cpuUs = TimevalUs(usage.ru_utime) + TimevalUs(usage.ru_stime);
  result.maxRssKiB = usage.ru_maxrss;
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace bench
