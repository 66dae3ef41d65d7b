// Ctrl-C and the device's state. While a command may have left the device in
// its firmware upgrade mode or its forced upgrade mode, the first interrupt
// only warns: stopping there leaves a chip that ignores its application
// until it is recovered. A second interrupt, or any interrupt while nothing
// is at stake, stops the program with status 130 after saying what state the
// device may be in and the command that recovers it. Everything is printed
// on standard error.
#ifndef QUORVEL_CONSOLE_INTERRUPTION_H_
#define QUORVEL_CONSOLE_INTERRUPTION_H_

#include <string>

#include "console/command.h"

constexpr int kInterruptedStatus = 130;

// Once at start: hands the interrupt key to OnInterrupt.
void InstallInterruptHandling();
// Runs for every interrupt, in the signal handler's context.
void OnInterrupt();

// A command that talks to a device (dfu, ctrl, cv) begins or ends; between
// the two an interrupt stops at the command's next wait instead of at once,
// and says how to recover the command's device. The command must live until
// EndDeviceCommand.
void BeginDeviceCommand(const Command& command);
void EndDeviceCommand();

// One line on what state the command's device may be in and the exact
// command that recovers it; empty while nothing is at stake.
std::string DeviceStateNote(const Command& command);
// "quorvel-dfu 248a 8266 [-n N] OPTION 1" for the command's device.
std::string RecoveryCommand(const Command& command, const char* option);

// Test hook: back to the state at program start.
void ResetInterruption();

#endif  // QUORVEL_CONSOLE_INTERRUPTION_H_
