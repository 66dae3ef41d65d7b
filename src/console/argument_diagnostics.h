// The line after ": Parameter error!" that says which argument was rejected
// and why.
#ifndef QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_
#define QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_

// Prints the reason of the last rejected dfu or ctrl line while logging is
// on; nothing when no reason is known.
void PrintArgumentRejection();
// On standard error, at once and whatever the log setting: why the program's
// own arguments did not form a command, and that the prompt starts instead.
void ReportCommandLineRejection();

#endif  // QUORVEL_CONSOLE_ARGUMENT_DIAGNOSTICS_H_
