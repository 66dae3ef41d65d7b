// Runs the one command the arguments formed: a control command or an update.
#ifndef QUORVEL_CONSOLE_COMMAND_EXECUTION_H_
#define QUORVEL_CONSOLE_COMMAND_EXECUTION_H_

#include "console/command.h"
#include "dfu/run_record.h"

// Announces the command, waits until its device is connected, runs it and
// prints the result line (and with OutputMode::kJson the JSON result line
// instead of the text); true when the command succeeded. Sets the device
// filter of CurrentDevices from the command's settings.
bool ExecuteCommand(const Command& command);

// The upgrade sequence of the command's chip platform on the connected
// device; fills *record as its procedures run. True when it succeeded;
// false also for an unknown platform.
bool RunUpdate(const Command& command, RunRecord* record);

#endif  // QUORVEL_CONSOLE_COMMAND_EXECUTION_H_
