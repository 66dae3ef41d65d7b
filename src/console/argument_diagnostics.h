// Why a dfu, ctrl, cv or list argument list was refused, as text: the line
// after ": Parameter error!" at the prompt, the line before the prompt
// starts in its place, and the reason alone for a result line.
#ifndef QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_
#define QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_

#include <string>

#include "console/argument_rejection.h"

// The reason in English, without a leading separator, for a machine-read
// result ("unknown option (no command takes it): -x"); empty when no reason
// is known.
std::string RejectionReasonEnglish(const ArgumentRejection& rejection);
// On standard error while logging is on: "quorvel-dfu" and the reason in
// the current language, the line for people after the parameter error that
// standard output gets. Nothing when no reason is known.
void PrintArgumentRejection(const ArgumentRejection& rejection);
// On standard error, at once and whatever the log setting: why the program's
// own arguments did not form a command, and that the prompt starts instead.
void ReportCommandLineRejection(const ArgumentRejection& rejection);
// On standard error, whatever the log setting: why the arguments of list or
// cv on the command line were refused (no prompt starts for them).
void ReportRefusedArguments(const ArgumentRejection& rejection);
// The same for a command line that asked for --json, which starts no prompt.
void ReportRefusedJsonCommandLine(const ArgumentRejection& rejection);
// RejectionReasonEnglish, or a general reason when no reason is known: for
// --json's refused line, never empty.
std::string RejectionReason(const ArgumentRejection& rejection);

#endif  // QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_
