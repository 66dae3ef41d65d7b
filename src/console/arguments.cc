// Parsing of dfu, ctrl and command-line arguments. The settings are reset at
// every parse so that nothing of a rejected command carries over; the control
// flags are only ever set, since a command that sets one always runs and ends
// the program.
#include "console/arguments.h"

#include <cstdint>
#include <limits>

#include "console/loaded_images.h"
#include "console/station_settings.h"
#include "image/file_reader.h"
#include "image/program_loader.h"

namespace {

constexpr size_t kFirstOption = 2;  // index of the first option name
// --jobs and --count: more than any hub holds, small enough to add up.
constexpr int32_t kMaxStationNumber = 100000;

bool Reject(ArgumentRejection* rejection, ArgumentError error, const std::string& argument) {
  rejection->error = error;
  rejection->argument = argument;
  return false;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'z') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'Z') {
    return c - 'A' + 10;
  }
  return 99;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// kNone, kNotANumber (no digit) or kOutOfRange (does not fit 32 signed bits).
ArgumentError ConvertChecked(const std::string& text, int base, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // "0x" is a prefix only when a hexadecimal digit follows; "0xg" reads as 0.
  if (base == 16 && i + 2 < text.size() && text[i] == '0' &&
      (text[i + 1] == 'x' || text[i + 1] == 'X') && DigitValue(text[i + 2]) < 16) {
    i += 2;
  }
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t magnitude = 0;
  bool overflow = false;
  size_t digits = 0;
  for (; i < text.size() && DigitValue(text[i]) < base; ++i, ++digits) {
    magnitude = magnitude * base + DigitValue(text[i]);
    if (magnitude > limit) {
      overflow = true;
      magnitude = limit;  // keeps the arithmetic bounded on long inputs
    }
  }
  if (digits == 0) {
    return ArgumentError::kNotANumber;
  }
  if (overflow) {
    return ArgumentError::kOutOfRange;
  }
  *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return ArgumentError::kNone;
}

// vid or pid: hexadecimal, 1 to 0xFFFF. The device filter reads 0 as "any
// device", so a command given 0 ("0", "0x", "0x0000") would update or reset
// whatever answers the handshake first.
bool ParseDeviceId(const std::string& token, uint16_t* id, ArgumentRejection* rejection) {
  int32_t value = 0;
  const ArgumentError error = ConvertChecked(token, 16, &value);
  if (error != ArgumentError::kNone) {
    return Reject(rejection, error, token);
  }
  if (value < 0 || value > 0xFFFF) {
    return Reject(rejection, ArgumentError::kOutOfRange, token);
  }
  if (value == 0) {
    return Reject(rejection, ArgumentError::kZeroDeviceId, token);
  }
  *id = static_cast<uint16_t>(value);
  return true;
}

// "0x100" after a decimal option reads as 0: the value was meant as
// hexadecimal, and the reason says so rather than "out of range".
bool LooksHexadecimal(const std::string& text) {
  size_t i = text.find_first_not_of(" \t\n\v\f\r+-");
  return i != std::string::npos && i + 1 < text.size() && text[i] == '0' &&
         (text[i + 1] == 'x' || text[i + 1] == 'X');
}

bool ParseDecimal(const std::string& name, const std::string& text, int32_t low, int32_t high,
                  int32_t* value, ArgumentRejection* rejection) {
  const ArgumentError error = ConvertChecked(text, 10, value);
  if (error == ArgumentError::kNone && *value >= low && *value <= high) {
    return true;
  }
  if (LooksHexadecimal(text)) {
    return Reject(rejection, ArgumentError::kNotDecimal, name + " " + text);
  }
  return Reject(rejection, error == ArgumentError::kNone ? ArgumentError::kOutOfRange : error,
                name + " " + text);
}

template <typename Field>
bool StoreDecimal(const std::string& name, const std::string& text, int32_t low, int32_t high,
                  Field* field, ArgumentRejection* rejection) {
  int32_t value = 0;
  if (!ParseDecimal(name, text, low, high, &value, rejection)) {
    return false;
  }
  *field = static_cast<Field>(value);
  return true;
}

