// Any token list through the argument parser in its three modes (command
// line, dfu, ctrl) and through the parser of cv's command line. Tokens may
// name the files of the scratch directory. Whatever the parser accepts must
// be a complete command: settings in their ranges, the device IDs as the
// standard library reads them and never 0, only option names some command
// knows, the files it needs loaded; a rejection never leaves a half-loaded
// command behind, and always has a reason in English and for the console.
//
// Input: one byte for the mode (value mod 4; 3 is cv), then the tokens
// separated by NUL bytes.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/argument_diagnostics.h"
#include "console/arguments.h"
#include "console/loaded_images.h"
#include "fuzz_support.h"
#include "image/image_store.h"
#include "output/log_printers.h"
#include "support/program_harness.h"
#include "support/virtual_platform.h"

namespace {

// The device ID as strtol reads it (tokens hold no NUL: it separates
// them), or -1 when it is not one.
long ExpectedId(const std::string& token) {
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(token.c_str(), &end, 16);
  if (end == token.c_str() || errno == ERANGE || value < 0 || value > 0xFFFF)
    return -1;
  return value;
}

bool IsShortName(const std::string& name) {
  static const char* const kNames[] = {"-n", "-b", "-w", "-s", "-d", "-t", "-c", "-i", "-r", "-f"};
  for (const char* known : kNames) {
    if (name == known)
      return true;
  }
  return false;
}

// Every token where an option name stands is a name some command knows; a
// last lone token may also be empty (the line's trailing blanks). With cv,
// only -n of the two-character names.
// Long names that stand alone: --json everywhere, the others on the command
// line and at dfu/ctrl (cv refuses them).
bool IsLoneLongName(const std::string& name, bool cv) {
  if (name == kJsonOption)
    return true;
  return !cv && (name == kEventsOption || name == kSkipCurrentOption || name == kStationOption ||
                 name == kReflashOption);
}

bool IsLongNameWithValue(const std::string& name, bool cv) {
  if (name == kSerialOption || name == kPortOption)
    return true;
  return !cv && (name == kJobsOption || name == kCountOption || name == kLogOption);
}

bool NamesAreKnown(const std::vector<std::string>& tokens, bool cv) {
  size_t i = 2;
  while (i < tokens.size()) {
    const std::string& name = tokens[i];
    if (IsLoneLongName(name, cv)) {
      ++i;
      continue;
    }
    bool last = i + 1 >= tokens.size();
    if (IsLongNameWithValue(name, cv)) {
      i += 2;
      continue;
    }
    bool known = cv ? name == "-n" : IsShortName(name);
    if (!known && !(last && (name.empty() || IsShortName(name))))
      return false;
    i += 2;
  }
  return true;
}

// The reason is printed on standard error while logging is on, and the
// English text for a result line is there for every reason.
void CheckRejectionExplained(const ParseResult& parse, uint8_t flags) {
  LogEnabled = 1;
  UiLanguage = flags & 0x80 ? 1 : 0;
  PrintArgumentRejection(parse.rejection);
  const bool reason = parse.rejection.error != ArgumentError::kNone;
  fuzz::Check(g_virtual.err.empty() != reason, "every rejection with a reason is explained");
  fuzz::Check(g_virtual.out.empty(), "the reason goes to standard error only");
  fuzz::Check(RejectionReasonEnglish(parse.rejection).empty() != reason,
              "every reason has its English text");
  if (parse.rejection.error == ArgumentError::kJoinedValue)
    fuzz::Check(!SeparateOptionForm(parse.rejection.argument).empty(),
                "a joined name comes with its separate form");
}

// cv: a device named by nonzero IDs, nothing loaded, no control flag.
void CheckCv(const std::vector<std::string>& tokens, uint8_t flags) {
  const ParseResult parse = ParseCvArguments(tokens);
  fuzz::Check(!(ControlFlags.reset || ControlFlags.force), "cv sets no control flag");
  fuzz::Check(ProgramImage.length == 0 && PassthroughImage.length == 0, "cv loads nothing");
  fuzz::Check(DfuSettings.inum >= -1 && DfuSettings.inum <= 5, "cv's -n stays within -1 to 5");
  if (parse.accepted) {
    fuzz::Check(DfuSettings.vid != 0 && DfuSettings.pid != 0, "cv never names any device");
    fuzz::Check(NamesAreKnown(tokens, true), "cv takes only the names it knows");
  } else {
    CheckRejectionExplained(parse, flags);
  }
}

void CheckFieldsInRange() {
  const DfuSettingsRecord& s = DfuSettings;
  fuzz::Check(s.inum >= -1 && s.inum <= 5, "-n stays within -1 to 5");
  fuzz::Check(s.bsize == 62 || s.bsize == 128 || s.bsize == 256 || s.bsize == 384 || s.bsize == 512,
              "-b is one of the block sizes");
  fuzz::Check(s.intv <= 1000, "-w stays within 0 to 1000");
  fuzz::Check(s.chip_p <= 4 && s.sort <= 1 && s.check <= 1, "-s, -i and -c stay in range");
  fuzz::Check(s.has_pg == !s.pg_path.empty(), "a program path is kept exactly when given");
  fuzz::Check(s.has_trans_pg == !s.trans_pg_path.empty(),
              "a passthrough path is kept exactly when given");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ScratchDirectory scratch;
  fuzz::UseVirtualPlatform();
  fuzz::FreshVirtualState();
  if (size == 0)
    return 0;
  int mode = data[0] % 4;
  std::vector<std::string> tokens = fuzz::Split(data + 1, size - 1, '\0', 40);
  for (std::string& token : tokens)
    token = fuzz::Confined(token);
  harness::ResetProgramState();
  if (mode == 3) {
    CheckCv(tokens, data[0]);
    harness::ResetProgramState();
    return 0;
  }
  const ParseResult parse = ParseDfuArguments(tokens, mode);
  bool accepted = parse.accepted;
  CheckFieldsInRange();
  if (tokens.size() < 3)
    fuzz::Check(!accepted, "fewer than three tokens form no command");
  bool control = ControlFlags.reset || ControlFlags.force;
  if (mode == kDfuMode)
    fuzz::Check(!control, "dfu never sets a control flag");
  if (mode == kCtrlMode)
    fuzz::Check(accepted == control, "ctrl is formed by its control flags");
  if (accepted) {
    long vid = ExpectedId(tokens[0]);
    long pid = ExpectedId(tokens[1]);
    fuzz::Check(vid == DfuSettings.vid, "the vendor ID is read as strtol reads it");
    fuzz::Check(pid == DfuSettings.pid, "the product ID is read as strtol reads it");
    fuzz::Check(vid != 0 && pid != 0, "a command never names any device by an ID of 0");
    fuzz::Check(NamesAreKnown(tokens, false), "a command has only names some command knows");
    fuzz::Check(parse.rejection.error == ArgumentError::kNone,
                "an accepted command carries no rejection");
    if (!control) {
      const DfuSettingsRecord& s = DfuSettings;
      fuzz::Check(s.has_pg || (s.chip_p == 4 && s.has_trans_pg),
                  "an update names the program its platform needs");
      fuzz::Check(!s.has_pg || ProgramImage.length > 0, "a named program is loaded");
      fuzz::Check(!s.has_trans_pg || PassthroughImage.length > 0,
                  "a named passthrough program is loaded");
    }
  } else {
    fuzz::Check(!control, "a rejection sets no control flag");
    CheckRejectionExplained(parse, data[0]);
  }
  harness::ResetProgramState();
  return 0;
}
