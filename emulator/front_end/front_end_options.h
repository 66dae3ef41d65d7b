// What the front ends in front of a real host stack (quorvel-uhid-device,
// quorvel-gadget-device) share on their command line and in their logs:
//
//   PROGRAM [--record FILE] [--trace] SCENARIO.json
//
// and their stop signals (SIGTERM, SIGINT).
#ifndef QUORVEL_EMULATOR_FRONT_END_FRONT_END_OPTIONS_H_
#define QUORVEL_EMULATOR_FRONT_END_FRONT_END_OPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace emu {

struct FrontEndOptions {
  std::string record;  // empty: no record file
  std::string scenario;
  bool trace = false;  // log output reports to standard error
};

// The command line into *options; false on a malformed one.
bool ParseFrontEndArguments(int argc, char** argv, FrontEndOptions* options);
// Prints the usage line of the program to standard error; returns 2.
int FrontEndUsage(const char* program);
// A signalfd for SIGTERM and SIGINT, which are blocked otherwise; -1 (with a
// message) when it cannot be made.
int StopSignals(const char* program);
// Takes the pending stop signal off the signalfd.
void TakeStopSignal(int stopFd);
// Up to size bytes as "0A 55 00".
std::string Hex(const uint8_t* data, size_t size);
// True for a report that carries one of the protocol's data frames (the
// trace leaves most of them out), with or without a report ID 0 in front.
bool DataFrameReport(const uint8_t* data, size_t size);

}  // namespace emu

#endif  // QUORVEL_EMULATOR_FRONT_END_FRONT_END_OPTIONS_H_
