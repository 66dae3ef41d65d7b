#include "console/argument_diagnostics.h"

#include "console/arguments.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"
#include "output/message_table.h"

namespace {

// The line for each reason, and whether the argument itself follows it.
struct RejectionLine {
  ArgumentError error;
  Msg message;
  bool withArgument;
};

const RejectionLine kRejectionLines[] = {
    {ArgumentError::kMissingVidPid, Msg::kRejectMissingVidPid, false},
    {ArgumentError::kNotANumber, Msg::kRejectNotANumber, true},
    {ArgumentError::kOutOfRange, Msg::kRejectOutOfRange, true},
    {ArgumentError::kFileNotFound, Msg::kRejectFileNotFound, true},
    {ArgumentError::kNotRegularFile, Msg::kRejectNotRegularFile, true},
    {ArgumentError::kNoValidImage, Msg::kRejectNoValidImage, true},
    {ArgumentError::kPassthroughInvalid, Msg::kRejectPassthroughInvalid, true},
    {ArgumentError::kProgramFileRequired, Msg::kRejectProgramFileRequired, false},
    {ArgumentError::kNoControlAction, Msg::kRejectNoControlAction, false},
    {ArgumentError::kEmptyArgument, Msg::kRejectEmptyArgument, true},
    {ArgumentError::kEmptyValue, Msg::kRejectEmptyValue, true},
};

// ": value out of range: -n 6" in the console's language and encoding, or
// in English UTF-8; empty when no reason is known.
std::string RejectionText(const ArgumentRejection& rejection, bool english = false) {
  for (const RejectionLine& line : kRejectionLines) {
    if (line.error != rejection.error)
      continue;
    std::string text = english ? MessageUtf8(line.message, true) : Text(line.message);
    if (line.withArgument)
      text += rejection.argument;
    return text;
  }
  return std::string();
}

}  // namespace

void PrintArgumentRejection(const ArgumentRejection& rejection) {
  if (!LogEnabled)
    return;
  std::string text = RejectionText(rejection);
  if (!text.empty())
    PrintLogLine(text);
}

void ReportCommandLineRejection(const ArgumentRejection& rejection) {
  std::string reason = RejectionText(rejection);
  WriteErrorLine("quorvel-dfu: the command line was not accepted" +
                 (reason.empty() ? std::string() : reason) +
                 "; the prompt starts instead (quorvel-dfu --help shows the options)");
}

std::string RejectionReason(const ArgumentRejection& rejection) {
  std::string text = RejectionText(rejection, true);
  // The texts follow a label on the prompt's line: ": value out of range: -n 6".
  if (text.compare(0, 2, ": ") == 0)
    text.erase(0, 2);
  return text.empty() ? "the arguments do not form a command" : text;
}

void ReportRefusedJsonCommandLine(const ArgumentRejection& rejection) {
  std::string reason = RejectionText(rejection);
  WriteErrorLine("quorvel-dfu: the command line was not accepted" + reason +
                 "; nothing was run (quorvel-dfu --help shows the options)");
}
