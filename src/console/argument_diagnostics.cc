#include "console/argument_diagnostics.h"

#include "console/arguments.h"
#include "output/console_encoding.h"
#include "output/log_printers.h"

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
    {ArgumentError::kProgramTooLarge, Msg::kRejectProgramTooLarge, true},
    {ArgumentError::kPassthroughInvalid, Msg::kRejectPassthroughInvalid, true},
    {ArgumentError::kProgramFileRequired, Msg::kRejectProgramFileRequired, false},
    {ArgumentError::kNoControlAction, Msg::kRejectNoControlAction, false},
    {ArgumentError::kEmptyArgument, Msg::kRejectEmptyArgument, true},
    {ArgumentError::kEmptyValue, Msg::kRejectEmptyValue, true},
};

// The reason's text with the file's size in it, where the reason has one.
std::string ReasonText(const RejectionLine& line, const ArgumentRejection& rejection) {
  if (line.error != ArgumentError::kProgramTooLarge)
    return Text(line.message);
  std::string utf8 = MessageUtf8(line.message, UiLanguage != 0);
  const std::string placeholder = "{size}";
  const size_t at = utf8.find(placeholder);
  if (at != std::string::npos)
    utf8.replace(at, placeholder.size(), std::to_string(rejection.fileSize));
  return ToConsoleEncoding(utf8);
}

// ": value out of range: -n 6"; empty when no reason is known.
std::string RejectionText(const ArgumentRejection& rejection) {
  for (const RejectionLine& line : kRejectionLines) {
    if (line.error != rejection.error)
      continue;
    std::string text = ReasonText(line, rejection);
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
