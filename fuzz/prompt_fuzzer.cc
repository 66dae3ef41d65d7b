// Any lines at the interactive prompt, and optionally any command line,
// through the program's own entry (RunProgram) on the virtual platform, with
// an emulated device attached so that accepted dfu and ctrl commands run to
// their end. Each line also goes through the line handling on its own:
// splitting must lose nothing but one trailing blank outside double quotes,
// and lowercasing must change nothing but the case of ASCII letters. The
// command line's list and cv (and --help, --version) run and end without
// the prompt; no accepted command ever has a device filter of 0.
//
// Input: one flag byte (bit 0: the first line is the program's command line;
// bit 1: a Chinese locale), then lines separated by '\n'. Every '/' becomes
// '_', so that file names stay in the scratch directory.
#include <string>
#include <vector>

#include "console/program.h"
#include "emulator.h"
#include "fuzz_support.h"
#include "support/program_harness.h"
#include "support/virtual_platform.h"
#include "transport/device_list.h"

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    c = Lower(c);
  return lower;
}

void CheckLineHandling(const std::string& line) {
  std::vector<std::string> tokens = SplitTokens(line);
  std::string joined;
  for (size_t i = 0; i < tokens.size(); ++i)
    joined += (i ? " " : "") + tokens[i];
  // A last blank inside an unclosed double quote belongs to its token.
  size_t quotes = 0;
  for (size_t i = 0; i + 1 < line.size(); ++i)
    quotes += line[i] == '"' ? 1 : 0;
  bool trailingBlank = !line.empty() && line.back() == ' ' && quotes % 2 == 0;
  fuzz::Check(joined == (trailingBlank ? line.substr(0, line.size() - 1) : line),
              "the tokens are the line cut at its blanks");
  std::string lowered = LowercaseLine(line, kPromptCase);
  fuzz::Check(lowered.size() == line.size(), "lowercasing keeps the length");
  for (size_t i = 0; i < line.size(); ++i) {
    fuzz::Check(lowered[i] == line[i] || lowered[i] == Lower(line[i]),
                "lowercasing only lowers letters");
  }
  bool dfu = !tokens.empty() && Lower(tokens[0]) == "dfu";
  fuzz::Check(dfu || lowered == Lower(line), "only the file names of dfu keep their case");
}

// Whether the emulated protocol device matches the filter the program set:
// if so, a command that never ends is a fault; if not, the program is
// rightly waiting for a device that is not attached.
bool DongleMatchesFilter() {
  const DeviceList& f = CurrentDevices;
  return (f.vendorId == 0 || f.vendorId == 0x248A) && (f.productId == 0 || f.productId == 0x8266) &&
         (f.interfaceNumber < 0 || f.interfaceNumber == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ScratchDirectory scratch;
  fuzz::UseVirtualPlatform();
  fuzz::FreshVirtualState();
  if (size == 0)
    return 0;
  uint8_t flags = data[0];
  std::vector<std::string> lines = fuzz::Split(data + 1, size - 1, '\n', 16);
  for (std::string& line : lines) {
    line = fuzz::Confined(line);
    CheckLineHandling(line);
  }
  std::vector<std::string> arguments;
  if ((flags & 1) && !lines.empty()) {
    arguments = SplitTokens(lines.front());
    lines.erase(lines.begin());
  }
  fuzz::LoadScenario(fuzz::Scenario());
  harness::ResetProgramState();
  g_virtual.input.assign(lines.begin(), lines.end());
  g_virtual.language = (flags & 2) ? "zh" : "en";
  bool hung = false;
  int status = -1;
  harness::ArmHangGuard(600000);
  try {
    status = RunProgram(arguments);
  } catch (const harness::ProgramHung&) {
    hung = true;
  }
  harness::DisarmHangGuard();
  const std::string first = arguments.empty() ? std::string() : arguments[0];
  if (!hung && (first == "list" || first == "cv" || first == "--help" || first == "--version"))
    fuzz::Check(g_virtual.input.size() == lines.size(), "list and cv never start the prompt");
  // The filter is 0:0 until a command sets it, and a command names both
  // IDs: an ID of 0 would take any device.
  fuzz::Check((CurrentDevices.vendorId == 0) == (CurrentDevices.productId == 0),
              "a command never runs with a vendor or product ID of 0");
  if (hung) {
    fuzz::Check(!DongleMatchesFilter(), "a command for the attached device ends");
  } else {
    // 2: a refused command line, and the prompt met the end of its input.
    fuzz::Check(status == 0 || status == 1 || (status == 2 && !arguments.empty()),
                "the exit status is 0 or 1, or 2 after a refused command line");
  }
  harness::ResetProgramState();
  emu::Reset();
  return 0;
}
