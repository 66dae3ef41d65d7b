#include "support/bus_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "support/device_record.h"
#include "support/process.h"
#include "support/workspace.h"

namespace e2e {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// The socket appears once the bus listens (it is renamed into place).
bool AwaitSocket(const BusProcess& bus) {
  for (int i = 0; i < 1000; ++i) {
    if (Exists(bus.socket))
      return true;
    if (ProcessEnded(bus.pid))
      return false;
    usleep(10000);  // a hang guard of ten seconds, not a timing
  }
  return Exists(bus.socket);
}

}  // namespace

BusProcess StartBus(const BusSetup& setup) {
  BusProcess bus;
  bus.socket = setup.dir + "/bus.sock";
  bus.record = setup.dir + "/record.json";
  std::string scenarioFile = setup.dir + "/scenario.json";
  unlink(bus.socket.c_str());
  unlink(bus.record.c_str());
  if (!WriteText(scenarioFile, setup.scenario.dump(2) + "\n"))
    return bus;
  ProcessSetup process;
  process.argv = {setup.program, "--socket", bus.socket, "--record", bus.record, scenarioFile};
  process.env = setup.env;
  process.stdoutPath = setup.outputPath;
  process.stderrPath = setup.outputPath;
  bus.pid = StartProcess(process);
  if (bus.pid < 0)
    return bus;
  bus.started = AwaitSocket(bus);
  if (!bus.started) {
    kill(bus.pid, SIGKILL);
    AwaitProcess(bus.pid);
    bus.pid = -1;
  }
  return bus;
}

BusEnd StopBus(BusProcess* bus) {
  BusEnd end;
  if (bus->pid > 0) {
    end.cpuUs = StopProcess(bus->pid).cpuUs;
    bus->pid = -1;
  }
  bus->started = false;
  RecordFile file = ReadRecordFile(bus->record);
  end.recordRead = file.state == RecordState::kRead;
  end.record = file.record;
  return end;
}

}  // namespace e2e
