// The station row: N identical full-speed dongles on N ports of one shared
// emulated bus, all plugged in from the start, and one station of the real
// program (--station --count N --log FILE) that finds them and runs one
// pinned update for each, against one dongle updated alone on the same
// kind of bus. Measured from the parent: the station's wall time (start to
// exit), its own CPU time and peak memory, the CPU of all its children
// together, and the bus process's CPU; each batch checked through the bus's
// record (every dongle updated exactly once by one process) and the log (one
// successful line per dongle).
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bench.h"
#include "support/bus_process.h"
#include "support/process.h"
#include "support/workspace.h"

namespace bench {
namespace {

using nlohmann::json;

// Far beyond a healthy batch: a station that hangs is killed then.
constexpr int64_t kStationTimeLimitUs = 180 * 1000000LL;

struct StationBatch {
  int64_t wallUs = 0;
  int64_t ownCpuUs = 0;       // the station process itself
  int64_t childrenCpuUs = 0;  // all its updates together
  int64_t peakRssKiB = 0;     // the station process itself
  int64_t busCpuUs = 0;
};

// utime + stime of the process itself (fields 14 and 15 of /proc/PID/stat,
// in clock ticks); still readable while it is an unreaped zombie. -1 when
// the file cannot be read.
int64_t OwnCpuUs(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');  // the command name may hold spaces
  if (close == std::string::npos)
    return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string skip;
  for (int field = 3; field < 14; ++field)
    fields >> skip;
  int64_t user = 0;
  int64_t system = 0;
  fields >> user >> system;
  return (user + system) * 1000000 / sysconf(_SC_CLK_TCK);
}

// VmHWM of /proc/PID/status: the process's peak resident set so far; 0 when
// it is no longer there (a zombie has none).
int64_t PeakRssKiB(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmHWM:", 0) == 0)
      return std::atoll(line.c_str() + 6);
  }
  return 0;
}

// Waits for the station's exit, sampling its peak memory every 5 ms; takes
// its own CPU time before it is reaped, then its whole CPU time (children
// included) from wait4. False when it timed out or did not exit 0.
bool AwaitStation(pid_t pid, int64_t start, StationBatch* batch, std::string* why) {
  while (!e2e::ProcessEnded(pid)) {
    batch->peakRssKiB = std::max(batch->peakRssKiB, PeakRssKiB(pid));
    if (e2e::MonotonicUs() - start > kStationTimeLimitUs)
      break;
    timespec pause{0, 5000000};
    nanosleep(&pause, nullptr);
  }
  batch->wallUs = e2e::MonotonicUs() - start;
  batch->ownCpuUs = OwnCpuUs(pid);
  e2e::ProcessEnd end = e2e::AwaitProcess(pid, 0);
  batch->childrenCpuUs = end.cpuUs - batch->ownCpuUs;
  if (end.timedOut || end.exitStatus != 0) {
    *why = end.timedOut ? "the station did not end"
                        : "the station exited " + std::to_string(end.exitStatus);
    return false;
  }
  return true;
}

// One line per dongle, each the record of a successful update.
bool CheckLog(const std::string& path, int devices, std::string* why) {
  std::istringstream in(e2e::ReadText(path));
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    json record = json::parse(line, nullptr, false);
    if (record.is_discarded() || record.value("result", "") != "success") {
      *why = "log line " + std::to_string(lines + 1) + " is not a success: " + line;
      return false;
    }
    ++lines;
  }
  if (lines != devices)
    *why = "the log has " + std::to_string(lines) + " lines for " + std::to_string(devices);
  return lines == devices;
}

std::vector<std::string> StationArgv(const StationOptions& o, const BatchPlan& plan,
                                     const std::string& log) {
  return {o.base.program,
          "248a",
          "8266",
          "-s",
          "4",
          "-b",
          std::to_string(plan.c.bsize),
          "-w",
          "0",
          "-c",
          "1",
          "-d",
          plan.image,
          "--station",
          "--count",
          std::to_string(plan.devices),
          "--log",
          log};
}

bool RunStationBatch(const StationOptions& o, const BatchPlan& plan, StationBatch* batch,
                     std::string* why) {
  mkdir(plan.dir.c_str(), 0755);
  e2e::BusSetup bus;
  bus.program = o.base.busProgram;
  bus.dir = plan.dir;
  bus.scenario = LineScenario(plan.devices, plan.c, TimingFor(plan.c));
  bus.env = BusEnvironment("", "");
  bus.outputPath = plan.dir + "/bus.txt";
  e2e::BusProcess process = e2e::StartBus(bus);
  if (!process.started) {
    *why = "the bus did not start";
    return false;
  }
  e2e::ProcessSetup setup;
  const std::string log = plan.dir + "/station.jsonl";
  setup.argv = StationArgv(o, plan, log);
  setup.env = BusEnvironment(o.base.emulator, process.socket);
  setup.stdoutPath = plan.dir + "/station.txt";
  setup.stderrPath = setup.stdoutPath;
  int64_t start = e2e::MonotonicUs();
  bool ok = AwaitStation(e2e::StartProcess(setup), start, batch, why);
  e2e::BusEnd end = e2e::StopBus(&process);
  batch->busCpuUs = end.cpuUs;
  ok = ok && CheckLog(log, plan.devices, why);
  if (ok && !end.recordRead)
    *why = "the bus wrote no record";
  return ok && end.recordRead && CheckLineRecord(end.record, plan.devices, why);
}

// The median of one figure over the batches.
template <typename Field>
int64_t MedianField(const std::vector<StationBatch>& batches, Field field) {
  std::vector<int64_t> values;
  for (const StationBatch& b : batches)
    values.push_back(b.*field);
  return MedianOf(values);
}

