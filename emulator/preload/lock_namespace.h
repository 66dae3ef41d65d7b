// The program's device lock is an abstract Unix socket named "quorvel-dfu/"
// and the lock name (platform_posix.cc). Its emulated devices are not the
// machine's: each emulated bus has its own paths, and the same paths (a
// reused "/dev/hidraw0", the same USB port "1-3.2") stand for other devices
// on another bus. So the preloaded libraries move every such name into a
// namespace of their bus: bind() of an abstract address that starts with
// "quorvel-dfu/" binds "qve" and eight hexadecimal digits of the
// namespace's hash and "/" instead, a prefix of the same length. Programs
// on one bus still keep each other off a name for real, and the system
// frees it when its holder exits or crashes; programs on other buses, or
// the machine's own instances, never meet it.
#ifndef QUORVEL_EMULATOR_PRELOAD_LOCK_NAMESPACE_H_
#define QUORVEL_EMULATOR_PRELOAD_LOCK_NAMESPACE_H_

#include <string>

namespace emu {
namespace internal {

// What tells this process's bus from every other: the shared bus's socket
// path (shared_bus/client_connection.cc), or the process itself for the
// devices held in-process (preload/process_lock_namespace.cc).
std::string LockNamespace();

}  // namespace internal
}  // namespace emu

#endif  // QUORVEL_EMULATOR_PRELOAD_LOCK_NAMESPACE_H_
