// The station's children: one update each, started with its pipes, whose
// lines reader threads hand to the station's loop through one queue.
#ifndef QUORVEL_CONSOLE_STATION_CHILD_H_
#define QUORVEL_CONSOLE_STATION_CHILD_H_

#include <cstdint>
#include <deque>
#include <string>
#include <thread>
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

struct StationChild {
  int id = 0;
  std::string port;
  std::string serial;
  ChildProcess process;
  std::thread outReader;
  std::thread errReader;
  int openPipes = 2;
  std::string resultLine;           // the --json line, once it came
  std::string otherOutput;          // standard output that is no JSON line (a crash's)
  std::deque<std::string> errTail;  // the last lines of standard error
  std::string startTime;            // ISO 8601, local zone
  int interruptsSent = 0;
  int32_t nextInterruptMs = 0;
};

// Starts argv with a reader thread on each pipe. True when started; false
// with the reason in *error (no thread then).
bool StartStationChild(const std::vector<std::string>& argv, StationChild* child,
                       std::string* error);
// Waits up to waitMs for lines (real time) and moves every queued one to
// *lines; returns at once when some are queued.
void TakeChildLines(int32_t waitMs, std::vector<ChildLine>* lines);
// After both pipes ended: joins the readers, closes the pipes and waits for
// the process; its exit status (WaitForChildProcess).
int EndStationChild(StationChild* child);

// The arguments after the program's path for the child on that port: the
// given ones without --station, --jobs, --count, --port, --reflash and
// --log (and without --json, --events and --skip-current, which the station
// sets itself), then "--port" port "--events", and "--skip-current" unless
// reflash.
std::vector<std::string> StationChildArguments(const std::vector<std::string>& arguments,
                                               const std::string& port, bool reflash);

#endif  // QUORVEL_CONSOLE_STATION_CHILD_H_
