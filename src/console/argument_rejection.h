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
  kNoControlAction,  // ctrl (or the command line) without "-r"/"-f" set to 1 or true
  kEmptyArgument,    // an empty option name or value (a run of blanks at the prompt)
  kEmptyValue,       // --serial or --port without a value, or with an empty one
};

struct ArgumentRejection {
  ArgumentError error = ArgumentError::kNone;
  // The token or option concerned: a vid or pid token as given, or an option
  // name and its value joined by a blank ("-n 6", "-d fw.bin"); empty when no
  // single token is at fault.
  std::string argument;
  int64_t fileSize = 0;  // kProgramTooLarge: the file's size in bytes
};

#endif  // QUORVEL_CONSOLE_ARGUMENT_REJECTION_H_
