// Writing the emulator's outputs when a signal ends the host process: a
// device outlives the program that talks to it, so its record and state must
// survive an interrupted update too.
#ifndef QUORVEL_EMULATOR_PRELOAD_FATAL_SIGNALS_H_
#define QUORVEL_EMULATOR_PRELOAD_FATAL_SIGNALS_H_

namespace emu {
namespace internal {

// Arranges for WriteProcessOutputs to run, and the signal then to take its
// default course, when a signal the program leaves at its default action
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE) arrives. Signals the program
// handles or ignores itself stay as they are; nothing when no pipe can be
// made.
void WriteOutputsOnFatalSignals();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_PRELOAD_FATAL_SIGNALS_H_
