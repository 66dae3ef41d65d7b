// What the process around the emulator does at hidapi's calls. The hidapi
// functions are the same in every front end that holds its devices itself;
// each such front end links its own definitions: in-process tests and the
// shared bus do nothing here (in_process.cc), a program with the emulator
// preloaded or as its hidapi.dll loads the scenario its environment names
// and writes the record and the state (preload/environment.cc).
#ifndef QUORVEL_EMULATOR_HIDAPI_PROCESS_HOOKS_H_
#define QUORVEL_EMULATOR_HIDAPI_PROCESS_HOOKS_H_

namespace emu {
namespace internal {

// At every call that looks for devices (hid_init, hid_enumerate, hid_open*):
// the devices are there by its return. The world's lock is held.
void EnsureLoaded();
// At hid_exit: writes the record and the state where the process is told
// to. The world's lock is held.
void WriteProcessOutputs();
// After the program closed a device: brings the record file up to date, so
// that a program that is killed still leaves one. The world's lock is held.
void WriteRecordSoFar();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_HIDAPI_PROCESS_HOOKS_H_
