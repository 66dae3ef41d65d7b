// A virtual platform for tests: a clock that only moves when the program
// sleeps or spins, captured standard output and error, scripted standard
// input, a settable locale and local time, in-process device locks with a
// switch that makes another "process" hold a name, report descriptors set by
// the test, an interrupt key the test presses, and an end of the process
// that throws VirtualExitRequest instead.
#ifndef QUORVEL_TESTS_SUPPORT_VIRTUAL_PLATFORM_H_
#define QUORVEL_TESTS_SUPPORT_VIRTUAL_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

struct VirtualPlatformState {
  int32_t now = 0;
  std::vector<int32_t> sleeps;               // every sleepMs argument, in order
  std::vector<int32_t> rescans;              // the clock at every device re-scan request
  std::string out;                           // everything written to standard output
  std::map<std::string, std::string> ports;  // USB port chain by device path
  int flushes = 0;
  std::deque<std::string> input;  // lines still to be read
  bool localeOk = true;
  std::string language = "en";
  ConsoleEncoding encoding = ConsoleEncoding::kUtf8;
  std::set<std::string> locksHeldHere;
  std::set<std::string> locksHeldElsewhere;  // names another process holds
  // Report descriptors by device path; a path not listed has none.
  std::map<std::string, std::vector<uint8_t>> reportDescriptors;
  std::string err;                                          // everything written to standard error
  bool terminal = false;                                    // standard input is a terminal
  std::vector<std::string> editedPrompts;                   // prompts given to the line editor
  void (*onInterrupt)(int signal) = nullptr;                // as set up by the program
  std::string localTime = "2026-12-09T18:40:02.123+01:00";  // localTimeIso8601's answer
};

// Thrown where the program would end the process.
struct VirtualExitRequest {
  int status;
};

extern VirtualPlatformState g_virtual;

// Installs the virtual platform with a fresh state; the destructor puts the
// previous platform back.
class ScopedVirtualPlatform {
 public:
  ScopedVirtualPlatform();
  ~ScopedVirtualPlatform();
  ScopedVirtualPlatform(const ScopedVirtualPlatform&) = delete;
  ScopedVirtualPlatform& operator=(const ScopedVirtualPlatform&) = delete;

 private:
  Platform saved_;
};

// Returns and clears what was written so far.
std::string TakeOutput();
std::string TakeErrors();

#endif  // QUORVEL_TESTS_SUPPORT_VIRTUAL_PLATFORM_H_
