// Each connection gets its own thread (session.h); a read waits without
// holding the world's lock, so processes run side by side.
#include "shared_bus/server.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "emulator.h"
#include "model/host_view.h"
#include "model/presence.h"
#include "model/world.h"
#include "shared_bus/session.h"

namespace emu {
namespace shared_bus {
namespace {

using internal::TheWorld;
using internal::World;
using Lock = std::lock_guard<std::recursive_mutex>;

int Listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string temporary = path + ".tmp";
  if (temporary.size() >= sizeof address.sun_path) {
    std::fprintf(stderr, "quorvel-emulator-bus: socket path too long: %s\n", path.c_str());
    return -1;
  }
  std::strcpy(address.sun_path, temporary.c_str());
  unlink(temporary.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  // Bound and listening under a temporary name, then renamed: a process that
  // finds the socket can connect at once.
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 64) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "quorvel-emulator-bus: cannot listen on %s: %s\n", path.c_str(),
                 std::strerror(errno));
    if (fd >= 0)
      close(fd);
    return -1;
  }
  return fd;
}

// A signalfd for the stop signals, blocked before any thread starts so that
// only the signalfd sees them; -1 when it cannot be made.
int StopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  return signalfd(-1, &stop, SFD_CLOEXEC);
}

// The scenario, then the saved state if its file exists; false, with a
// message, when either fails.
bool LoadDevices(const Options& options) {
  {
    Lock lock(TheWorld().mutex);
    TheWorld().shared = true;
  }
  std::string error;
  if (!LoadScenarioFile(options.scenarioPath, &error)) {
    std::fprintf(stderr, "quorvel-emulator-bus: %s\n", error.c_str());
    return false;
  }
  struct stat info {};
  if (!options.statePath.empty() && stat(options.statePath.c_str(), &info) == 0 &&
      !LoadState(options.statePath, &error)) {
    std::fprintf(stderr, "quorvel-emulator-bus: %s\n", error.c_str());
    return false;
  }
  return true;
}

// Accepts connections, a session thread each, until a stop signal.
void Serve(int listener, int signals) {
  for (;;) {
    pollfd fds[2] = {{listener, POLLIN, 0}, {signals, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    if (fds[1].revents)
      return;
    if (fds[0].revents & POLLIN) {
      int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0)
        std::thread([fd] { ServeSession(fd); }).detach();
    }
  }
}

// Processes still connected are left as they are: the outputs show the bus
// as it is now, with restarts in progress completed.
void WriteOutputs(const Options& options) {
  World& w = TheWorld();
  Lock lock(w.mutex);
  if (w.loaded && (!options.recordPath.empty() || !options.statePath.empty())) {
    internal::AdvanceAll();
    internal::SettleRestarts();
    if (!options.recordPath.empty() && !WriteRecordFile(options.recordPath))
      std::fprintf(stderr, "quorvel emulator: cannot write %s\n", options.recordPath.c_str());
    if (!options.statePath.empty() && !SaveState(options.statePath))
      std::fprintf(stderr, "quorvel emulator: cannot write %s\n", options.statePath.c_str());
  }
  internal::RemoveHostView();
}

}  // namespace

int RunSharedBus(const Options& options) {
  int signals = StopSignals();
  if (!LoadDevices(options))
    return 1;
  int listener = Listen(options.socketPath);
  if (listener < 0 || signals < 0)
    return 1;
  Serve(listener, signals);
  close(listener);
  unlink(options.socketPath.c_str());
  WriteOutputs(options);
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace shared_bus
}  // namespace emu
