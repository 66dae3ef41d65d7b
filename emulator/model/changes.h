// Waiting for the devices to change. On the shared bus a read waits without
// the world's lock, and wakes on any change another process makes, since
// that may make its device answer earlier than scheduled; elsewhere a wait
// is a sleep on the devices' clock.
#ifndef QUORVEL_EMULATOR_MODEL_CHANGES_H_
#define QUORVEL_EMULATOR_MODEL_CHANGES_H_

#include <cstdint>

namespace emu {
namespace internal {

// On the shared bus, counts a change and wakes every waiting read; nothing
// elsewhere.
void NoteChange();
// The change count, to pass to WaitForChangeUntilUs.
uint64_t ChangeGeneration();
// On the shared bus: returns at deadline (real monotonic time, kNever for an
// hour) or at the first change after `seen`. Elsewhere: sleeps on the
// devices' clock until deadline. The caller does not hold the world's lock.
void WaitForChangeUntilUs(int64_t deadline, uint64_t seen);

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_MODEL_CHANGES_H_
