#include "preload/fatal_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "hidapi/process_hooks.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

// Signals that end a process by default. The handler only passes the signal
// to a watcher thread through a pipe: writing the outputs allocates and takes
// the world's lock, which the interrupted thread may hold. The watcher takes
// the lock (waiting for the program to leave the emulator), writes the
// outputs, and lets the signal take its default course.
const int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
int g_signalPipe[2] = {-1, -1};

void PassSignalToWatcher(int signo) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(signo);
  ssize_t ignored = write(g_signalPipe[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

void WatchFatalSignals() {
  unsigned char byte = 0;
  for (;;) {
    ssize_t n = read(g_signalPipe[0], &byte, 1);
    if (n == 1)
      break;
    if (n < 0 && errno == EINTR)
      continue;
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
    WriteProcessOutputs();
  }
  signal(byte, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, byte);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(byte);
}

}  // namespace

void WriteOutputsOnFatalSignals() {
  if (pipe2(g_signalPipe, O_CLOEXEC) != 0)
    return;
  bool any = false;
  for (int signo : kFatalSignals) {
    struct sigaction current;
    if (sigaction(signo, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
      continue;  // the program's own choice (an ignored SIGPIPE, say) stays
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = PassSignalToWatcher;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signo, &action, nullptr);
    any = true;
  }
  if (any)
    std::thread(WatchFatalSignals).detach();
}

}  // namespace internal
}  // namespace emu
