// Running in front of the unmodified program: the library is preloaded, finds
// its scenario, record and state files in the environment (tools/emulate sets
// them), loads on the program's first hidapi call and writes its outputs at
// hid_exit and again when the process exits, whichever comes last wins.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "device_model.h"
#include "emulator.h"

namespace emu {
namespace internal {

#if defined(QUORVEL_EMULATOR_PRELOAD)

namespace {

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
}

}  // namespace

void EnsureLoaded() {
  static bool tried = false;
  if (tried)
    return;
  tried = true;
  std::string scenario = Env("QUORVEL_EMU_SCENARIO");
  std::string error;
  if (scenario.empty()) {
    std::fprintf(stderr, "quorvel emulator: QUORVEL_EMU_SCENARIO is not set; no devices\n");
  } else if (!LoadScenarioFile(scenario, &error)) {
    std::fprintf(stderr, "quorvel emulator: %s; no devices\n", error.c_str());
  } else {
    std::string state = Env("QUORVEL_EMU_STATE");
    if (!state.empty() && FileExists(state) && !LoadState(state, &error)) {
      std::fprintf(stderr, "quorvel emulator: %s\n", error.c_str());
    }
  }
  std::atexit(AtProcessExit);
}

// Loading when the library is loaded puts scenario time zero at process start
// and writes a record even for a run that never touches a device.
__attribute__((constructor)) void LoadAtStartup() {
  std::lock_guard<std::recursive_mutex> lock(TheWorld().mutex);
  EnsureLoaded();
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

#else

void EnsureLoaded() {}
void WriteProcessOutputs() {}

#endif

}  // namespace internal
}  // namespace emu
