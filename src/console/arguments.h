// The parser of dfu, ctrl and command-line arguments: decides whether the
// tokens form a command, fills DfuSettings and the control flags
// (console/dfu_settings.h) and has the firmware files loaded into the
// loaded images (console/loaded_images.h).
#ifndef QUORVEL_CONSOLE_ARGUMENTS_H_
#define QUORVEL_CONSOLE_ARGUMENTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "console/argument_rejection.h"
#include "console/dfu_settings.h"

enum ParseMode { kCommandLineMode = 0, kDfuMode = 1, kCtrlMode = 2 };

// Long options of dfu, ctrl and the command line, wherever an option name
// stands: --serial S and --port P pick one of several identical devices,
// --json replaces the text output with one line of JSON per result,
// --events adds the lines of the run's phases before it, --skip-current
// leaves a device alone that already runs the image's version.
inline constexpr char kSerialOption[] = "--serial";
inline constexpr char kPortOption[] = "--port";
inline constexpr char kJsonOption[] = "--json";
// The station's options (console/station_settings.h): --station and
// --reflash stand alone, the others take a value. On the command line only;
// without --station the others are refused, and --port names one port.
inline constexpr char kStationOption[] = "--station";
inline constexpr char kReflashOption[] = "--reflash";
inline constexpr char kJobsOption[] = "--jobs";
inline constexpr char kCountOption[] = "--count";
inline constexpr char kLogOption[] = "--log";
inline constexpr char kEventsOption[] = "--events";
inline constexpr char kSkipCurrentOption[] = "--skip-current";
// Whether the name is a long option that stands alone, without a value.
bool IsStandaloneOption(const std::string& name);
// Whether the tokens formed a command, and if not, why (kNone when
// accepted). Tests as true when accepted.
struct ParseResult {
  bool accepted = false;
  ArgumentRejection rejection;
  explicit operator bool() const { return accepted; }
};

// tokens: vid, pid and option pairs (what follows "dfu" or "ctrl", or the
// program's own arguments). Resets DfuSettings, then fills it; sets the
// control flags (never clears them). Accepted when the tokens form a
// command: in kDfuMode, and in kCommandLineMode unless the control flags
// made it one, that means the firmware files are loaded too
// (LoadFirmwareFiles). A rejection carries its reason; files are not loaded
// then.
ParseResult ParseDfuArguments(const std::vector<std::string>& tokens, int mode);
// The arguments of "cv" on the command line: vid pid (hexadecimal, not 0),
// then -n inum, --serial S, --port P and --json in any order. Resets
// DfuSettings and fills vid, pid, inum, serial, port and json; loads
// nothing and never touches the control flags. Accepted when they name a
// device; a rejection carries its reason (an option cv does not take is
// kNotForCv, a name no command knows kUnknownOption or kJoinedValue).
ParseResult ParseCvArguments(const std::vector<std::string>& tokens);
// The separate form of a known option name glued to its value, for the
// reason that refuses it: "--port 1-3.3" for "--port=1-3.3", "-c 0" for
// "-c0" or "-c=0"; empty when the token is no such thing.
std::string SeparateOptionForm(const std::string& token);
// The -d value, double quotes around it removed: true and pg_path set when
// it names a readable regular file; false with the reason in *rejection.
bool CheckProgramPath(const std::string& value, ArgumentRejection* rejection);
// Loads the program files DfuSettings names with the checks of its chip
// platform: true when every named file loaded (the image records of
// console/loaded_images.h are then set); false with the reason in
// *rejection.
bool LoadFirmwareFiles(ArgumentRejection* rejection);

// The standard library's string-to-int rules without exceptions: leading
// white space, optional sign, in base 16 an optional 0x/0X, stop at the first
// non-digit, at least one digit, the value must fit 32 signed bits. On false
// *value is unchanged.
bool ConvertInt32(const std::string& text, int base, int32_t* value);

#endif  // QUORVEL_CONSOLE_ARGUMENTS_H_
