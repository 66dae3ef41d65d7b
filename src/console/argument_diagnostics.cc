#include "console/argument_diagnostics.h"

#include "console/arguments.h"
#include "output/console_text.h"
#include "output/log_output.h"

namespace {

// The message and whether the argument itself follows it.
bool ReasonMessage(ArgumentError error, Msg* message) {
  switch (error) {
    case ArgumentError::kMissingVidPid:
      *message = Msg::kRejectMissingVidPid;
      return false;
    case ArgumentError::kNotANumber:
      *message = Msg::kRejectNotANumber;
      return true;
    case ArgumentError::kOutOfRange:
      *message = Msg::kRejectOutOfRange;
      return true;
    case ArgumentError::kFileNotFound:
      *message = Msg::kRejectFileNotFound;
      return true;
    case ArgumentError::kNotRegularFile:
      *message = Msg::kRejectNotRegularFile;
      return true;
    case ArgumentError::kNoValidImage:
      *message = Msg::kRejectNoValidImage;
      return true;
    case ArgumentError::kPassthroughInvalid:
      *message = Msg::kRejectPassthroughInvalid;
      return true;
    case ArgumentError::kProgramFileRequired:
      *message = Msg::kRejectProgramFileRequired;
      return false;
    case ArgumentError::kNoControlAction:
      *message = Msg::kRejectNoControlAction;
      return false;
    case ArgumentError::kNone:
      break;
  }
  *message = Msg::kCount;
  return false;
}

}  // namespace

void PrintArgumentRejection() {
  if (!LogEnabled)
    return;
  Msg message;
  bool withArgument = ReasonMessage(LastArgumentRejection.error, &message);
  if (message == Msg::kCount)
    return;
  std::string text = Text(message);
  if (withArgument)
    text += LastArgumentRejection.argument;
  PrintLogLine(false, false, true, text);
}
