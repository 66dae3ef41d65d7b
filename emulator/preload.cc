// Running in front of the unmodified program: the library is preloaded, finds
// its scenario, record and state files in the environment (tools/emulate sets
// them) and loads when it is loaded. It writes its outputs at hid_exit and
// again when the process exits (the last write wins), and the record also
// whenever the program closes a device. A device outlives the host process
// however that ends: when a signal that the program leaves at its default
// action would kill the process, the outputs are written first.
//
// Exit order matters: the record hashes received firmware with libcrypto,
// and libcrypto tears itself down in an exit handler. A handler registered
// from a library constructor only runs when the libraries are unloaded,
// after that teardown; so the exit handler is registered on the program's
// first hidapi call, right after libcrypto has registered its own, which
// makes it run first.
#include <fcntl.h>
#include <openssl/crypto.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "device_model.h"
#include "emulator.h"

namespace emu {
namespace internal {

#if defined(QUORVEL_EMULATOR_PRELOAD)

namespace {

bool g_exitHandlerArmed = false;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

void LoadFromEnvironment() {
  static bool tried = false;
  if (tried)
    return;
  tried = true;
  std::string scenario = Env("QUORVEL_EMU_SCENARIO");
  std::string error;
  if (scenario.empty()) {
    std::fprintf(stderr, "quorvel emulator: QUORVEL_EMU_SCENARIO is not set; no devices\n");
    return;
  }
  if (!LoadScenarioFile(scenario, &error)) {
    std::fprintf(stderr, "quorvel emulator: %s; no devices\n", error.c_str());
    return;
  }
  std::string state = Env("QUORVEL_EMU_STATE");
  if (!state.empty() && FileExists(state) && !LoadState(state, &error)) {
    std::fprintf(stderr, "quorvel emulator: %s\n", error.c_str());
  }
}

void AtProcessExit() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  WriteProcessOutputs();
}

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

// Loading at library load puts scenario time zero at process start.
__attribute__((constructor)) void LoadAtStartup() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  LoadFromEnvironment();
  WriteOutputsOnFatalSignals();
}

// A program that never called hidapi still gets its record; nothing was
// received then, so libcrypto is not needed.
__attribute__((destructor)) void WriteAtUnload() {
  if (g_exitHandlerArmed)
    return;
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  WriteProcessOutputs();
}

}  // namespace

void EnsureLoaded() {
  LoadFromEnvironment();
  if (g_exitHandlerArmed)
    return;
  g_exitHandlerArmed = true;
  // A zero option set returns without doing anything, so ask for something.
  OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_DIGESTS, nullptr);
  Sha256Hex(Bytes());
  std::atexit(AtProcessExit);
}

void WriteProcessOutputs() {
  if (!TheWorld().loaded)
    return;
  // The process may end right after a restart request; the device comes
  // back all the same, so the record and the state show it back.
  AdvanceAll();
  SettleRestarts();
  std::string record = Env("QUORVEL_EMU_RECORD");
  if (!record.empty() && !WriteRecordFile(record)) {
    std::fprintf(stderr, "quorvel emulator: cannot write %s\n", record.c_str());
  }
  std::string state = Env("QUORVEL_EMU_STATE");
  if (!state.empty() && !SaveState(state)) {
    std::fprintf(stderr, "quorvel emulator: cannot write %s\n", state.c_str());
  }
}

void WriteRecordSoFar() {
  std::string record = Env("QUORVEL_EMU_RECORD");
  if (TheWorld().loaded && !record.empty())
    WriteRecordFile(record);
}

#else

void EnsureLoaded() {}
void WriteProcessOutputs() {}
void WriteRecordSoFar() {}

#endif

}  // namespace internal
}  // namespace emu
