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
    {ArgumentError::kPassthroughInvalid, Msg::kRejectPassthroughInvalid, true},
    {ArgumentError::kProgramFileRequired, Msg::kRejectProgramFileRequired, false},
    {ArgumentError::kNoControlAction, Msg::kRejectNoControlAction, false},
    {ArgumentError::kEmptyValue, Msg::kRejectEmptyValue, true},
};

}  // namespace

void PrintArgumentRejection() {
  if (!LogEnabled)
    return;
  for (const RejectionLine& line : kRejectionLines) {
    if (line.error != LastArgumentRejection.error)
      continue;
    std::string text = Text(line.message);
    if (line.withArgument)
      text += LastArgumentRejection.argument;
    PrintLogLine(text);
  }
}
