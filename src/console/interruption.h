// Interrupts and the device's state. An interrupt is Ctrl-C, SIGTERM or
// SIGHUP (timeout, systemd and a dropped ssh session send the last two;
// on Windows the console's close, logoff and shutdown events stand for
// them). While a command may have left the device in its firmware upgrade
// mode or its forced upgrade mode, the first interrupt only warns: stopping
// there leaves a chip that ignores its application until it is recovered.
// The command then runs to its end and the program ends with 128 + that
// signal's number. A second interrupt, or any interrupt while nothing is at
// stake, stops the program with 128 + the signal's number (130 for Ctrl-C)
// after saying what state the device may be in and the command that
// recovers it. Everything is printed on standard error; an open progress
// line on standard output is ended first, so no text is glued to it.
#ifndef QUORVEL_CONSOLE_INTERRUPTION_H_
#define QUORVEL_CONSOLE_INTERRUPTION_H_

#include <string>

#include "console/command.h"
#include "console/recovery_advice.h"

constexpr int kInterruptedStatus = 130;

// Once at start: hands the interrupts to OnInterrupt.
void InstallInterruptHandling();
// Runs for every interrupt, with its signal number (kSignalInterrupt,
// kSignalTerminate, kSignalHangUp), in the signal handler's context.
void OnInterrupt(int signal);

// A command that talks to a device (dfu, ctrl, cv) begins or ends; between
// the two an interrupt stops at the command's next wait instead of at once,
// and says how to recover the command's device. The command must live until
// EndDeviceCommand.
void BeginDeviceCommand(const Command& command);
void EndDeviceCommand();

// The program's exit status after its command ran to its end: 128 + the
// signal of an interrupt that came during the command and let it finish,
// else status unchanged.
int StatusAfterCommand(int status);

// The station (console/station.h): from here on an interrupt neither ends
// the process nor prints anything; it is only counted, and the station acts
// on the count at its next turn.
void BeginStationInterrupts();
// The interrupts counted since BeginStationInterrupts.
int StationInterrupts();

// Test hook: back to the state at program start.
void ResetInterruption();

#endif  // QUORVEL_CONSOLE_INTERRUPTION_H_
