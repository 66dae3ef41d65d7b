#include "model/changes.h"

#include <chrono>
#include <mutex>

#include "model/bytes.h"
#include "model/clock.h"
#include "model/world.h"

namespace emu {
namespace internal {

void NoteChange() {
  World& w = TheWorld();
  if (!w.shared)
    return;
  {
    std::lock_guard<std::mutex> lock(w.changeMutex);
    ++w.generation;
  }
  w.changed.notify_all();
}

uint64_t ChangeGeneration() {
  World& w = TheWorld();
  std::lock_guard<std::mutex> lock(w.changeMutex);
  return w.generation;
}

void WaitForChangeUntilUs(int64_t deadline, uint64_t seen) {
  World& w = TheWorld();
  if (!w.shared) {
    SleepUntilUs(deadline);
    return;
  }
  // The shared bus runs on the real monotonic clock, which is steady_clock's.
  std::chrono::steady_clock::time_point until{std::chrono::microseconds(deadline)};
  if (deadline == kNever)
    until = std::chrono::steady_clock::now() + std::chrono::hours(1);
  std::unique_lock<std::mutex> lock(w.changeMutex);
  w.changed.wait_until(lock, until, [&] { return w.generation != seen; });
}

}  // namespace internal
}  // namespace emu
