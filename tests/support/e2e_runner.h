// Runs the real quorvel-dfu binary in real time against emulated devices
// (tools/emulate with the preloaded emulator), with a scenario, arguments,
// standard input and a locale chosen by the test, and hands back the exit
// status, the bytes written to standard output and the emulator's record
// (read with support/device_record.h, which comes with this header).
#ifndef QUORVEL_TESTS_SUPPORT_E2E_RUNNER_H_
#define QUORVEL_TESTS_SUPPORT_E2E_RUNNER_H_

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "support/device_record.h"
#include "support/workspace.h"

namespace e2e {

struct RunOptions {
  nlohmann::json scenario;
  std::vector<std::string> args;     // the program's arguments
  std::optional<std::string> input;  // standard input; none: /dev/null
  std::string lang = "C";            // LANG; the LC_* variables are cleared
  std::string stateFile;             // --state FILE when not empty
  int timeLimitSeconds = 60;         // hang guard only
  // Standard output is a pipe whose reader has already gone (as behind
  // "| head" once head has quit); nothing printed there is kept.
  bool closedStdout = false;
  // The socket of a shared bus to join (SharedBus); the scenario, the
  // record and the state are then the bus's.
  std::string bus;
};

struct RunResult {
  bool started = false;
  bool timedOut = false;
  int exitStatus = -1;  // -1 when the process did not exit normally
  std::string out;      // standard output, byte for byte
  std::string err;
  bool hasRecord = false;
  nlohmann::json record;
  // Status, time-out and standard error, for failure messages.
  std::string Describe() const;
  // The record of one device (an empty object when absent).
  const nlohmann::json& Device(const std::string& name) const;
};

// Starts every run at once and waits for all of them: the program spends
// most of its time in its own sleeps and waits, so runs overlap well.
std::vector<RunResult> RunAll(const Workspace& workspace, const std::vector<RunOptions>& runs);
RunResult Run(const Workspace& workspace, const RunOptions& options);

// A run the test acts on while it runs: it waits for a text to appear and
// sends signals to the program, as a person at the terminal would press
// Ctrl-C once something is shown.
class LiveRun {
 public:
  LiveRun(const Workspace& workspace, const RunOptions& options);
  ~LiveRun();
  LiveRun(const LiveRun&) = delete;
  LiveRun& operator=(const LiveRun&) = delete;
  // Waits until standard output (or error) holds the text; false when the
  // program ended first or the seconds ran out (a hang guard, not a timing).
  bool WaitFor(const std::string& text, bool onStderr, int seconds);
  // Sends the signal to the program itself (not to the time-limit wrapper).
  bool Signal(int signo);
  // True while the run has not ended (it stays unreaped for Finish).
  bool Running() const;
  RunResult Finish();

 private:
  std::string dir_;
  pid_t pid_ = -1;
  bool finished_ = false;
};

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_E2E_RUNNER_H_
