// Child processes of the program: started with their standard output and
// error on pipes that the parent reads, in a process group of their own so
// that a terminal's Ctrl-C reaches only the parent, which decides what the
// children get. POSIX (child_process_posix.cc) and Windows
// (child_process_win32.cc). Free functions, apart from the Platform record:
// the tests that use them start real processes.
#ifndef QUORVEL_PLATFORM_CHILD_PROCESS_H_
#define QUORVEL_PLATFORM_CHILD_PROCESS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ChildProcess {
  intptr_t process = -1;  // POSIX: the pid; Windows: the process handle
  int32_t id = -1;        // the system's process id, for people
  intptr_t outPipe = -1;  // the read end of the child's standard output
  intptr_t errPipe = -1;  // the read end of the child's standard error
};

// Starts argv[0] (a path, not searched) with argv as its arguments (UTF-8),
// standard input on the null device and standard output and error on pipes
// of their own; no other handle of the parent is inherited. True with
// *child filled; false with the system's reason in *error, nothing started.
bool StartChildProcess(const std::vector<std::string>& argv, ChildProcess* child,
                       std::string* error);
// Blocks until the pipe has bytes or its writer closed it: the number of
// bytes read into buffer (at most size), 0 at its end, -1 on an error.
int64_t ReadChildPipe(intptr_t pipe, char* buffer, size_t size);
// Never blocks: the number of bytes the pipe held, read into buffer (at
// most size); 0 while it holds none and its writer keeps it open; -1 at its
// end or on an error. A station reads dozens of children's pipes this way
// from one thread, at its own pace, rather than with a thread each that the
// system wakes for every line.
int64_t ReadChildPipeNow(intptr_t pipe, char* buffer, size_t size);
// Closes the parent's end of a pipe; -1 is ignored.
void CloseChildPipe(intptr_t pipe);
// Sends the child an interrupt, as Ctrl-C would (SIGINT; on Windows
// CTRL_BREAK_EVENT to its process group, which the program takes as
// Ctrl-C). False when it could not be sent.
bool InterruptChildProcess(const ChildProcess& child);
// Waits for the child to end and releases it: its exit status, 128 + the
// signal's number when a signal ended it, -1 when it cannot be waited for.
// The pipes are left to the caller.
int WaitForChildProcess(ChildProcess* child);
// The path of the running program's own executable (UTF-8); empty when the
// system does not tell.
std::string OwnExecutablePath();

#endif  // QUORVEL_PLATFORM_CHILD_PROCESS_H_
