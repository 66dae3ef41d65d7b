// What the fuzz targets share: a scratch directory with firmware files they
// may name, the virtual platform with the guarded clock for runs of the
// program against the emulator, and a check that turns a broken rule into a
// crash the fuzzer keeps.
#ifndef QUORVEL_FUZZ_FUZZ_SUPPORT_H_
#define QUORVEL_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace fuzz {

// Prints the rule and aborts, so that libFuzzer saves the input.
[[noreturn]] void Fail(const std::string& rule);
inline void Check(bool holds, const char* rule) {
  if (!holds)
    Fail(rule);
}

// While it lives, the working directory is a scratch directory with files
// that tokens may name: fw.bin (one-part image), two.bin (two-part image),
// pt.bin (passthrough program), empty.bin, big.bin (one byte over the
// passthrough limit), dir (a directory) and fifo (a FIFO). The directory is
// made once per process; the previous working directory comes back at the
// end of each input, so that libFuzzer finds its corpus where it was.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

 private:
  int previous_;
};
// Tokens and lines from fuzz input may not reach outside the scratch
// directory: every '/' becomes '_'.
std::string Confined(std::string text);

// Installs the virtual platform and the guarded clock, once per process.
void UseVirtualPlatform();
// Puts the virtual clock back to 0 and empties output, input and the sleep
// log before each input, so that nothing grows without bound.
void FreshVirtualState();
// A protocol device "dongle" (248A:8266, interface 1, /dev/hidraw1) with
// fast timings, beside a keyboard that does not speak the protocol.
nlohmann::json Scenario(const nlohmann::json& dongleChanges = nlohmann::json::object());
void LoadScenario(const nlohmann::json& scenario);

// Splits at the separator byte, at most maxParts parts.
std::vector<std::string> Split(const uint8_t* data, size_t size, char separator, size_t maxParts);

}  // namespace fuzz

#endif  // QUORVEL_FUZZ_FUZZ_SUPPORT_H_
