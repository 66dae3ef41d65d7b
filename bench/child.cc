// One run of the program as its own process, timed on the monotonic clock
// from just before it is started to the moment it exits, with its CPU time
// and peak resident memory. On request it runs in the FIFO real-time class,
// which takes the other work on the machine out of its timing. The wait
// wakes exactly when the child ends, so no polling interval is added to the
// wall time; a run that hangs is killed after its time-out.
#include "bench.h"
#include "support/process.h"

namespace bench {

ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& outputPath, int64_t timeoutMs, int realtimePriority) {
  e2e::ProcessSetup setup;
  setup.argv = argv;
  setup.env = env;
  setup.stdoutPath = outputPath;
  setup.stderrPath = outputPath;
  setup.realtimePriority = realtimePriority;
  ChildResult result;
  int64_t start = e2e::MonotonicUs();
  pid_t pid = e2e::StartProcess(setup);
  if (pid < 0)
    return result;
  result.started = true;
  e2e::ProcessEnd end = e2e::AwaitProcess(pid, timeoutMs);
  result.wallUs = e2e::MonotonicUs() - start;
  result.timedOut = end.timedOut;
  result.cpuUs = end.cpuUs;
  result.maxRssKiB = end.maxRssKiB;
  result.exitStatus = end.exitStatus;
  return result;
}

}  // namespace bench
