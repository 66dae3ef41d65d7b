// One process's connection to the shared bus, served on a thread of its own:
// it makes the very hidapi calls the process would make in-process, so
// processes run side by side and see each other's effects (device locks on
// the same paths, restarts, devices coming back elsewhere).
#ifndef QUORVEL_EMULATOR_SHARED_BUS_SESSION_H_
#define QUORVEL_EMULATOR_SHARED_BUS_SESSION_H_

namespace emu {
namespace shared_bus {

// Answers the calls that come in on fd until the process goes, then closes
// the handles it left open, as the kernel closes the hidraw nodes of a
// process that dies, and closes fd.
void ServeSession(int fd);

}  // namespace shared_bus
}  // namespace emu

#endif  // QUORVEL_EMULATOR_SHARED_BUS_SESSION_H_