// The device supports only these block sizes: 62 is one data frame.
bool StoreBlockSize(const std::string& text, ArgumentRejection* rejection) {
  int32_t value = 0;
  if (!ParseDecimal("-b", text, 62, 512, &value, rejection)) {
    return false;
  }
  if (value != 62 && value != 128 && value != 256 && value != 384 && value != 512) {
    return Reject(rejection,
                  LooksHexadecimal(text) ? ArgumentError::kNotDecimal : ArgumentError::kOutOfRange,
                  "-b " + text);
  }
  DfuSettings.bsize = static_cast<uint16_t>(value);
  return true;
}

// Stores the path of a readable regular file in *field and sets *present;
// otherwise rejects "option path".
bool AcceptFilePath(const std::string& option, const std::string& path, std::string* field,
                    bool* present, ArgumentRejection* rejection) {
  const FileReadResult probe = ProbeReadableFile(path);
  if (probe == FileReadResult::kNotRegular) {
    return Reject(rejection, ArgumentError::kNotRegularFile, option + " " + path);
  }
  if (probe != FileReadResult::kOk) {
    return Reject(rejection, ArgumentError::kFileNotFound, option + " " + path);
  }
  *field = path;
  *present = true;
  return true;
}

// Paths with blanks arrive wrapped in double quotes (typed so at the prompt,
// or pasted from Windows' "Copy as path"): every quote at either end goes.
std::string WithoutEnclosingQuotes(const std::string& value) {
  const size_t first = value.find_first_not_of('"');
  if (first == std::string::npos)
    return std::string();
  const size_t last = value.find_last_not_of('"');
  return value.substr(first, last - first + 1);
}

// The passthrough path gets the quote removal of -d: a file name that begins
// and ends with a double quote is not worth the surprise of a quoted path
// that works after -d and fails after -t.
bool CheckPassthroughPath(const std::string& value, ArgumentRejection* rejection) {
  const std::string path = WithoutEnclosingQuotes(value);
  if (path.empty()) {
    return Reject(rejection, ArgumentError::kFileNotFound, "-t " + value);
  }
  return AcceptFilePath("-t", path, &DfuSettings.trans_pg_path, &DfuSettings.has_trans_pg,
                        rejection);
}

// Options of dfu and the command line. Returns false for a value that is not
// accepted; unknown names are skipped.
bool HandleUpdateOption(const std::string& name, const std::string& value,
                        ArgumentRejection* rejection) {
  if (name == "-b") {
    return StoreBlockSize(value, rejection);
  }
  if (name == "-w") {
    return StoreDecimal(name, value, 0, 1000, &DfuSettings.intv, rejection);
  }
  if (name == "-s") {
    return StoreDecimal(name, value, 0, 4, &DfuSettings.chip_p, rejection);
  }
  if (name == "-i") {
    return StoreDecimal(name, value, 0, 1, &DfuSettings.sort, rejection);
  }
  if (name == "-c") {
    return StoreDecimal(name, value, 0, 1, &DfuSettings.check, rejection);
  }
  if (name == "-d") {
    return CheckProgramPath(value, rejection);
  }
  if (name == "-t") {
    return CheckPassthroughPath(value, rejection);
  }
  return true;
}

// One option pair; pairs not handled in this mode are skipped unchecked.
bool HandleOption(const std::string& name, const std::string& value, int mode,
                  ArgumentRejection* rejection) {
  if (name == "-n") {
    return StoreDecimal(name, value, -1, 5, &DfuSettings.inum, rejection);
  }
  if (mode == kCtrlMode) {
    return true;
  }
  // -r and -f are read only by the control pass.
  return HandleUpdateOption(name, value, rejection);
}

bool HandleOptions(const std::vector<std::string>& tokens, int mode, ArgumentRejection* rejection) {
  for (size_t i = kFirstOption; i + 1 < tokens.size(); i += 2) {
    if (!HandleOption(tokens[i], tokens[i + 1], mode, rejection)) {
      return false;
    }
  }
  return true;
}

