// Runs the program's own command path (argument parsing, then execution)
// in-process against the emulator on the virtual clock, with a guard that
// turns a run which never ends into a reported hang instead of a test that
// never ends. Free of GoogleTest, so that the fuzz targets use it too.
#ifndef QUORVEL_TESTS_SUPPORT_PROGRAM_HARNESS_H_
#define QUORVEL_TESTS_SUPPORT_PROGRAM_HARNESS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace harness {

// Thrown out of the program's sleeps and busy-waits, and out of the
// emulator's clock, once virtual time passes the guard's limit.
struct ProgramHung {
  int32_t atMs = 0;
};

// Installs the guarded virtual clock: g_platform's sleeps and spins and the
// emulator's clock all move g_virtual.now. Needs the virtual platform
// (ScopedVirtualPlatform) to be installed first; the guard is off until
// ArmHangGuard.
void InstallGuardedClock();
// From now on, a run may last limitMs of virtual time. onTick, when given, is
// called with the virtual time after every move of the clock (to change the
// world while the program waits, e.g. to free a device lock).
void ArmHangGuard(int32_t limitMs, std::function<void(int32_t)> onTick = nullptr);
void DisarmHangGuard();

// Every process-wide record of the program back to its start value: the HID
// link, both device lists and the filter, the loaded images, the settings,
// the control flags, the output state and the interrupt state.
void ResetProgramState();

struct CommandRun {
  std::vector<std::string> args;  // the tokens after "dfu", or the command line
  // true: as typed at the prompt (step log lines on, the dfu parse mode);
  // false: as given on the command line (log off, command-line parse mode).
  bool prompt = true;
  bool english = true;
  int32_t limitMs = 120000;
  std::function<void(int32_t)> onTick;
};

struct CommandOutcome {
  bool parsed = false;    // the arguments formed a command
  bool executed = false;  // the command ran to its end
  bool result = false;    // what ExecuteCommand returned
  bool hung = false;      // the guard stopped it
  int exitStatus = -1;    // the status it ended the process with, if it did
  int statusAfter = -1;   // when it ran to its end: the program's exit status
  int32_t elapsedMs = 0;  // virtual time the run took
  std::string out;        // everything it printed
  std::string err;        // everything it printed on standard error
};

// Parses and, when a command is formed, executes it; a scenario must be
// loaded. The program state is reset before and after.
CommandOutcome RunCommand(const CommandRun& run);

}  // namespace harness

#endif  // QUORVEL_TESTS_SUPPORT_PROGRAM_HARNESS_H_
