#include "support/e2e_runner.h"

#include <unistd.h>

#include <csignal>
#include <sstream>

#include "support/device_record.h"
#include "support/environment.h"
#include "support/process.h"

namespace e2e {
namespace {

struct Launch {
  std::string dir;
  pid_t pid = -1;
};

// timeout(1) around tools/emulate, which becomes the program by exec.
std::vector<std::string> Command(const RunOptions& options, const std::string& dir) {
  std::vector<std::string> argv = {"/usr/bin/timeout", "-k", "5",
                                   std::to_string(options.timeLimitSeconds),
                                   QUORVEL_SOURCE_DIR "/tools/emulate"};
  if (!options.bus.empty()) {
    argv.insert(argv.end(), {"--bus", options.bus});
  } else {
    argv.insert(argv.end(), {"--record", dir + "/record.json"});
    if (!options.stateFile.empty())
      argv.insert(argv.end(), {"--state", options.stateFile});
    argv.push_back(dir + "/scenario.json");
  }
  argv.insert(argv.end(), {"--", QUORVEL_BINARY_DIR "/quorvel-dfu"});
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  return argv;
}

Launch Start(const Workspace& workspace, const RunOptions& options) {
  Launch launch;
  launch.dir = workspace.NewDirectory("run-");
  if (launch.dir.empty())
    return launch;
  ProcessSetup setup;
  if (options.input) {
    setup.stdinPath = launch.dir + "/stdin";
    if (!WriteText(setup.stdinPath, *options.input))
      return launch;
  }
  if (!WriteText(launch.dir + "/scenario.json", options.scenario.dump(2)))
    return launch;
  setup.argv = Command(options, launch.dir);
  setup.env = CleanEnvironment();
  setup.env.push_back("LANG=" + options.lang);
  setup.env.push_back("QUORVEL_EMULATOR_LIB=" QUORVEL_BINARY_DIR "/libquorvel_emulator_preload.so");
  setup.stdoutPath = launch.dir + "/stdout";
  setup.stderrPath = launch.dir + "/stderr";
  setup.closedStdout = options.closedStdout;
  launch.pid = StartProcess(setup);
  return launch;
}

// The program: the child of timeout(1), which tools/emulate became by exec.
pid_t ProgramPid(pid_t wrapper) {
  std::string children = ReadText("/proc/" + std::to_string(wrapper) + "/task/" +
                                  std::to_string(wrapper) + "/children");
  std::istringstream in(children);
  long pid = -1;
  in >> pid;
  return static_cast<pid_t>(pid);
}

RunResult Finish(const Launch& launch) {
  RunResult result;
  if (launch.pid < 0)
    return result;
  result.started = true;
  ProcessEnd end = AwaitProcess(launch.pid);
  result.exitStatus = end.exitStatus;
  // timeout(1) exits with 124 after its TERM, 137 after its KILL.
  result.timedOut = end.exited && (end.exitStatus == 124 || end.exitStatus == 137);
  result.out = ReadText(launch.dir + "/stdout");
  result.err = ReadText(launch.dir + "/stderr");
  RecordFile record = ReadRecordFile(launch.dir + "/record.json");
  result.hasRecord = record.state == RecordState::kRead;
  result.record = record.record;
  return result;
}

}  // namespace

std::string RunResult::Describe() const {
  std::ostringstream text;
  text << "started: " << started << ", exit status: " << exitStatus << ", timed out: " << timedOut
       << ", record: " << hasRecord;
  text << "\nstderr:\n" << (err.size() > 3000 ? err.substr(err.size() - 3000) : err);
  text << "\nstdout:\n" << (out.size() > 3000 ? out.substr(out.size() - 3000) : out);
  return text.str();
}

const nlohmann::json& RunResult::Device(const std::string& name) const {
  return DeviceRecord(record, name);
}

std::vector<RunResult> RunAll(const Workspace& workspace, const std::vector<RunOptions>& runs) {
  std::vector<Launch> launches;
  for (const RunOptions& options : runs)
    launches.push_back(Start(workspace, options));
  std::vector<RunResult> results;
  for (const Launch& launch : launches)
    results.push_back(Finish(launch));
  return results;
}

RunResult Run(const Workspace& workspace, const RunOptions& options) {
  return RunAll(workspace, {options}).front();
}

LiveRun::LiveRun(const Workspace& workspace, const RunOptions& options) {
  Launch launch = Start(workspace, options);
  dir_ = launch.dir;
  pid_ = launch.pid;
}

LiveRun::~LiveRun() {
  if (!finished_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    Finish();
  }
}

bool LiveRun::WaitFor(const std::string& text, bool onStderr, int seconds) {
  const std::string path = dir_ + (onStderr ? "/stderr" : "/stdout");
  for (int i = 0; i < seconds * 100; ++i) {
    if (ReadText(path).find(text) != std::string::npos)
      return true;
    // Ended already? Looked at without reaping, so Finish still can.
    if (ProcessEnded(pid_))
      return ReadText(path).find(text) != std::string::npos;
    usleep(10000);
  }
  return false;
}

bool LiveRun::Signal(int signo) {
  pid_t program = pid_ > 0 ? ProgramPid(pid_) : -1;
  return program > 0 && kill(program, signo) == 0;
}

bool LiveRun::Running() const {
  return !finished_ && !ProcessEnded(pid_);
}

RunResult LiveRun::Finish() {
  finished_ = true;
  Launch launch;
  launch.dir = dir_;
  launch.pid = pid_;
  return e2e::Finish(launch);
}

}  // namespace e2e