// A run of blanks at the prompt leaves empty tokens. One standing where an
// option name or its value belongs would shift every later pair: "-n 9"
// after it would be read as a value and never checked. Such a list is
// rejected in every mode. A last empty token with no value after it is only
// the line's trailing blanks, and is ignored like any last lone token.
bool PairsHaveNoEmptyToken(const std::vector<std::string>& tokens, ArgumentRejection* rejection) {
  for (size_t i = kFirstOption; i + 1 < tokens.size(); i += 2) {
    if (tokens[i].empty() || tokens[i + 1].empty()) {
      size_t position = tokens[i].empty() ? i + 1 : i + 2;  // counted from 1
      return Reject(rejection, ArgumentError::kEmptyArgument, std::to_string(position));
    }
  }
  return true;
}

bool IsTrueFlag(const std::string& value) {
  return value == "1" || value == "true";
}

// "-r TRUE" or "-r yes" asked for a control action that the flags do not
// take; 0 and false ask for none. The first such pair, when no control flag
// got set: its reason replaces the ones that only say no command was formed
// (on the command line "needs a program file" would point the wrong way).
void NoteUnusableControlValue(const std::vector<std::string>& tokens,
                              ArgumentRejection* rejection) {
  const ArgumentError earlier = rejection->error;
  if (earlier != ArgumentError::kNone && earlier != ArgumentError::kNoControlAction &&
      earlier != ArgumentError::kProgramFileRequired)
    return;
  for (size_t i = kFirstOption; i + 1 < tokens.size(); i += 2) {
    const std::string& value = tokens[i + 1];
    if ((tokens[i] == "-r" || tokens[i] == "-f") && value != "0" && value != "false") {
      Reject(rejection, ArgumentError::kControlValue, tokens[i] + " " + value);
      return;
    }
  }
}

// The control pass of command-line and ctrl arguments: only "-r" and "-f"
// with 1 or true count, anywhere among the pairs. Every "-n" is checked and
// applied here too, wherever the update pass stopped: a control command must
// not restart whatever interface answers first because its "-n" was out of
// range or stood behind a rejected pair.
bool ApplyControlFlags(const std::vector<std::string>& tokens, ArgumentRejection* rejection) {
  for (size_t i = kFirstOption; i + 1 < tokens.size(); i += 2) {
    if (tokens[i] == "-n" &&
        !StoreDecimal(tokens[i], tokens[i + 1], -1, 5, &DfuSettings.inum, rejection))
      return false;
  }
  for (size_t i = kFirstOption; i + 1 < tokens.size(); i += 2) {
    if (tokens[i] == "-r" && IsTrueFlag(tokens[i + 1])) {
      ControlFlags.reset = true;
    } else if (tokens[i] == "-f" && IsTrueFlag(tokens[i + 1])) {
      ControlFlags.force = true;
    }
  }
  if (ControlFlags.reset || ControlFlags.force) {
    *rejection = ArgumentRejection{};
    return true;
  }
  NoteUnusableControlValue(tokens, rejection);
  if (rejection->error == ArgumentError::kNone) {
    Reject(rejection, ArgumentError::kNoControlAction, "");
  }
  return false;
}

// Steps up to loading the files: true when an update command is formed.
bool ParseUpdate(const std::vector<std::string>& tokens, int mode, ArgumentRejection* rejection) {
  if (tokens.size() < 3) {
    if (tokens.size() < 2) {
      return Reject(rejection, ArgumentError::kMissingVidPid, "");
    }
    return Reject(
        rejection,
        mode == kCtrlMode ? ArgumentError::kNoControlAction : ArgumentError::kProgramFileRequired,
        "");
  }
  if (!HandleOptions(tokens, mode, rejection) || mode == kCtrlMode) {
    return false;
  }
  return LoadFirmwareFiles(rejection);
}

// TQ3410 takes one-part images only; the TQ52xx file carries no digest the
// loader can check, and its image may sit behind a 4096-byte aligned lead-in.
ProgramFileChecks ChecksForPlatform(uint8_t platform) {
  ProgramFileChecks checks;
  checks.onePartOnly = platform == kTq3410;
  checks.digestCheck = platform != kTq52xxMsk;
  checks.search = platform == kTq52xxMsk;
  return checks;
}

const char* const kShortOptionNames[] = {"-n", "-b", "-w", "-s", "-d",
                                         "-t", "-c", "-i", "-r", "-f"};