std::string Percent(int64_t cpuUs, int64_t wallUs) {
  return Fixed(wallUs > 0 ? 100.0 * static_cast<double>(cpuUs) / static_cast<double>(wallUs) : 0,
               2) +
         " %";
}

// The two rows (one update alone, the station), medians over the batches.
std::string Table(const std::vector<Batch>& singles, const std::vector<StationBatch>& stations,
                  int ports) {
  std::vector<int64_t> singleWalls;
  std::vector<int64_t> singleCpus;
  std::vector<int64_t> singleBuses;
  for (const Batch& b : singles) {
    singleWalls.push_back(b.wallUs);
    singleCpus.insert(singleCpus.end(), b.cpuUs.begin(), b.cpuUs.end());
    singleBuses.push_back(b.busCpuUs);
  }
  int64_t alone = MedianOf(singleWalls);
  if (stations.empty())
    return "No station batch succeeded (see the FAILED lines on standard error).\n";
  int64_t wall = MedianField(stations, &StationBatch::wallUs);
  int64_t own = MedianField(stations, &StationBatch::ownCpuUs);
  int64_t children = MedianField(stations, &StationBatch::childrenCpuUs);
  double ratio = alone > 0 ? static_cast<double>(wall) / static_cast<double>(alone) : 0;
  return "| Run | Wall s | Wall / one alone | Station CPU ms (of one core) | Station peak RSS "
         "MiB | All children CPU ms (of one core) | Bus process CPU ms |\n"
         "|---|---|---|---|---|---|---|\n"
         "| one update alone | " +
         Fixed(static_cast<double>(alone) / 1e6, 3) + " | 1.000 | - | - | " +
         Fixed(Ms(MedianOf(singleCpus)), 0) + " (" + Percent(MedianOf(singleCpus), alone) + ") | " +
         Fixed(Ms(MedianOf(singleBuses)), 0) + " |\n| station, " + std::to_string(ports) +
         " ports | " + Fixed(static_cast<double>(wall) / 1e6, 3) + " | " + Fixed(ratio, 3) + " | " +
         Fixed(Ms(own), 0) + " (" + Percent(own, wall) + ") | " +
         Fixed(static_cast<double>(MedianField(stations, &StationBatch::peakRssKiB)) / 1024.0, 1) +
         " | " + Fixed(Ms(children), 0) + " (" + Percent(children, wall) + ") | " +
         Fixed(Ms(MedianField(stations, &StationBatch::busCpuUs)), 0) + " |\n";
}

void PrintStationBatch(const StationBatch& b, int ports, int rep) {
  std::fprintf(stderr,
               "station, %d ports, rep %d: wall %.0f ms, station CPU %.0f ms, peak RSS %lld KiB, "
               "children CPU %.0f ms, bus %.0f ms\n",
               ports, rep, Ms(b.wallUs), Ms(b.ownCpuUs), static_cast<long long>(b.peakRssKiB),
               Ms(b.childrenCpuUs), Ms(b.busCpuUs));
}

// Every repetition: one update alone, then the station; returns the number
// of batches that failed.
int RunRepetitions(const StationOptions& o, const BatchPlan& base, std::vector<Batch>* singles,
                   std::vector<StationBatch>* stations) {
  int failures = 0;
  for (int rep = 1; rep <= o.base.reps; ++rep) {
    BatchPlan single = base;
    single.devices = 1;
    single.dir = o.base.work + "/station-alone-" + std::to_string(rep);
    Batch batch;
    std::string why;
    if (RunBatch(single, &batch, &why)) {
      std::fprintf(stderr, "one alone, rep %d: wall %.0f ms\n", rep, Ms(batch.wallUs));
      singles->push_back(batch);
    } else {
      ++failures;
      std::fprintf(stderr, "FAILED one alone, rep %d: %s\n", rep, why.c_str());
    }
    BatchPlan all = base;
    all.devices = o.ports;
    all.dir = o.base.work + "/station-" + std::to_string(o.ports) + "-" + std::to_string(rep);
    StationBatch station;
    if (RunStationBatch(o, all, &station, &why)) {
      PrintStationBatch(station, o.ports, rep);
      stations->push_back(station);
    } else {
      ++failures;
      std::fprintf(stderr, "FAILED station, rep %d: %s (see %s)\n", rep, why.c_str(),
                   all.dir.c_str());
    }
  }
  return failures;
}

}  // namespace

int RunStation(const StationOptions& o) {
  BatchPlan base;
  base.options = &o.base;
  base.c = {o.base.imageBytes, o.base.bsize, false};
  base.image = o.base.work + "/station-image.bin";
  if (!WriteImageFile(base.c.imageBytes, base.image)) {
    std::fprintf(stderr, "quorvel-bench: cannot write %s\n", base.image.c_str());
    return 1;
  }
  std::string loadBefore = LoadAverage();
  std::vector<Batch> singles;
  std::vector<StationBatch> stations;
  int failures = RunRepetitions(o, base, &singles, &stations);
  std::string text =
      "Machine:\n\n" + MachineNote() + "- /proc/loadavg before the runs: " + loadBefore +
      "\n- /proc/loadavg after the runs: " + LoadAverage() + "\n\nFull-speed dongles, " +
      std::to_string(base.c.imageBytes / 1024) + " KiB image, bsize " +
      std::to_string(base.c.bsize) + ", median of " + std::to_string(o.base.reps) +
      " batches:\n\n" + Table(singles, stations, o.ports);
  std::printf("%s", text.c_str());
  if (!o.base.markdown.empty())
    e2e::WriteText(o.base.markdown, text);
  return failures == 0 ? 0 : 1;
}

}  // namespace bench
