// What a failed or stopped command tells the user about its device: the
// state it may be left in and the exact command line that recovers it. That
// line must reach the same device as the command did, so it carries the
// command's interface number and device selection, and must survive being
// pasted into a shell.
#ifndef QUORVEL_CONSOLE_RECOVERY_ADVICE_H_
#define QUORVEL_CONSOLE_RECOVERY_ADVICE_H_

#include <string>

#include "console/command.h"

// One line on what state the command's device may be in (DeviceModes) and
// the exact command that recovers it (two, the -f one first, when it may be
// in both upgrade modes); empty while nothing is at stake.
std::string DeviceStateNote(const Command& command);

// "quorvel-dfu 248a 8266 [-n N] [--port P] [--serial S] OPTION 1" for the
// command's device, each value as given and quoted where a POSIX shell would
// split or expand it. When the command named a serial number and the device
// now sits, without one, at the USB port it was last seen at (a boot loader
// that reports none), the line names that port instead: the serial can no
// longer find it.
// option: the control option before the "1" ("-f" or "-r").
std::string RecoveryCommand(const Command& command, const char* option);

// The first command DeviceStateNote names ("-f" while the forced upgrade
// mode may be on, else "-r" while the firmware upgrade mode or passthrough
// may be); empty while nothing is at stake.
std::string FirstRecoveryCommand(const Command& command);

// The word as a POSIX shell reads it back: unchanged when it holds only
// characters no shell treats specially, else in single quotes.
std::string ShellWord(const std::string& word);

#endif  // QUORVEL_CONSOLE_RECOVERY_ADVICE_H_
