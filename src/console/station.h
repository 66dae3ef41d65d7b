// The production station: watches the bus for matching devices and runs
// one update per USB port in a child process of this program pinned to that
// port (--port P --events), with a live view on standard error and a log of
// every finished device. The port rules are in console/station_ports.h.
#ifndef QUORVEL_CONSOLE_STATION_H_
#define QUORVEL_CONSOLE_STATION_H_

#include <string>
#include <vector>

// Runs the station with the settings the parser filled (DfuSettings,
// StationSettings, the loaded images); arguments are the program's own,
// which every child gets without the station's options. Returns the exit
// status: 0 when no update failed; 1 when one did or a log line could not
// be written; 2 when the station could not start (the system tells no USB
// ports, or the log cannot be opened), before anything ran. Everything it
// prints goes to standard error.
int RunStation(const std::vector<std::string>& arguments);

#endif  // QUORVEL_CONSOLE_STATION_H_
