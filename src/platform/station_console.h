// What the station asks of the system beside the Platform record: whether
// standard error is a terminal that shows a view redrawn in place, and
// whether the system tells the USB port of a device at all. Defined with
// the rest of each system's seam (platform_posix.cc, platform_win32.cc).
#ifndef QUORVEL_PLATFORM_STATION_CONSOLE_H_
#define QUORVEL_PLATFORM_STATION_CONSOLE_H_

// True when standard error is a terminal that takes the cursor-movement and
// erase sequences (on Windows the console's virtual-terminal mode is turned
// on for it here); false for a file, a pipe, or a console that refuses the
// mode. Then the caller writes plain lines.
bool PrepareTerminalView();
// False where the system cannot tell which USB port a device is on (Wine
// gives no location paths); true on Linux and on Windows itself.
bool PortsAreKnown();

#endif  // QUORVEL_PLATFORM_STATION_CONSOLE_H_
