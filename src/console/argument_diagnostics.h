// The line after ": Parameter error!" that says which argument was rejected
// and why.
#ifndef QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_
#define QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_

#include <string>

#include "console/argument_rejection.h"

// Prints the reason a dfu or ctrl line was rejected while logging is on;
// nothing when no reason is known.
void PrintArgumentRejection(const ArgumentRejection& rejection);
// On standard error, at once and whatever the log setting: why the program's
// own arguments did not form a command, and that the prompt starts instead.
void ReportCommandLineRejection(const ArgumentRejection& rejection);
// The same for a command line that asked for --json, which starts no prompt.
void ReportRefusedJsonCommandLine(const ArgumentRejection& rejection);
// The reason in English without its lead-in ("value out of range: -n 6"),
// for --json; never empty.
std::string RejectionReason(const ArgumentRejection& rejection);

#endif  // QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_
