// Parallel updates: N identical full-speed dongles on one shared emulated bus
// (quorvel-emulator-bus), N instances of the program started together, each
// told its dongle by --port (or --serial), against one dongle updated alone
// on the same kind of bus. Wall time of the whole batch, CPU time of each
// instance and of the bus process, each run checked through the bus's
// record: every device updated exactly once, opened by one instance only.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "bench.h"
#include "support/bus_process.h"
#include "support/device_record.h"
#include "support/environment.h"
#include "support/process.h"
#include "support/workspace.h"

namespace bench {
namespace {

using nlohmann::json;

// The instances of a parallel run reach the bus through the shared bus's
// own hidapi library, which is built beside the in-process preload one.
std::string SharedBusLibrary(const std::string& emulator) {
  size_t slash = emulator.rfind('/');
  std::string dir = slash == std::string::npos ? "." : emulator.substr(0, slash);
  return dir + "/libquorvel_emulator_shared_bus.so";
}

}  // namespace

std::vector<std::string> BusEnvironment(const std::string& emulator, const std::string& socket) {
  std::vector<std::string> env = e2e::CleanEnvironment();
  if (!emulator.empty())
    env.push_back("LD_PRELOAD=" + (socket.empty() ? emulator : SharedBusLibrary(emulator)));
  if (!socket.empty())
    env.push_back("QUORVEL_EMU_BUS=" + socket);
  env.push_back("LC_ALL=C");
  return env;
}

namespace {

std::string SerialOf(int k) {
  return "QVB" + std::to_string(1000 + k);
}

}  // namespace

std::string DongleName(int k) {
  return "dongle" + std::to_string(k);
}

// Back in the upgrade product under a new node, as the dongles of a
// production line do.
json LineScenario(int devices, const BenchCase& c, const DeviceTiming& t) {
  json list = json::array();
  for (int k = 0; k < devices; ++k) {
    e2e::DongleSetup setup = DongleFor(c, t);
    setup.name = DongleName(k);
    setup.path = e2e::UniqueHidrawPath(k);
    setup.serial = SerialOf(k);
    setup.port = e2e::LinePort(k);
    setup.reboot.path = e2e::UniqueHidrawPath(50 + k);
    setup.reboot.productId = "0x8267";
    list.push_back(e2e::DongleJson(setup));
  }
  return {{"recordWrites", false}, {"recordFrames", false}, {"devices", list}};
}

// Checks the bus's record: each device one verified transfer, applied,
// back with the new version, opened by exactly one process, and no process
// on two devices.
bool CheckLineRecord(const json& record, int devices, std::string* why) {
  std::map<int, int> devicesOfPid;
  for (int k = 0; k < devices; ++k) {
    const json& d = e2e::DeviceRecord(record, DongleName(k));
    std::string name = DongleName(k);
    if (!d.contains("transfers") || d["transfers"].size() != 1 ||
        d["transfers"][0]["verified"] != true || d["restarts"].size() != 1 ||
        d["final"]["controllerVersion"] != kImageVersion) {
      *why = name + " was not updated exactly once";
      return false;
    }
    std::set<int> pids = e2e::OpeningPids(d);
    if (pids.size() != 1) {
      *why = name + " was opened by " + std::to_string(pids.size()) + " processes";
      return false;
    }
    if (++devicesOfPid[*pids.begin()] > 1) {
      *why = "one process opened two devices";
      return false;
    }
  }
  return true;
}

namespace {

std::string OutputPath(const BatchPlan& plan, int k) {
  return plan.dir + "/output-" + std::to_string(k) + ".txt";
}

// Starts every instance at once, each told its own dongle.
std::vector<pid_t> StartInstances(const BatchPlan& plan, const std::string& socket) {
  const ParallelOptions& o = *plan.options;
  std::vector<pid_t> pids;
  e2e::ProcessSetup setup;
  setup.env = BusEnvironment(o.emulator, socket);
  for (int k = 0; k < plan.devices; ++k) {
    setup.argv = {o.program, "248a", "8266", "-s", "4",  "-b",      std::to_string(plan.c.bsize),
                  "-w",      "0",    "-c",   "1",  "-d", plan.image};
    setup.argv.insert(setup.argv.end(), {o.bySerial ? "--serial" : "--port",
                                         o.bySerial ? SerialOf(k) : e2e::LinePort(k)});
    setup.stdoutPath = OutputPath(plan, k);
    setup.stderrPath = setup.stdoutPath;
    pids.push_back(e2e::StartProcess(setup));
  }
  return pids;
}

// Waits for every instance; the wall time ends when the last one has.
bool AwaitInstances(const std::vector<pid_t>& pids, int64_t start, Batch* batch, std::string* why) {
  bool ok = true;
  batch->instances = static_cast<int>(pids.size());
  batch->cpuUs.assign(pids.size(), 0);
  for (size_t k = 0; k < pids.size(); ++k) {
    e2e::ProcessEnd end = e2e::AwaitProcess(pids[k]);
    batch->cpuUs[k] = end.cpuUs;
    if (pids[k] < 0 || end.exitStatus != 0) {
      ok = false;
      *why = "instance " + std::to_string(k) + " failed";
    }
  }
  batch->wallUs = e2e::MonotonicUs() - start;
  return ok;
}

bool PrintedSuccess(const BatchPlan& plan, std::string* why) {
  for (int k = 0; k < plan.devices; ++k) {
    if (e2e::ReadText(OutputPath(plan, k)).find("DFU success!") == std::string::npos) {
      *why = "instance " + std::to_string(k) + " printed no success line";
      return false;
    }
  }
  return true;
}

}  // namespace

bool RunBatch(const BatchPlan& plan, Batch* batch, std::string* why) {
  mkdir(plan.dir.c_str(), 0755);
  e2e::BusSetup setup;
  setup.program = plan.options->busProgram;
  setup.dir = plan.dir;
  setup.scenario = LineScenario(plan.devices, plan.c, TimingFor(plan.c));
  setup.env = BusEnvironment("", "");
  setup.outputPath = plan.dir + "/bus.txt";
  e2e::BusProcess bus = e2e::StartBus(setup);
  if (!bus.started) {
    *why = "the bus did not start";
    return false;
  }
  int64_t start = e2e::MonotonicUs();
  std::vector<pid_t> pids = StartInstances(plan, bus.socket);
  bool ok = AwaitInstances(pids, start, batch, why);
  e2e::BusEnd end = e2e::StopBus(&bus);
  batch->busCpuUs = end.cpuUs;
  ok = ok && PrintedSuccess(plan, why);
  return ok && end.recordRead && CheckLineRecord(end.record, plan.devices, why);
}

int64_t MedianOf(std::vector<int64_t> values) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string Fixed(double value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

double Ms(int64_t us) {
  return static_cast<double>(us) / 1000.0;
}

namespace {

void PrintBatch(const Batch& batch, int devices, int rep) {
  std::string cpu;
  for (int64_t us : batch.cpuUs)
    cpu += (cpu.empty() ? "" : " ") + Fixed(Ms(us), 0);
  std::fprintf(stderr,
               "%d in parallel, rep %d: wall %.0f ms, CPU ms per instance %s, bus %.0f ms\n",
               devices, rep, Ms(batch.wallUs), cpu.c_str(), Ms(batch.busCpuUs));
}

// The batches of one alone and of all instances, every repetition; returns
// the number that failed.
int RunRepetitions(const ParallelOptions& o, const BatchPlan& base, std::vector<Batch>* singles,
                   std::vector<Batch>* batches) {
  int failures = 0;
  for (int rep = 1; rep <= o.reps; ++rep) {
    for (int devices : {1, o.instances}) {
      BatchPlan plan = base;
      plan.devices = devices;
      plan.dir = o.work + "/parallel-" + std::to_string(devices) + "-" + std::to_string(rep);
      Batch batch;
      std::string why;
      if (!RunBatch(plan, &batch, &why)) {
        ++failures;
        std::fprintf(stderr, "FAILED %d in parallel, rep %d: %s\n", devices, rep, why.c_str());
        continue;
      }
      PrintBatch(batch, devices, rep);
      (devices == 1 ? singles : batches)->push_back(batch);
    }
  }
  return failures;
}

// One row of the table: n instances, medians over their batches.
std::string Row(const std::vector<Batch>& runs, int n, int64_t boundUs) {
  std::vector<int64_t> walls;
  std::vector<int64_t> cpus;
  std::vector<int64_t> buses;
  for (const Batch& b : runs) {
    walls.push_back(b.wallUs);
    buses.push_back(b.busCpuUs);
    cpus.insert(cpus.end(), b.cpuUs.begin(), b.cpuUs.end());
  }
  int64_t wall = MedianOf(walls);
  int64_t cpu = MedianOf(cpus);
  int64_t maxCpu = cpus.empty() ? 0 : *std::max_element(cpus.begin(), cpus.end());
  double share = wall > 0 ? 100.0 * static_cast<double>(cpu) / static_cast<double>(wall) : 0;
  return "| " + std::to_string(n) + " | " + Fixed(static_cast<double>(wall) / 1e6, 3) + " | " +
         Fixed(static_cast<double>(wall) / static_cast<double>(boundUs), 3) + " | " +
         Fixed(Ms(cpu), 0) + " (max " + Fixed(Ms(maxCpu), 0) + ") | " + Fixed(share, 1) + " % | " +
         Fixed(share * n, 1) + " % | " + Fixed(Ms(MedianOf(buses)), 0) + " |";
}

// Median wall time of all instances over that of one alone.
double WallRatio(const std::vector<Batch>& singles, const std::vector<Batch>& batches) {
  std::vector<int64_t> singleWalls;
  std::vector<int64_t> batchWalls;
  for (const Batch& b : singles)
    singleWalls.push_back(b.wallUs);
  for (const Batch& b : batches)
    batchWalls.push_back(b.wallUs);
  return MedianOf(singleWalls) > 0 ? static_cast<double>(MedianOf(batchWalls)) /
                                         static_cast<double>(MedianOf(singleWalls))
                                   : 0;
}

std::string Heading(const ParallelOptions& o, const BenchCase& c, int64_t boundUs) {
  return "Full-speed dongles, " + std::to_string(c.imageBytes / 1024) + " KiB image, bsize " +
         std::to_string(c.bsize) + ", selected by " + (o.bySerial ? "--serial" : "--port") +
         ", median of " + std::to_string(o.reps) + " batches; command bound " +
         Fixed(static_cast<double>(boundUs) / 1e6, 3) + " s:\n\n" +
         "| Instances | Wall s | Wall / bound | CPU ms per instance (median, max) | CPU / wall per "
         "instance | All instances, % of one core | Bus process CPU ms |\n" +
         "|---|---|---|---|---|---|---|\n";
}

}  // namespace

int RunParallel(const ParallelOptions& o) {
  BatchPlan base;
  base.options = &o;
  base.c = {o.imageBytes, o.bsize, false};
  base.image = o.work + "/parallel-image.bin";
  if (!WriteImageFile(base.c.imageBytes, base.image)) {
    std::fprintf(stderr, "quorvel-bench: cannot write %s\n", base.image.c_str());
    return 1;
  }
  DeviceTiming timing = TimingFor(base.c);
  int64_t boundUs = CommandBoundUs(
      timing, DownloadBoundUs(CountTransfer(base.c.imageBytes, base.c.bsize), timing));
  std::string loadBefore = LoadAverage();
  std::vector<Batch> singles;
  std::vector<Batch> batches;
  int failures = RunRepetitions(o, base, &singles, &batches);
  std::string text =
      "Machine:\n\n" + MachineNote() + "- /proc/loadavg before the runs: " + loadBefore +
      "\n- /proc/loadavg after the runs: " + LoadAverage() + "\n\n" + Heading(o, base.c, boundUs) +
      Row(singles, 1, boundUs) + "\n" + Row(batches, o.instances, boundUs) + "\n\nWall time of " +
      std::to_string(o.instances) +
      " in parallel / one alone: " + Fixed(WallRatio(singles, batches), 3) + "\n";
  std::printf("%s", text.c_str());
  if (!o.markdown.empty())
    e2e::WriteText(o.markdown, text);
  return failures == 0 ? 0 : 1;
}

}  // namespace bench
