// Running in front of the unmodified program: the library is preloaded, finds
// its scenario, record and state files in the environment (tools/emulate sets
// them) and loads when it is loaded. It writes its outputs at hid_exit and
// again when the process exits (the last write wins), and the record also
// whenever the program closes a device.
//
// Exit order matters: the record hashes received firmware with libcrypto,
// and libcrypto tears itself down in an exit handler. A handler registered
// from a library constructor only runs when the libraries are unloaded,
// after that teardown; so the exit handler is registered on the program's
// first hidapi call, right after libcrypto has registered its own, which
// makes it run first.
//
// On a shared bus (QUORVEL_EMU_BUS) the devices live in the bus process:
// nothing is loaded here and the bus writes the outputs.
//
// The program learns a hidraw node's USB port from sysfs. When the bus has
// a sysfs tree of its own (see sysfs_tree.cc), realpath() of a path under
// /sys is answered from that tree and handed back as a /sys path, so the
// program reads exactly what it would read on a real machine.
#include <dlfcn.h>
#include <openssl/crypto.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bus_client.h"
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
  if (emu::client::Active())
    return;
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
  RemoveSysfsTree();
}

// Loading at library load puts scenario time zero at process start.
__attribute__((constructor)) void LoadAtStartup() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  LoadFromEnvironment();
}

// A program that never called hidapi still gets its record; nothing was
// received then, so libcrypto is not needed.
__attribute__((destructor)) void WriteAtUnload() {
  if (g_exitHandlerArmed)
    return;
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  WriteProcessOutputs();
  RemoveSysfsTree();
}

std::string SysfsRootInUse() {
  if (emu::client::Active())
    return emu::client::SysfsRoot();
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  return TheWorld().sysfsRoot;
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

// The bus process writes where it was told; in-process use writes nothing
// by itself.
void WriteProcessOutputs() {
  World& w = TheWorld();
  if (!w.loaded || (w.recordPath.empty() && w.statePath.empty()))
    return;
  AdvanceAll();
  SettleRestarts();
  if (!w.recordPath.empty() && !WriteRecordFile(w.recordPath))
    std::fprintf(stderr, "quorvel emulator: cannot write %s\n", w.recordPath.c_str());
  if (!w.statePath.empty() && !SaveState(w.statePath))
    std::fprintf(stderr, "quorvel emulator: cannot write %s\n", w.statePath.c_str());
}

// The bus writes its record when it stops, whatever happens to the
// processes: writing it on every close would hold up every other process's
// calls, some of them inside a reply window, while the file is written.
void WriteRecordSoFar() {}

#endif

}  // namespace internal
}  // namespace emu

#if defined(QUORVEL_EMULATOR_PRELOAD)

extern "C" char* realpath(const char* path, char* resolved) {
  using RealPath = char* (*)(const char*, char*);
  static RealPath next = reinterpret_cast<RealPath>(dlsym(RTLD_NEXT, "realpath"));
  if (!next)
    return nullptr;
  if (!path || std::strncmp(path, "/sys/", 5) != 0)
    return next(path, resolved);
  std::string root = emu::internal::SysfsRootInUse();
  if (root.empty())
    return next(path, resolved);
  char* inTree = next((root + (path + 4)).c_str(), nullptr);
  if (!inTree)
    return nullptr;
  std::string shown = inTree;
  std::free(inTree);
  // The tree's own location may itself pass through links (a TMPDIR, say).
  char* realRoot = next(root.c_str(), nullptr);
  if (realRoot) {
    root = realRoot;
    std::free(realRoot);
  }
  if (shown.compare(0, root.size(), root) == 0)
    shown = "/sys" + shown.substr(root.size());
  if (resolved) {
    if (shown.size() >= PATH_MAX) {
      errno = ENAMETOOLONG;
      return nullptr;
    }
    std::strcpy(resolved, shown.c_str());
    return resolved;
  }
  return strdup(shown.c_str());
}

#endif