bool IsShortOptionName(const std::string& name) {
  for (const char* known : kShortOptionNames) {
    if (name == known)
      return true;
  }
  return false;
}

// A name no command knows would shift every later pair by one if it were
// skipped: "--port=1-3.3 -c 0" would read "-c" as its value and "0" as a
// name, and the selection would be lost. The command is refused instead;
// a name glued to its value gets a reason that shows the separate form.
bool RejectUnknownName(const std::string& name, ArgumentRejection* rejection) {
  const bool joined = !SeparateOptionForm(name).empty();
  return Reject(rejection, joined ? ArgumentError::kJoinedValue : ArgumentError::kUnknownOption,
                name);
}

// --serial and --port with their value, unquoted; false when it is empty.
bool TakeSelectionOption(const std::vector<std::string>& tokens, size_t i,
                         ArgumentRejection* rejection) {
  const std::string& name = tokens[i];
  std::string value = i + 1 < tokens.size() ? WithoutEnclosingQuotes(tokens[i + 1]) : std::string();
  if (value.empty())
    return Reject(rejection, ArgumentError::kEmptyValue, name);
  (name == kSerialOption ? DfuSettings.serial : DfuSettings.port) = value;
  return true;
}

// --station and the options only it takes: the flags stand alone, the
// others take a value. *i moves past what was taken; false when the value is
// not accepted.
bool TakeStationOption(const std::vector<std::string>& tokens, size_t* i,
                       ArgumentRejection* rejection) {
  const std::string& name = tokens[*i];
  if (name == kStationOption || name == kReflashOption) {
    (name == kStationOption ? StationSettings.station : StationSettings.reflash) = true;
    *i += 1;
    return true;
  }
  const std::string value =
      *i + 1 < tokens.size() ? WithoutEnclosingQuotes(tokens[*i + 1]) : std::string();
  *i += 2;
  if (value.empty())
    return Reject(rejection, ArgumentError::kEmptyValue, name);
  if (name == kLogOption) {
    StationSettings.logPath = value;
    return true;
  }
  int32_t* field = name == kJobsOption ? &StationSettings.jobs : &StationSettings.count;
  return ParseDecimal(name, value, 1, kMaxStationNumber, field, rejection);
}

bool IsStationOption(const std::string& name) {
  return name == kStationOption || name == kReflashOption || name == kJobsOption ||
         name == kCountOption || name == kLogOption;
}

// Sets the flag of a long option that stands alone; false for any other
// name.
bool TakeStandaloneOption(const std::string& name) {
  bool* flag = name == kJsonOption          ? &DfuSettings.json
               : name == kEventsOption      ? &DfuSettings.events
               : name == kSkipCurrentOption ? &DfuSettings.skipCurrent
                                            : nullptr;
  if (flag != nullptr)
    *flag = true;
  return flag != nullptr;
}

// The long options go through the option pairs where an option name
// stands; they leave the other pairs (and so the two-character options'
// grammar) as they are. --json, --events and --skip-current stand alone,
// --serial and --port take a
// value that must not be empty. Every other name must be one of the
// two-character options of dfu or ctrl. An empty name ends the checks: the
// empty-token check that follows names its position.
bool TakeLongOptions(const std::vector<std::string>& tokens, std::vector<std::string>* rest,
                     ArgumentRejection* rejection) {
  size_t i = 0;
  for (; i < tokens.size() && i < kFirstOption; ++i)
    rest->push_back(tokens[i]);
  bool checkNames = true;
  while (i < tokens.size()) {
    const std::string& name = tokens[i];
    if (TakeStandaloneOption(name)) {
      ++i;
      continue;
    }
    if (name == kSerialOption || name == kPortOption) {
      if (!TakeSelectionOption(tokens, i, rejection))
        return false;
      i += 2;
      continue;
    }
    if (IsStationOption(name)) {
      if (!TakeStationOption(tokens, &i, rejection))
        return false;
      continue;
    }
    checkNames = checkNames && !name.empty();
    if (checkNames && !IsShortOptionName(name))
      return RejectUnknownName(name, rejection);
    rest->push_back(name);
    if (i + 1 < tokens.size())
      rest->push_back(tokens[i + 1]);
    i += 2;
  }
  return true;
}

}  // namespace

