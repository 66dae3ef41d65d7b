// dfu, ctrl and command-line arguments: the settings record, the control
// flags, and the parser that decides whether the tokens form a command.
#ifndef QUORVEL_CONSOLE_ARGUMENTS_H_
#define QUORVEL_CONSOLE_ARGUMENTS_H_

#include <cstdint>
#include <string>
#include <vector>

enum ChipPlatform : uint8_t {
  kTq3410 = 0,
  kTq520xHskV102 = 1,
  kTq520xHskV110 = 2,
  kTq52xxMsk = 3,
  kTq520xHskV120 = 4,
};

struct DfuSettingsRecord {
  uint16_t vid = 0;
  uint16_t pid = 0;
  int8_t inum = -1;
  uint16_t bsize = 256;
  uint16_t intv = 0;
  uint8_t chip_p = kTq520xHskV120;
  uint8_t sort = 0;
  uint8_t check = 1;
  bool has_pg = false;
  bool has_trans_pg = false;
  std::string pg_path;
  std::string trans_pg_path;
};

struct ControlFlagsRecord {
  bool reset = false;
  bool force = false;
};

extern DfuSettingsRecord DfuSettings;
extern ControlFlagsRecord ControlFlags;

enum ParseMode { kCommandLineMode = 0, kDfuMode = 1, kCtrlMode = 2 };

// Why the last ParseDfuArguments call rejected its tokens (for the diagnostic
// line after the parameter error).
enum class ArgumentError {
  kNone,
  kMissingVidPid,
  kNotANumber,
  kOutOfRange,
  kFileNotFound,
  kNotRegularFile,
  kNoValidImage,
  kPassthroughInvalid,
  kProgramFileRequired,
  kNoControlAction,  // ctrl (or the command line) without "-r"/"-f" set to 1 or true
};
struct ArgumentRejection {
  ArgumentError error = ArgumentError::kNone;
  // The token or option concerned: a vid or pid token as given, or an option
  // name and its value joined by a blank ("-n 6", "-d fw.bin"); empty when no
  // single token is at fault.
  std::string argument;
};
extern ArgumentRejection LastArgumentRejection;

bool ParseDfuArguments(const std::vector<std::string>& tokens, int mode);
bool CheckProgramPath(const std::string& value);
bool LoadFirmwareFiles();

// The standard library's string-to-int rules without exceptions: leading
// white space, optional sign, in base 16 an optional 0x/0X, stop at the first
// non-digit, at least one digit, the value must fit 32 signed bits.
bool ConvertInt32(const std::string& text, int base, int32_t* value);

#endif  // QUORVEL_CONSOLE_ARGUMENTS_H_
