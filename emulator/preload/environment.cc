// The outputs are written at hid_exit and again when the process exits (the
// last write wins), and the record also whenever the program closes a
// device. A device outlives the host process however that ends.
//
// Exit order matters: the record hashes received firmware, and on Linux
// libcrypto tears itself down in an exit handler. A handler registered
// from a library constructor only runs when the libraries are unloaded,
// after that teardown; so the exit handler is registered on the program's
// first hidapi call, right after libcrypto has registered its own, which
// makes it run first. On Windows the exit handler runs when the DLL is
// detached at process exit.
#include "preload/environment.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "emulator.h"
#include "hidapi/process_hooks.h"
#include "model/digest.h"
#include "model/host_view.h"
#include "model/presence.h"
#include "model/world.h"

namespace emu {
namespace internal {
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

void AtProcessExit() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  WriteProcessOutputs();
  RemoveHostView();
}

}  // namespace

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

// A program that never called hidapi still gets its record; nothing was
// received then, so libcrypto is not needed.
void WriteOutputsAtUnload() {
  if (g_exitHandlerArmed)
    return;
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  WriteProcessOutputs();
  RemoveHostView();
}

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

}  // namespace internal
}  // namespace emu
