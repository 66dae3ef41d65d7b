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
    {ArgumentError::kProgramTooLarge, Msg::kRejectProgramTooLarge, true},
    {ArgumentError::kPassthroughInvalid, Msg::kRejectPassthroughInvalid, true},
    {ArgumentError::kProgramFileRequired, Msg::kRejectProgramFileRequired, false},
    {ArgumentError::kNoControlAction, Msg::kRejectNoControlAction, false},
    {ArgumentError::kEmptyArgument, Msg::kRejectEmptyArgument, true},
    {ArgumentError::kEmptyValue, Msg::kRejectEmptyValue, true},
    {ArgumentError::kUnknownOption, Msg::kRejectUnknownOption, true},
    {ArgumentError::kJoinedValue, Msg::kRejectJoinedValue, true},
    {ArgumentError::kZeroDeviceId, Msg::kRejectZeroDeviceId, true},
    {ArgumentError::kNotDecimal, Msg::kRejectNotDecimal, true},
    {ArgumentError::kControlValue, Msg::kRejectControlValue, true},
    {ArgumentError::kNotForCv, Msg::kRejectNotForCv, true},
    {ArgumentError::kNotForList, Msg::kRejectNotForList, true},
    {ArgumentError::kNeedsStation, Msg::kRejectNeedsStation, true},
    {ArgumentError::kStationOnCommandLine, Msg::kRejectStationOnCommandLine, true},
};

// A reason's text with the file's size put in, where the text has a place
// for it; the texts are UTF-8 here.
std::string WithFileSize(std::string utf8, int64_t fileSize) {
  const std::string placeholder = "{size}";
  const size_t at = utf8.find(placeholder);
  if (at != std::string::npos)
    utf8.replace(at, placeholder.size(), std::to_string(fileSize));
  return utf8;
}

// ": value out of range: -n 6"; empty when no reason is known. The texts
// come from textOf (a language and encoding, given the file size a text may
// hold), the argument is appended as given. A name glued to its value is
// followed by its separate form.
template <typename TextOf>
std::string ComposeRejection(const ArgumentRejection& rejection, TextOf textOf) {
  for (const RejectionLine& line : kRejectionLines) {
    if (line.error != rejection.error)
      continue;
    std::string text = textOf(line.message, rejection.fileSize);
    if (line.withArgument)
      text += rejection.argument;
    const std::string separate = SeparateOptionForm(rejection.argument);
    if (rejection.error == ArgumentError::kJoinedValue && !separate.empty()) {
      text +=
          textOf(Msg::kRejectJoinedHintOpen, 0) + separate + textOf(Msg::kRejectJoinedHintClose, 0);
    }
    return text;
  }
  return std::string();
}

// In the current language and the console's encoding.
std::string RejectionText(const ArgumentRejection& rejection) {
  return ComposeRejection(rejection, [](Msg id, int64_t fileSize) {
    return ToConsoleEncoding(WithFileSize(MessageUtf8(id, UiLanguage != 0), fileSize));
  });
}

}  // namespace

std::string RejectionReasonEnglish(const ArgumentRejection& rejection) {
  std::string text = ComposeRejection(rejection, [](Msg id, int64_t fileSize) {
    return WithFileSize(MessageUtf8(id, true), fileSize);
  });
  if (text.compare(0, 2, ": ") == 0)
    text.erase(0, 2);
  return text;
}

void PrintArgumentRejection(const ArgumentRejection& rejection) {
  if (!LogEnabled)
    return;
  std::string text = RejectionText(rejection);
  if (!text.empty())
    WriteErrorLine("quorvel-dfu" + text);
}

void ReportCommandLineRejection(const ArgumentRejection& rejection) {
  std::string reason = RejectionText(rejection);
  WriteErrorLine("quorvel-dfu: the command line was not accepted" +
                 (reason.empty() ? std::string() : reason) +
                 "; the prompt starts instead (quorvel-dfu --help shows the options)");
}

void ReportRefusedArguments(const ArgumentRejection& rejection) {
  WriteErrorLine(Text(Msg::kListOrCvRefused) + RejectionText(rejection));
}

std::string RejectionReason(const ArgumentRejection& rejection) {
  const std::string text = RejectionReasonEnglish(rejection);
  return text.empty() ? "the arguments do not form a command" : text;
}

void ReportRefusedJsonCommandLine(const ArgumentRejection& rejection) {
  std::string reason = RejectionText(rejection);
  WriteErrorLine("quorvel-dfu: the command line was not accepted" + reason +
                 "; nothing was run (quorvel-dfu --help shows the options)");
}
