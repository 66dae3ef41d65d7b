// The one seam between the program and the operating system: clock, sleep,
// busy-wait, the named device lock, the locale language, the console encoding,
// the device re-scan request, the report descriptors of HID interfaces, the
// standard streams, the interrupt key and the end of the process. Everything
// above this layer is portable. The process-wide record (platform.cc) starts
// with the native functions, which the operating system's own file fills in
// (platform_posix.cc or platform_win32.cc, chosen by the build); tests install
// a virtual one (tests/support/virtual_platform.h) whose sleeps advance time
// instantly, so timing rules are checked exactly. The free functions below
// the record are start-up services that tests need not replace; text
// conversion is in text_encoding.h, the USB port lookup in usb_port_walk.h.
#ifndef QUORVEL_PLATFORM_PLATFORM_H_
#define QUORVEL_PLATFORM_PLATFORM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

enum class ConsoleEncoding { kUtf8, kGbk };

enum class FileReadResult {
  kOk,
  kNotFound,    // missing, or it cannot be opened for reading
  kNotRegular,  // a directory, FIFO, device node or socket
  kTooLarge,    // larger than the caller's limit; nothing was read
  kReadError,   // the size could not be found, no memory, or the read failed
};

enum class DeviceLockResult {
  kTaken,          // this process now holds the name
  kHeldElsewhere,  // another process holds the name
  kFailed,         // the lock could not be created for another reason
};

struct Platform {
  // Milliseconds of wall-clock time since process start (monotonic).
  int32_t (*nowMs)();
  void (*sleepMs)(int32_t ms);
  // Spins, without sleeping, until nowMs() >= deadline.
  void (*spinUntilMs)(int32_t deadline);
  // ISO 639 language of the user's locale, lowercased; false when the
  // query failed.
  bool (*localeLanguage)(std::string* language);
  ConsoleEncoding (*consoleEncoding)();
  // Exclusive, system-wide lock of that name. The handle is valid only with
  // kTaken; the lock vanishes when released or when the process dies.
  DeviceLockResult (*acquireDeviceLock)(const std::string& name, intptr_t* handle);
  void (*releaseDeviceLock)(intptr_t handle);
  // Standard output.
  void (*writeOut)(const char* data, size_t size);
  void (*flushOut)();
  // The USB port chain of the HID interface at that hidapi path ("1-2.3");
  // empty when it is not on USB or cannot be told.
  std::string (*usbPort)(const std::string& path);
  // Reads one line from standard input without its line end; false at end
  // of input. On Windows the line arrives in UTF-8 whatever the console's
  // code page, like the program's arguments.
  bool (*readLine)(std::string* line);
  // The HID report descriptor of the interface at that device path, as the
  // system has it; false when it has none to offer (then the path alone
  // decides the report framing).
  bool (*reportDescriptor)(const std::string& path, std::vector<uint8_t>* descriptor);
  // Asks the system to re-scan its buses for attached devices, without
  // waiting for it: the settle sleep that follows gives it the time.
  void (*rescanDevices)();
  // Opens the file without waiting for a writer (a FIFO would block an
  // ordinary open) and judges the opened file itself, so that a path swapped
  // after some earlier check cannot slip through: only a regular file is
  // read, whole, and only up to maxSize bytes. With bytes absent the file is
  // only opened, checked and closed.
  FileReadResult (*readRegularFile)(const std::string& path, int64_t maxSize,
                                    std::vector<uint8_t>* bytes);
  // The same open and judgement, for reading a file in pieces: with kOk,
  // *handle is open (closeFile releases it) and *size is the file's size.
  // Any size is kOk; the caller decides what is too large.
  FileReadResult (*openRegularFile)(const std::string& path, intptr_t* handle, int64_t* size);
  // Reads exactly length bytes from offset into bytes; false on a read error
  // or when the file ends first.
  bool (*readFileAt)(intptr_t handle, int64_t offset, size_t length, uint8_t* bytes);
  void (*closeFile)(intptr_t handle);
  // Standard error, for people: what a command waits for, hints, why it
  // failed. Unbuffered; safe to call from the interrupt handler.
  void (*writeErr)(const char* data, size_t size);
  // True when standard input and output are an interactive terminal.
  bool (*inputIsTerminal)();
  // At a terminal: shows the prompt and reads one line with line editing and
  // history; false at end of input.
  bool (*readEditedLine)(const char* prompt, std::string* line);
  // Once at start: a write to a closed pipe or terminal fails instead of
  // ending the process, and every interrupt calls onInterrupt with its
  // signal number (kSignalInterrupt, kSignalTerminate, kSignalHangUp): Ctrl-C,
  // SIGTERM and SIGHUP, and on Windows Ctrl-C, Ctrl-Break and the console's
  // close, logoff and shutdown events. That runs in a signal handler (POSIX)
  // or a console-control thread (Windows): it may only touch atomics, call
  // writeErr and exitNow.
  void (*setUpProcess)(void (*onInterrupt)(int signal));
  // Ends the process at once with that status, without exit handlers; safe
  // in the interrupt handler.
  void (*exitNow)(int status);
  // Ends the process the regular way, exit handlers included.
  void (*exitProcess)(int status);
  // The wall-clock time now in the local zone, to the millisecond, with the
  // zone's offset from UTC: "2026-12-09T18:40:02.123+01:00" (never "Z", so
  // that every reading says its zone the same way). For records that people
  // compare with other clocks; no timing uses it.
  std::string (*localTimeIso8601)();
};

