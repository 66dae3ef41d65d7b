// The emulator inside the program's own process, told what to do by its
// environment (tools/emulate sets it): QUORVEL_EMU_SCENARIO names the
// scenario, QUORVEL_EMU_STATE the saved device state to load and save,
// QUORVEL_EMU_RECORD where the record goes. Shared by the Linux preload
// library and the Windows hidapi.dll, whose start-up (startup.cc,
// windows/dll_main.cc) calls these.
#ifndef QUORVEL_EMULATOR_PRELOAD_ENVIRONMENT_H_
#define QUORVEL_EMULATOR_PRELOAD_ENVIRONMENT_H_

namespace emu {
namespace internal {

// Loads the scenario and the state the environment names, once; a message on
// standard error, and no devices, when that fails.
void LoadFromEnvironment();
// For the library's unloading: writes the outputs unless the exit handler
// that EnsureLoaded arms will, and removes the sysfs tree.
void WriteOutputsAtUnload();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_PRELOAD_ENVIRONMENT_H_
