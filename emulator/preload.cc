// Running in front of the unmodified program: the library is preloaded, finds
// its scenario, record and state files in the environment (tools/emulate sets
// them) and loads when it is loaded. It writes its outputs at hid_exit and
// again when the process exits (the last write wins), and the record also
// whenever the program closes a device. A device outlives the host process
// however that ends: when a signal that the program leaves at its default
// action would kill the process, the outputs are written first.
//
// Exit order matters: the record hashes received firmware, and on Linux
// libcrypto tears itself down in an exit handler. A handler registered
// from a library constructor only runs when the libraries are unloaded,
// after that teardown; so the exit handler is registered on the program's
// first hidapi call, right after libcrypto has registered its own, which
// makes it run first.
//
// On Windows the same file is the hidapi.dll put beside the program, and
// the exit handler runs when the DLL is detached at process exit.
//
// On a shared bus (QUORVEL_EMU_BUS, POSIX only) the devices live in the bus
// process: nothing is loaded here and the bus writes the outputs. The
// program's view of sysfs is in preload_posix.cc.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
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
  WriteOutputsOnFatalSignals();
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

}  // namespace

void EnsureLoaded() {
  LoadFromEnvironment();
  if (g_exitHandlerArmed)
    return;
  g_exitHandlerArmed = true;
  PrepareDigestForExit();
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