// The active platform; starts as the native one.
extern Platform g_platform;
// A record of the operating system's own functions, every field set.
Platform NativePlatform();

// The signal numbers the interrupt routine is given, POSIX's on every
// system: a shell reports a process they end with 128 + the number.
constexpr int kSignalHangUp = 1;
constexpr int kSignalInterrupt = 2;
constexpr int kSignalTerminate = 15;

// An interrupt that stops the running command sets pending from the handler;
// one that only has something to say sets notice. The program acts on both
// at its next sleep, spin or report read, where StopIfRequested runs the
// console's stop routine: it writes what is to be said and, with pending,
// reports and ends the process. Doing it there rather than in the handler
// keeps the text in order with standard output (a progress line is ended
// first) and lets the process end the regular way, with its output flushed.
// Only pending cuts a sleep short.
struct StopRequestRecord {
  std::atomic<bool> pending{false};
  std::atomic<bool> notice{false};
  void (*stop)() = nullptr;
};
extern StopRequestRecord StopRequest;

inline void StopIfRequested() {
  if ((StopRequest.pending.load() || StopRequest.notice.load()) && StopRequest.stop != nullptr)
    StopRequest.stop();
}

inline int32_t NowMs() {
  return g_platform.nowMs();
}
inline void SleepMs(int32_t ms) {
  StopIfRequested();
  g_platform.sleepMs(ms);
  StopIfRequested();
}
inline void SpinUntilMs(int32_t deadline) {
  StopIfRequested();
  g_platform.spinUntilMs(deadline);
}

// The program's arguments after its name. Windows hands them over as UTF-16
// and they are converted to UTF-8, so that any file name survives; elsewhere
// they are the bytes given.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// The file-system path named by a path text in the encoding of the program's
// arguments and input lines.
std::filesystem::path NativeFilePath(const std::string& path);
// An append-only log file (the station's record of finished devices), where
// each line must be on the disk before the program goes on. Opens the file
// for appending, creating it (0644 on POSIX) and never truncating it: true
// with *handle open; false with the system's reason in *error, also for a
// file that is not a regular one (a directory, a FIFO, a terminal), whose
// lines could not be synced to a disk.
bool OpenLogForAppend(const std::string& path, intptr_t* handle, std::string* error);
// Writes the whole line (bytes as given; the caller ends it) at the end of
// the file in one write, then flushes it to the disk (fsync,
// FlushFileBuffers). False with the reason in *error when the write fails,
// writes less than the whole line, or the flush fails.
bool AppendAndSync(intptr_t handle, const std::string& line, std::string* error);
void CloseLog(intptr_t handle);

// Until setUpProcess hands the interrupts to the program, Ctrl-C (and on
// Windows Ctrl-Break and closing the console window) ends the program at
// once with exit status 130, as a shell reports SIGINT; the system releases
// the device and its named lock with the process.
void InstallInterruptHandler();

#endif  // QUORVEL_PLATFORM_PLATFORM_H_
