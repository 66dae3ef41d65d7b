// Runs the one command the arguments formed: a control command or an update.
#ifndef QUORVEL_CONSOLE_COMMAND_EXECUTION_H_
#define QUORVEL_CONSOLE_COMMAND_EXECUTION_H_

// Announces the command, waits until its device is connected, runs it and
// prints the result line; true when the command succeeded.
bool ExecuteCommand();

#endif  // QUORVEL_CONSOLE_COMMAND_EXECUTION_H_
