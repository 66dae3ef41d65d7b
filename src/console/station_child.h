// The station's children: one update each, started with its pipes, whose
// lines the station's loop takes on each turn without waiting for them.
#ifndef QUORVEL_CONSOLE_STATION_CHILD_H_
#define QUORVEL_CONSOLE_STATION_CHILD_H_

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/child_process.h"

// One line of a child's standard output or error, or the end of that pipe
// (end set, text empty).
struct ChildLine {
  int child = 0;  // StationChild::id
  bool fromErr = false;
  bool end = false;
  std::string text;  // without its line end
};

// A pipe of a child as the station reads it: open until its end was taken,
// with the start of a line whose end has not come yet.
struct ChildPipe {
  bool open = false;
  std::string pending;
};

struct StationChild {
  int id = 0;
  std::string port;
  std::string serial;
  ChildProcess process;
  ChildPipe out;
  ChildPipe err;
  int openPipes = 2;                // pipes whose end the loop has not taken yet
  std::string resultLine;           // the --json line, once it came
  std::string otherOutput;          // standard output that is no JSON line (a crash's)
  std::deque<std::string> errTail;  // the last lines of standard error
  std::string startTime;            // ISO 8601, local zone
  int interruptsSent = 0;
  bool startAgain = false;  // stopped while waiting for a device still plugged in
  int32_t nextInterruptMs = 0;
};

// Starts argv with its pipes open. True when started; false with the
// reason in *error.
bool StartStationChild(const std::vector<std::string>& argv, StationChild* child,
                       std::string* error);
// Appends to *lines the whole lines the child's pipes hold now, and the end
// of each pipe its writer closed (after its last line, ended or not).
// Never blocks: the loop calls it every turn.
void TakeChildLines(StationChild* child, std::vector<ChildLine>* lines);
// After both pipes ended: closes them and waits for the process; its exit
// status (WaitForChildProcess).
int EndStationChild(StationChild* child);

// The arguments after the program's path for the child on that port: the
// given ones without --station, --jobs, --count, --port, --reflash and
// --log (and without --json, --events and --skip-current, which the station
// sets itself), then "--port" port "--events", and "--skip-current" unless
// reflash.
std::vector<std::string> StationChildArguments(const std::vector<std::string>& arguments,
                                               const std::string& port, bool reflash);

#endif  // QUORVEL_CONSOLE_STATION_CHILD_H_
