// Why the parser refused a dfu, ctrl or command-line argument list: returned
// by the parser (console/arguments.h), read by the diagnostics line
// (console/argument_diagnostics.h).
#ifndef QUORVEL_CONSOLE_ARGUMENT_REJECTION_H_
#define QUORVEL_CONSOLE_ARGUMENT_REJECTION_H_

#include <string>

enum class ArgumentError {
  kNone,
  kMissingVidPid,
  kNotANumber,
  kOutOfRange,
  kFileNotFound,
  kNotRegularFile,
  kNoValidImage,
  kProgramTooLarge,  // 2 GiB or more (fileSize)
  kPassthroughInvalid,
  kProgramFileRequired,
  kNoControlAction,       // ctrl (or the command line) without "-r"/"-f" set to 1 or true
  kEmptyArgument,         // an empty option name or value (a run of blanks at the prompt)
  kEmptyValue,            // --serial or --port without a value, or with an empty one
  kUnknownOption,         // a name no command knows, where an option name stands
  kJoinedValue,           // a known name glued to its value: "--port=1-3.3", "-c0"
  kZeroDeviceId,          // a vid or pid of 0, which would match any device
  kNotDecimal,            // a rejected decimal value written in hexadecimal ("-b 0x100")
  kControlValue,          // -r or -f with a value other than 1, true, 0 or false
  kNotForCv,              // an option cv does not take
  kNotForList,            // list given more than vid, pid and --json
  kNeedsStation,          // a station option (or a list of ports) without --station
  kStationOnCommandLine,  // --station at the prompt, or with ctrl
};

struct ArgumentRejection {
  ArgumentError error = ArgumentError::kNone;
  // The token or option concerned: a vid or pid token as given, an option
  // name and its value joined by a blank ("-n 6", "-d fw.bin"), or the one
  // token at fault ("-x", "--port=1-3.3"); empty when no single token is at
  // fault.
  std::string argument;
  int64_t fileSize = 0;  // kProgramTooLarge: the file's size in bytes
};

#endif  // QUORVEL_CONSOLE_ARGUMENT_REJECTION_H_
