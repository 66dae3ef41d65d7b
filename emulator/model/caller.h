// The process the current call comes from: the shared bus serves several, on
// one thread each.
#ifndef QUORVEL_EMULATOR_MODEL_CALLER_H_
#define QUORVEL_EMULATOR_MODEL_CALLER_H_

namespace emu {
namespace internal {

// The pid set for this thread, else this process's own.
int CallerPid();
// Sets the calling thread's pid (0: this process's own again).
void SetCallerPid(int pid);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_CALLER_H_
