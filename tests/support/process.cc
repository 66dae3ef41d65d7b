#include "support/process.h"

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

namespace e2e {
namespace {

// Everything the child needs, made before the fork: after it only
// async-signal-safe calls may run.
struct ChildPlan {
  std::vector<char*> argv;
  std::vector<char*> envp;
  const char* in = nullptr;
  const char* out = nullptr;
  const char* err = nullptr;
  int brokenPipe = -1;  // write end of a pipe without reader, or -1
  bool errToOut = false;
  int realtimePriority = 0;
};

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts)
    pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

bool Redirect(const char* path, int flags, int fd) {
  if (path == nullptr)
    return true;
  int opened = open(path, flags, 0644);
  if (opened < 0)
    return false;
  bool ok = dup2(opened, fd) == fd;
  if (opened != fd)
    close(opened);
  return ok;
}

bool SetUpStreams(const ChildPlan& plan) {
  constexpr int kWrite = O_WRONLY | O_CREAT | O_TRUNC;
  if (!Redirect(plan.in, O_RDONLY, STDIN_FILENO))
    return false;
  if (plan.brokenPipe >= 0) {
    if (dup2(plan.brokenPipe, STDOUT_FILENO) != STDOUT_FILENO)
      return false;
  } else if (!Redirect(plan.out, kWrite, STDOUT_FILENO)) {
    return false;
  }
  if (plan.errToOut)
    return dup2(STDOUT_FILENO, STDERR_FILENO) == STDERR_FILENO;
  return Redirect(plan.err, kWrite, STDERR_FILENO);
}

[[noreturn]] void BecomeProgram(const ChildPlan& plan) {
  if (plan.realtimePriority > 0) {
    sched_param param{};
    param.sched_priority = plan.realtimePriority;
    if (sched_setscheduler(0, SCHED_FIFO, &param) != 0)
      _exit(kNoRealtimeStatus);
  }
  if (!SetUpStreams(plan))
    _exit(kNoStreamsStatus);
  execve(plan.argv[0], plan.argv.data(), plan.envp.data());
  _exit(kNoExecStatus);
}

const char* PathOrNull(const std::string& path) {
  return path.empty() ? nullptr : path.c_str();
}

// Waits until the process ends or the time runs out; true when it ended.
// A pidfd wakes the caller exactly at the end, with no polling interval.
bool EndsWithin(pid_t pid, int64_t timeoutMs) {
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd < 0)
    return true;  // no pidfd: the wait that follows blocks without a time-out
  pollfd p{fd, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, static_cast<int>(timeoutMs));
  } while (ready < 0 && errno == EINTR);
  close(fd);
  return ready > 0;
}

int64_t TimevalUs(const timeval& tv) {
  return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

}  // namespace

pid_t StartProcess(const ProcessSetup& setup) {
  if (setup.argv.empty())
    return -1;
  ChildPlan plan;
  plan.argv = Pointers(setup.argv);
  plan.envp = Pointers(setup.env);
  plan.in = PathOrNull(setup.stdinPath);
  plan.out = PathOrNull(setup.stdoutPath);
  plan.err = PathOrNull(setup.stderrPath);
  plan.realtimePriority = setup.realtimePriority;
  int pipeEnds[2] = {-1, -1};
  if (setup.closedStdout && pipe2(pipeEnds, O_CLOEXEC) == 0) {
    close(pipeEnds[0]);  // the reader is gone before the program starts
    plan.brokenPipe = pipeEnds[1];
  }
  plan.errToOut =
      plan.err != nullptr && setup.stderrPath == setup.stdoutPath && plan.brokenPipe < 0;
  pid_t pid = fork();
  if (pid == 0)
    BecomeProgram(plan);
  if (pipeEnds[1] >= 0)
    close(pipeEnds[1]);
  return pid < 0 ? -1 : pid;
}

ProcessEnd AwaitProcess(pid_t pid, int64_t timeoutMs) {
  ProcessEnd end;
  if (pid <= 0)
    return end;
  if (timeoutMs >= 0 && !EndsWithin(pid, timeoutMs)) {
    end.timedOut = true;
    kill(pid, SIGKILL);
  }
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  end.exited = WIFEXITED(status);
  end.exitStatus = end.exited ? WEXITSTATUS(status) : -1;
  end.cpuUs = TimevalUs(usage.ru_utime) + TimevalUs(usage.ru_stime);
  end.maxRssKiB = usage.ru_maxrss;
  return end;
}

ProcessEnd StopProcess(pid_t pid) {
  if (pid > 0)
    kill(pid, SIGTERM);
  return AwaitProcess(pid);
}

bool ProcessEnded(pid_t pid) {
  siginfo_t info{};
  return pid <= 0 ||
         (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid);
}

int64_t MonotonicUs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace e2e