bool IsStandaloneOption(const std::string& name) {
  return name == kJsonOption || name == kEventsOption || name == kSkipCurrentOption;
}

std::string SeparateOptionForm(const std::string& token) {
  for (const char* longName : {kSerialOption, kPortOption}) {
    const std::string prefix = std::string(longName) + "=";
    if (token.size() > prefix.size() && token.compare(0, prefix.size(), prefix) == 0)
      return std::string(longName) + " " + token.substr(prefix.size());
  }
  if (token.size() > 2 && IsShortOptionName(token.substr(0, 2))) {
    const size_t valueStart = token[2] == '=' ? 3 : 2;
    if (valueStart < token.size())
      return token.substr(0, 2) + " " + token.substr(valueStart);
  }
  return std::string();
}

bool ConvertInt32(const std::string& text, int base, int32_t* value) {
  int32_t converted = 0;
  if (ConvertChecked(text, base, &converted) != ArgumentError::kNone) {
    return false;
  }
  *value = converted;
  return true;
}

namespace {

// "1-3.1,1-3.2" into the station's ports; an empty one between the commas
// is refused.
bool SplitStationPorts(ArgumentRejection* rejection) {
  const std::string list = DfuSettings.port;
  DfuSettings.port.clear();
  if (list.empty())
    return true;
  size_t start = 0;
  while (true) {
    const size_t comma = list.find(',', start);
    const std::string port = list.substr(start, comma == std::string::npos ? comma : comma - start);
    if (port.empty())
      return Reject(rejection, ArgumentError::kEmptyValue, std::string(kPortOption) + " " + list);
    StationSettings.ports.push_back(port);
    if (comma == std::string::npos)
      return true;
    start = comma + 1;
  }
}

// The first station option given, for the reason that refuses it where it
// does not belong; empty when none was.
std::string FirstStationOption() {
  const StationSettingsRecord& station = StationSettings;
  if (station.station)
    return kStationOption;
  if (station.reflash)
    return kReflashOption;
  if (station.jobs != 0)
    return kJobsOption;
  if (station.count != 0)
    return kCountOption;
  return station.logPath.empty() ? std::string() : std::string(kLogOption);
}

// The station runs from the command line only, and its options mean nothing
// without it; without it --port names one port. With it, --port's list
// becomes the station's, and the station pins each child to one of them.
bool CheckStationOptions(int mode, ArgumentRejection* rejection) {
  const StationSettingsRecord& station = StationSettings;
  if (station.station && mode != kCommandLineMode)
    return Reject(rejection, ArgumentError::kStationOnCommandLine, kStationOption);
  if (!station.station) {
    if (station.reflash)
      return Reject(rejection, ArgumentError::kNeedsStation, kReflashOption);
    if (station.jobs != 0)
      return Reject(rejection, ArgumentError::kNeedsStation,
                    std::string(kJobsOption) + " " + std::to_string(station.jobs));
    if (station.count != 0)
      return Reject(rejection, ArgumentError::kNeedsStation,
                    std::string(kCountOption) + " " + std::to_string(station.count));
    if (!station.logPath.empty())
      return Reject(rejection, ArgumentError::kNeedsStation,
                    std::string(kLogOption) + " " + station.logPath);
    if (DfuSettings.port.find(',') != std::string::npos)
      return Reject(rejection, ArgumentError::kNeedsStation,
                    std::string(kPortOption) + " " + DfuSettings.port);
    return true;
  }
  return SplitStationPorts(rejection);
}

// The whole parse after the settings were reset; *rejection starts empty.
bool ParseTokens(const std::vector<std::string>& allTokens, int mode,
                 ArgumentRejection* rejection) {
  std::vector<std::string> tokens;
  if (!TakeLongOptions(allTokens, &tokens, rejection) || !CheckStationOptions(mode, rejection))
    return false;
  // A device id that is not a valid id rejects the tokens in every mode,
  // before any option is read.
  if (tokens.size() >= 3 && (!ParseDeviceId(tokens[0], &DfuSettings.vid, rejection) ||
                             !ParseDeviceId(tokens[1], &DfuSettings.pid, rejection))) {
    return false;
  }
  if (!PairsHaveNoEmptyToken(tokens, rejection)) {
    return false;
  }
  if (ParseUpdate(tokens, mode, rejection)) {
    return true;
  }
  // The station runs updates; it never falls back to a control command.
  if (mode == kDfuMode || StationSettings.station) {
    return false;
  }
  return ApplyControlFlags(tokens, rejection);
}

}  // namespace

