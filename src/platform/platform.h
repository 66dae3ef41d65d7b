// The one seam between the program and the operating system: clock, sleep,
// busy-wait, the named device lock, the locale language, the console encoding
// and the standard output stream. Everything above this layer is portable.
// The process-wide record holds the POSIX functions by default; tests install
// a virtual one (tests/support/virtual_platform.h) whose sleeps advance time
// instantly, so timing rules are checked exactly.
#ifndef QUORVEL_PLATFORM_PLATFORM_H_
#define QUORVEL_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

enum class ConsoleEncoding { kUtf8, kGbk };

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
  // Standard error, for people watching: what the program waits for.
  void (*writeErr)(const char* data, size_t size);
  // The USB port chain of the HID interface at that hidapi path ("1-2.3");
  // empty when it is not on USB or cannot be told.
  std::string (*usbPort)(const std::string& path);
  // Whether the prompt lowercases whole lines (Windows, whose file names
  // ignore case), so that serial numbers typed there lost their case.
  bool promptLowercasesAll;
  // Reads one line from standard input without its line end; false at end
  // of input.
  bool (*readLine)(std::string* line);
};

// The active platform; starts as the native one.
extern Platform g_platform;
Platform NativePlatform();

inline int32_t NowMs() {
  return g_platform.nowMs();
}
inline void SleepMs(int32_t ms) {
  g_platform.sleepMs(ms);
}
inline void SpinUntilMs(int32_t deadline) {
  g_platform.spinUntilMs(deadline);
}

#endif  // QUORVEL_PLATFORM_PLATFORM_H_
