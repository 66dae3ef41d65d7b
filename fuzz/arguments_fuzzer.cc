// Any token list through the argument parser in its three modes (command
// line, dfu, ctrl). Tokens may name the files of the scratch directory.
// Whatever the parser accepts must be a complete command: settings in their
// ranges, the device IDs as the standard library reads them, the files it
// needs loaded; a rejection never leaves a half-loaded command behind.
//
// Input: one byte for the mode (value mod 3), then the tokens separated by
// NUL bytes.
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
  int mode = data[0] % 3;
  std::vector<std::string> tokens = fuzz::Split(data + 1, size - 1, '\0', 40);
  for (std::string& token : tokens)
    token = fuzz::Confined(token);
  harness::ResetProgramState();
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
    // The diagnostic line must print whatever the rejection was.
    LogEnabled = 1;
    UiLanguage = data[0] & 0x80 ? 1 : 0;
    PrintArgumentRejection(parse.rejection);
    fuzz::Check(g_virtual.out.empty() == (parse.rejection.error == ArgumentError::kNone),
                "every rejection with a reason is explained");
  }
  harness::ResetProgramState();
  return 0;
}
