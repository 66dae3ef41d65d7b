// "cv": the device's name and the versions of its Controller and App
// firmware, read from the first device that answers at the prompt, or from
// the device the command line names.
#ifndef QUORVEL_CONSOLE_DEVICE_QUERY_H_
#define QUORVEL_CONSOLE_DEVICE_QUERY_H_

#include <string>
#include <vector>

// At the prompt: one scan with the device filter as it stands (any device
// when no command ran), the report of the first interface that answers.
void ReadVersionsOfAnyDevice();

// "quorvel-dfu cv vid pid [-n inum] [--serial S] [--port P] [--json]": the
// arguments after "cv". One scan; only interfaces of that vendor and
// product ID (and interface number, serial number and port, when given) are
// opened. Prints the report (with --json one JSON line instead) and returns
// the exit status: 0 when both versions were read, 1 when no such device
// answered or a read failed, 2 when the arguments were refused (the reason
// then on standard error, nothing opened and nothing on standard output).
int RunVersionCommand(const std::vector<std::string>& arguments);

#endif  // QUORVEL_CONSOLE_DEVICE_QUERY_H_