ParseResult ParseDfuArguments(const std::vector<std::string>& tokens, int mode) {
  DfuSettings = DfuSettingsRecord{};
  StationSettings = StationSettingsRecord{};
  ParseResult result;
  result.accepted = ParseTokens(tokens, mode, &result.rejection);
  // A rejection met on the way to an accepted command is no reason.
  if (result.accepted)
    result.rejection = ArgumentRejection{};
  return result;
}

namespace {

// cv reads a device and changes nothing: of the options it takes only the
// interface number; any other would be silently without effect.
bool ParseCvTokens(const std::vector<std::string>& allTokens, ArgumentRejection* rejection) {
  std::vector<std::string> tokens;
  if (!TakeLongOptions(allTokens, &tokens, rejection))
    return false;
  if (!FirstStationOption().empty())
    return Reject(rejection, ArgumentError::kNotForCv, FirstStationOption());
  // Both concern an update.
  if (DfuSettings.events || DfuSettings.skipCurrent)
    return Reject(rejection, ArgumentError::kNotForCv,
                  DfuSettings.events ? kEventsOption : kSkipCurrentOption);
  if (tokens.size() < 2)
    return Reject(rejection, ArgumentError::kMissingVidPid, "");
  if (!ParseDeviceId(tokens[0], &DfuSettings.vid, rejection) ||
      !ParseDeviceId(tokens[1], &DfuSettings.pid, rejection) ||
      !PairsHaveNoEmptyToken(tokens, rejection))
    return false;
  for (size_t i = kFirstOption; i + 1 < tokens.size(); i += 2) {
    if (tokens[i] != "-n")
      return Reject(rejection, ArgumentError::kNotForCv, tokens[i]);
    if (!StoreDecimal(tokens[i], tokens[i + 1], -1, 5, &DfuSettings.inum, rejection))
      return false;
  }
  return true;
}

}  // namespace

ParseResult ParseCvArguments(const std::vector<std::string>& tokens) {
  DfuSettings = DfuSettingsRecord{};
  StationSettings = StationSettingsRecord{};
  ParseResult result;
  result.accepted = ParseCvTokens(tokens, &result.rejection);
  return result;
}

bool CheckProgramPath(const std::string& value, ArgumentRejection* rejection) {
  const std::string path = WithoutEnclosingQuotes(value);
  if (path.empty()) {
    return Reject(rejection, ArgumentError::kFileNotFound, "-d " + value);
  }
  return AcceptFilePath("-d", path, &DfuSettings.pg_path, &DfuSettings.has_pg, rejection);
}

bool LoadFirmwareFiles(ArgumentRejection* rejection) {
  const uint8_t platform = DfuSettings.chip_p;
  if (!DfuSettings.has_pg && (platform != kTq520xHskV120 || !DfuSettings.has_trans_pg)) {
    return Reject(rejection, ArgumentError::kProgramFileRequired, "");
  }
  ProgramLoadFailure failure;
  if (DfuSettings.has_pg && LoadProgramFile(DfuSettings.pg_path, ChecksForPlatform(platform),
                                            &LoadedImages.program, &failure) == 0) {
    if (failure.tooLarge) {
      rejection->fileSize = failure.fileSize;
      return Reject(rejection, ArgumentError::kProgramTooLarge, "-d " + DfuSettings.pg_path);
    }
    return Reject(rejection, ArgumentError::kNoValidImage, "-d " + DfuSettings.pg_path);
  }
  if (DfuSettings.has_trans_pg &&
      LoadPassthroughFile(DfuSettings.trans_pg_path, &LoadedImages.passthrough) == 0) {
    return Reject(rejection, ArgumentError::kPassthroughInvalid, "-t " + DfuSettings.trans_pg_path);
  }
  return true;
}
