#include "console/program.h"

#include <cctype>
#include <sstream>

#include "console/argument_diagnostics.h"
#include "console/arguments.h"
#include "console/command.h"
#include "console/command_execution.h"
#include "console/device_listing.h"
#include "console/device_query.h"
#include "console/interruption.h"
#include "console/json_report.h"
#include "console/prompt_case.h"
#include "console/station.h"
#include "console/station_settings.h"
#include "console/tool_version.h"
#include "dfu/connection.h"
#include "dfu/version_report.h"
#include "output/console_encoding.h"
#include "output/help_text.h"
#include "output/log_printers.h"
#include "platform/ascii.h"
#include "platform/platform.h"
#include "transport/hid_link.h"

namespace {

std::vector<std::string> Tail(const std::vector<std::string>& tokens) {
  return std::vector<std::string>(tokens.begin() + 1, tokens.end());
}

// A dfu or ctrl line: parse, then execute and end, or report and go on.
bool RunPromptCommand(const std::vector<std::string>& tokens, int mode, int* status) {
  const ParseResult parse = ParseDfuArguments(Tail(tokens), mode);
  if (!parse) {
    PrintParameterError();
    PrintArgumentRejection(parse.rejection);
    // A script that drives the prompt with --json reads one line per command.
    if (ArgumentsAskForJson(Tail(tokens)))
      WriteRefusedJsonLine(RejectionReason(parse.rejection));
    return false;
  }
  *status = ExecuteCommand(CurrentCommand()) ? 0 : 1;
  return true;
}

// "language N" and "log N": whether the number after the command is
// nonzero, in *flag; false (and the parameter error printed) when it is not
// a number. Without a number nothing is read.
bool ReadFlagToken(const std::vector<std::string>& tokens, bool* flag) {
  if (tokens.size() < 2)
    return false;
  int32_t value = 0;
  if (!ConvertInt32(tokens[1], 10, &value)) {
    PrintParameterError();
    return false;
  }
  *flag = value != 0;
  return true;
}

void SetLanguageFromToken(const std::vector<std::string>& tokens) {
  bool english = false;
  if (ReadFlagToken(tokens, &english))
    UiLanguage = english ? 1 : 0;
}

void SetLogFromToken(const std::vector<std::string>& tokens) {
  bool enabled = false;
  if (ReadFlagToken(tokens, &enabled))
    LogEnabled = enabled ? 1 : 0;
}

// Returns true when the prompt must end (a dfu or ctrl command ran).
bool Dispatch(const std::vector<std::string>& tokens, int* status) {
  const std::string& command = tokens[0];
  if (command == "v") {
    WriteLine(BuildBanner());
  } else if (command == "help") {
    PrintHelp();
  } else if (command == "language") {
    SetLanguageFromToken(tokens);
  } else if (command == "log") {
    SetLogFromToken(tokens);
  } else if (command == "cv") {
    ReadVersionsOfAnyDevice();
  } else if (command == "list") {
    ListDevices(Tail(tokens));
  } else if (command == "dfu") {
    return RunPromptCommand(tokens, kDfuMode, status);
  } else if (command == "ctrl") {
    return RunPromptCommand(tokens, kCtrlMode, status);
  }
  return false;
}

// endedByInput: true when the prompt ended at the end of its input rather
// than by "exit" or an executed command.
int RunPrompt(bool* endedByInput) {
  WriteLine(BuildBanner());
  PrintHelp();
  LogEnabled = 1;
  int status = 0;
  std::string line;
  while (true) {
    bool got;
    if (g_platform.inputIsTerminal()) {
      // A person at a terminal: the line editor shows the prompt, and the
      // arrow keys edit the line and recall earlier ones.
      FlushOut();
      got = g_platform.readEditedLine(">> ", &line);
    } else {
      WriteOut(">> ");
      FlushOut();
      got = g_platform.readLine(&line);
    }
    // End of input ends the program as "exit" does.
    if (!got) {
      WriteLine("");
      *endedByInput = true;
      break;
    }
    std::string lowered = LowercaseLine(line, kPromptCase);
    if (lowered == "exit")
      break;
    std::vector<std::string> tokens = SplitTokens(lowered);
    if (tokens.empty())
      continue;
    if (Dispatch(tokens, &status))
      break;
  }
  return status;
}

// --help, --version, and list and cv on the command line: they run, print
// and end, and never start the prompt. Of their words only "cv" would read
// as a vendor ID (0xC, with "v" ignored); as the first argument it is the
// command. True when one ran, with its exit status in *status.
bool RunInformationCommand(const std::vector<std::string>& arguments, int* status) {
  const std::string first = arguments.empty() ? std::string() : arguments[0];
  if (first == "--help" || first == "-h") {
    PrintCommandLineHelp();
  } else if (first == "--version" || first == "-V") {
    WriteLine(BuildBanner());
  } else if (first == "list") {
    *status = RunListCommand(Tail(arguments));
  } else if (first == "cv") {
    *status = RunVersionCommand(Tail(arguments));
    CloseLink();
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool DetectUiLanguage() {
  std::string language;
  if (!g_platform.localeLanguage(&language))
    return true;
  return LowerAscii(language) == "zh";
}

std::string BuildBanner() {
  std::ostringstream banner;
  banner << Text(Msg::kBannerName) << " V" << kVersionMajor << "." << kVersionMinor << "."
         << kVersionPatch;
  return banner.str();
}

std::vector<std::string> SplitTokens(const std::string& line) {
  std::vector<std::string> tokens;
  std::string token;
  bool quoted = false;
  for (char c : line) {
    if (c == ' ' && !quoted) {
      tokens.push_back(token);
      token.clear();
      continue;
    }
    // A double-quoted stretch keeps its blanks; the quotes stay in the
    // token, and the path options take them off.
    if (c == '"')
      quoted = !quoted;
    token.push_back(c);
  }
  // Like cutting a stream at each blank: a last blank ends the last token
  // and leaves no empty one behind it.
  if (!token.empty())
    tokens.push_back(token);
  return tokens;
}

namespace {

// Which tokens of a dfu or ctrl line keep their case: the values of -d and
// -t (file names, dfu only) and of --serial and --port (serial numbers have
// upper-case letters). Option names follow vid and pid, each with its value,
// except the long options that stand alone (--json and the like).
std::vector<bool> CaseKeptTokens(const std::vector<std::string>& tokens) {
  std::vector<bool> kept(tokens.size(), false);
  std::string command = tokens.empty() ? "" : LowerAscii(tokens[0]);
  if (command != "dfu" && command != "ctrl")
    return kept;
  size_t i = 3;
  while (i < tokens.size()) {
    std::string name = LowerAscii(tokens[i]);
    if (IsStandaloneOption(name)) {
      ++i;
      continue;
    }
    bool file = command == "dfu" && (name == "-d" || name == "-t");
    if (i + 1 < tokens.size())
      kept[i + 1] = file || name == kSerialOption || name == kPortOption;
    i += 2;
  }
  return kept;
}

// A script that mistyped an option must not take the prompt that starts,
// and its silent end at the end of input, for success.
int RunPromptAfterRejection(const std::vector<std::string>& arguments,
                            const ArgumentRejection& rejection) {
  bool rejected = !arguments.empty();
  if (rejected)
    ReportCommandLineRejection(rejection);
  bool endedByInput = false;
  int status = RunPrompt(&endedByInput);
  if (rejected && endedByInput)
    status = kUsageErrorStatus;
  return status;
}

}  // namespace

std::string LowercaseLine(const std::string& line, PromptCase promptCase) {
  if (promptCase == PromptCase::kWholeLineLowered)
    return LowerAscii(line);
  std::vector<std::string> tokens = SplitTokens(line);
  std::vector<bool> kept = CaseKeptTokens(tokens);
  std::string result;
  size_t start = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    result += kept[i] ? tokens[i] : LowerAscii(tokens[i]);
    start += tokens[i].size();
    if (start < line.size()) {
      result += line[start];  // the space that ended this token
      ++start;
    }
  }
  // Whatever the tokens did not cover (trailing spaces) is copied through.
  if (start < line.size())
    result += line.substr(start);
  return result;
}

int RunProgram(const std::vector<std::string>& arguments) {
  InstallInterruptHandling();
  UiLanguage = DetectUiLanguage() ? 0 : 1;
  LogEnabled = 0;
  // The usual ways to ask a command-line tool what it is; neither can be a
  // vendor ID, so no command is lost to them.
  int status = 0;
  if (RunInformationCommand(arguments, &status))
    return status;
  const ParseResult parse = ParseDfuArguments(arguments, kCommandLineMode);
  if (parse && StationSettings.station) {
    status = RunStation(arguments);
  } else if (parse) {
    status = ExecuteCommand(CurrentCommand()) ? 0 : 1;
  } else if (!arguments.empty() && ArgumentsAskForJson(arguments)) {
    // A script that reads JSON gets its one line and no prompt, which would
    // fill standard output with the banner and the help and wait for input.
    ReportRefusedJsonCommandLine(parse.rejection);
    WriteRefusedJsonLine(RejectionReason(parse.rejection));
    status = kUsageErrorStatus;
  } else {
    status = RunPromptAfterRejection(arguments, parse.rejection);
  }
  CloseLink();
  return StatusAfterCommand(status);
}
