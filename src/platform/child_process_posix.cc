// Child processes on POSIX: posix_spawn into a new process group, pipes that
// close on exec so that no child holds another child's pipe open.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "platform/child_process.h"

extern char** environ;

namespace {

bool MakePipe(int ends[2], std::string* error) {
  if (pipe2(ends, O_CLOEXEC) == 0)
    return true;
  *error = std::string("cannot create a pipe: ") + strerror(errno);
  return false;
}

void CloseBoth(int ends[2]) {
  close(ends[0]);
  close(ends[1]);
}

// The child's streams: the null device for input, the write ends of the
// pipes for output and error (dup2 clears their close-on-exec flag).
bool SetUpStreams(posix_spawn_file_actions_t* actions, int out, int err) {
  return posix_spawn_file_actions_addopen(actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
         posix_spawn_file_actions_adddup2(actions, out, 1) == 0 &&
         posix_spawn_file_actions_adddup2(actions, err, 2) == 0;
}

// Its own process group (a terminal's Ctrl-C goes to the foreground group
// only), no signal blocked and SIGPIPE and SIGINT as the system has them.
bool SetUpAttributes(posix_spawnattr_t* attributes) {
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGHUP);
  return posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                  POSIX_SPAWN_SETSIGDEF) == 0 &&
         posix_spawnattr_setpgroup(attributes, 0) == 0 &&
         posix_spawnattr_setsigmask(attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(attributes, &defaults) == 0;
}

int Spawn(const std::vector<std::string>& argv, int out, int err, pid_t* pid) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv)
    pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  int result = EINVAL;
  if (SetUpStreams(&actions, out, err) && SetUpAttributes(&attributes))
    result = posix_spawn(pid, pointers[0], &actions, &attributes, pointers.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

}  // namespace

bool StartChildProcess(const std::vector<std::string>& argv, ChildProcess* child,
                       std::string* error) {
  if (argv.empty()) {
    *error = "no program to start";
    return false;
  }
  int out[2];
  int err[2];
  if (!MakePipe(out, error))
    return false;
  if (!MakePipe(err, error)) {
    CloseBoth(out);
    return false;
  }
  pid_t pid = -1;
  const int result = Spawn(argv, out[1], err[1], &pid);
  close(out[1]);
  close(err[1]);
  if (result != 0) {
    close(out[0]);
    close(err[0]);
    *error = "cannot start " + argv[0] + ": " + strerror(result);
    return false;
  }
  child->process = pid;
  child->id = static_cast<int32_t>(pid);
  child->outPipe = out[0];
  child->errPipe = err[0];
  return true;
}

int64_t ReadChildPipe(intptr_t pipe, char* buffer, size_t size) {
  while (true) {
    const ssize_t got = read(static_cast<int>(pipe), buffer, size);
    if (got >= 0)
      return got;
    if (errno != EINTR)
      return -1;
  }
}

int64_t ReadChildPipeNow(intptr_t pipe, char* buffer, size_t size) {
  pollfd ready = {static_cast<int>(pipe), POLLIN, 0};
  const int polled = poll(&ready, 1, 0);
  if (polled == 0 || (polled < 0 && errno == EINTR))
    return 0;
  if (polled < 0 || (ready.revents & POLLNVAL) != 0)
    return -1;
  // Readable or hung up: the read returns at once, 0 only at the end.
  const int64_t got = ReadChildPipe(pipe, buffer, size);
  return got > 0 ? got : -1;
}

void CloseChildPipe(intptr_t pipe) {
  if (pipe >= 0)
    close(static_cast<int>(pipe));
}

bool InterruptChildProcess(const ChildProcess& child) {
  return child.process > 0 && kill(static_cast<pid_t>(child.process), SIGINT) == 0;
}

int WaitForChildProcess(ChildProcess* child) {
  if (child->process <= 0)
    return -1;
  int status = 0;
  pid_t got;
  do {
    got = waitpid(static_cast<pid_t>(child->process), &status, 0);
  } while (got < 0 && errno == EINTR);
  child->process = -1;
  if (got < 0)
    return -1;
  if (WIFEXITED(status))
    return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::string OwnExecutablePath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0)
    return std::string();
  return std::string(path, static_cast<size_t>(length));
}
