// "list": the HID interfaces on the bus, optionally only those of one
// vendor ID and product ID (0: any), at the prompt and on the command line.
// Nothing is opened and nothing is sent to any device.
#ifndef QUORVEL_CONSOLE_DEVICE_LISTING_H_
#define QUORVEL_CONSOLE_DEVICE_LISTING_H_

#include <string>
#include <vector>

#include "console/argument_rejection.h"

// At the prompt. arguments: none, or vid [pid] in hexadecimal. A value that
// is not a hexadecimal number from 0 to FFFF prints the parameter error.
void ListDevices(const std::vector<std::string>& arguments);

// "quorvel-dfu list [vid [pid]] [--json]": the arguments after "list".
// Prints the listing (with --json one JSON line instead) and returns the
// exit status: 0 when an interface was listed, 1 when none was found, 2
// when the arguments were refused (the reason then on standard error, and
// nothing on standard output).
int RunListCommand(const std::vector<std::string>& arguments);

#endif  // QUORVEL_CONSOLE_DEVICE_LISTING_H_
