// quorvel-bench: times command-line platform 4 updates of the real program
// against the preloaded device emulator, for several image and block sizes,
// with a full-speed USB device and with a zero-latency one, and prints each
// time as a ratio to the least time that run could have taken.
//
//   quorvel-bench --program quorvel-dfu --emulator libquorvel_emulator_preload.so
//                 --work DIR [--reps N] [--sizes KiB,...] [--bsizes N,...]
//                 [--devices full,zero] [--realtime PRIORITY] [--markdown FILE]
//                 [--parallel N --bus quorvel-emulator-bus [--select port|serial]]
//                 [--station N --bus quorvel-emulator-bus]
//                 [--memory PADDED_MiB]
//
// With --parallel, N dongles on one shared bus are updated by N instances at
// once and compared with one alone (parallel.cc); the first of --sizes and
// --bsizes give the case. With --station, N dongles on N ports of one bus are
// updated by one station of the program (--station --count N) and compared
// with one alone (station.cc), for the same case. With --memory, the peak
// resident memory of updates on chip platforms 1 to 4 (--sizes, by default
// 64, 1024 and 16384 KiB) and of a chip platform 3 file of PADDED_MiB with a
// 1 MiB image at its end (memory.cc).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "bench.h"
#include "support/environment.h"
#include "support/process.h"
#include "support/workspace.h"

namespace bench {
namespace {

struct Options {
  std::string program;
  std::string emulator;
  std::string work;
  std::string markdown;
  int reps = 3;
  int realtimePriority = 0;
  std::vector<int64_t> sizesKiB = {64, 256, 1024};
  std::vector<int64_t> bsizes = {62, 256, 512};
  bool fullSpeed = true;
  bool zeroLatency = true;
  int parallel = 0;  // > 0: the parallel benchmark with that many instances
  int station = 0;   // > 0: the station row with that many ports
  std::string bus;
  bool bySerial = false;
  int64_t memoryPaddedMiB = -1;  // >= 0: the memory rows, with that padded file (0: none)
  bool sizesGiven = false;
};

std::vector<int64_t> NumberList(const std::string& text) {
  std::vector<int64_t> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ','))
    out.push_back(std::atoll(item.c_str()));
  return out;
}

// The options that pick what is run and how: false for an unknown name or a
// bad value.
bool ParseRunOption(const std::string& name, const std::string& value, Options* o) {
  if (name == "--realtime") {
    o->realtimePriority = std::atoi(value.c_str());
  } else if (name == "--reps") {
    o->reps = std::atoi(value.c_str());
  } else if (name == "--sizes") {
    o->sizesKiB = NumberList(value);
    o->sizesGiven = true;
  } else if (name == "--bsizes") {
    o->bsizes = NumberList(value);
  } else if (name == "--parallel") {
    o->parallel = std::atoi(value.c_str());
  } else if (name == "--station") {
    o->station = std::atoi(value.c_str());
  } else if (name == "--memory") {
    o->memoryPaddedMiB = std::atoll(value.c_str());
  } else if (name == "--select") {
    if (value != "port" && value != "serial")
      return false;
    o->bySerial = value == "serial";
  } else if (name == "--devices") {
    o->fullSpeed = value.find("full") != std::string::npos;
    o->zeroLatency = value.find("zero") != std::string::npos;
  } else {
    return false;
  }
  return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    std::string value = argv[i + 1];
    if (name == "--program") {
      o->program = value;
    } else if (name == "--emulator") {
      o->emulator = value;
    } else if (name == "--work") {
      o->work = value;
    } else if (name == "--markdown") {
      o->markdown = value;
    } else if (name == "--bus") {
      o->bus = value;
    } else if (!ParseRunOption(name, value, o)) {
      return false;
    }
  }
  return argc % 2 == 1 && !o->program.empty() && !o->emulator.empty() && !o->work.empty() &&
         o->reps > 0 && (o->parallel == 0 || (o->parallel > 1 && !o->bus.empty())) &&
         (o->station == 0 || (o->station > 0 && !o->bus.empty()));
}

// The caller's environment without anything that would change what the
// program or the emulator does, plus the emulator's own settings.
std::vector<std::string> ChildEnvironment(const std::string& emulator, const std::string& scenario,
                                          const std::string& record) {
  std::vector<std::string> env = e2e::CleanEnvironment();
  env.push_back("LD_PRELOAD=" + emulator);
  env.push_back("QUORVEL_EMU_SCENARIO=" + scenario);
  env.push_back("QUORVEL_EMU_RECORD=" + record);
  env.push_back("LC_ALL=C");
  return env;
}

std::string CaseName(const BenchCase& c) {
  return std::string(c.zeroLatency ? "zero" : "full") + "-" + std::to_string(c.imageBytes) + "-" +
         std::to_string(c.bsize);
}

std::string ImagePath(const Options& o, int64_t bytes) {
  return o.work + "/image-" + std::to_string(bytes) + ".bin";
}

// The bounds of the case, before it runs.
RunFigures Bounds(const BenchCase& c, const DeviceTiming& timing) {
  RunFigures figures;
  figures.c = c;
  figures.shape = CountTransfer(c.imageBytes, c.bsize);
  figures.downloadBoundUs = DownloadBoundUs(figures.shape, timing);
  figures.commandBoundUs = CommandBoundUs(timing, figures.downloadBoundUs);
  figures.busyWaitUs = MandatedBusyWaitUs();
  figures.rssLimitKiB = 2 * c.imageBytes / 1024 + 16 * 1024;
  return figures;
}

std::string ExitReason(const ChildResult& run) {
  return run.timedOut ? "timed out"
         : run.exitStatus == e2e::kNoRealtimeStatus
             ? "cannot enter the real-time class"
             : "exit status " + std::to_string(run.exitStatus);
}

// The program must have ended by itself, successfully, and said so.
bool CheckRun(const ChildResult& run, const std::string& output, std::string* why) {
  if (!run.started || run.timedOut || run.exitStatus != 0) {
    *why = ExitReason(run);
    return false;
  }
  if (e2e::ReadText(output).find("DFU success!") == std::string::npos) {
    *why = "no success line in " + output;
    return false;
  }
  return true;
}

// What the device saw must be a clean update that the bound describes.
bool CheckRecord(const std::string& record, const DeviceTiming& timing, RunFigures* figures,
                 std::string* why) {
  RecordFigures r = ReadRecord(record);
  if (!r.ok || !r.verified || !r.cameBack) {
    *why = r.ok ? "image not verified and applied" : r.error;
    return false;
  }
  // The bound counts frames and acknowledgements itself; the device's own
  // count of both must agree, or the bound describes another transfer.
  if (r.dataFrames != figures->shape.frames || r.acks != figures->shape.acks ||
      r.declaredLength != figures->c.imageBytes) {
    *why = "device saw " + std::to_string(r.dataFrames) + " frames and " + std::to_string(r.acks) +
           " acknowledgements of " + std::to_string(r.declaredLength) + " bytes";
    return false;
  }
  figures->downloadUs = r.verifyRequestUs - StartCompletionUs(r.startRequestUs, timing);
  if (figures->downloadUs < figures->downloadBoundUs) {
    *why = "download faster than its bound: the bound does not match the device model";
    return false;
  }
  return true;
}

// One run; false with a reason when it did not make a clean update.
bool RunCase(const Options& o, const BenchCase& c, int rep, RunFigures* figures, std::string* why) {
  std::string name = CaseName(c) + "-" + std::to_string(rep);
  std::string scenario = o.work + "/scenario-" + CaseName(c) + ".json";
  std::string record = o.work + "/record-" + name + ".json";
  std::string output = o.work + "/output-" + name + ".txt";
  // A bus path of our own: the program's device lock is system-wide, and
  // other emulated runs on this machine may use the usual hidraw names.
  std::string path = "/dev/hidraw-bench" + std::to_string(getpid());
  DeviceTiming timing = TimingFor(c);
  unlink(record.c_str());
  if (!e2e::WriteText(scenario, ScenarioText(c, timing, path))) {
    *why = "cannot write " + scenario;
    return false;
  }
  *figures = Bounds(c, timing);
  std::vector<std::string> argv = {o.program,
                                   "248a",
                                   "8266",
                                   "-s",
                                   "4",
                                   "-b",
                                   std::to_string(c.bsize),
                                   "-w",
                                   "0",
                                   "-c",
                                   "1",
                                   "-d",
                                   ImagePath(o, c.imageBytes)};
  int64_t timeoutMs = std::max<int64_t>(60000, 3 * figures->commandBoundUs / 1000);
  ChildResult run = RunChild(argv, ChildEnvironment(o.emulator, scenario, record), output,
                             timeoutMs, o.realtimePriority);
  figures->commandUs = run.wallUs;
  figures->cpuUs = run.cpuUs;
  figures->maxRssKiB = run.maxRssKiB;
  return CheckRun(run, output, why) && CheckRecord(record, timing, figures, why);
}

std::vector<BenchCase> Cases(const Options& o) {
  std::vector<BenchCase> cases;
  for (int zero = 0; zero < 2; ++zero) {
    if ((zero && !o.zeroLatency) || (!zero && !o.fullSpeed))
      continue;
    for (int64_t kib : o.sizesKiB) {
      for (int64_t bsize : o.bsizes)
        cases.push_back({kib * 1024, static_cast<int>(bsize), zero == 1});
    }
  }
  return cases;
}

bool WriteImages(const Options& o) {
  for (int64_t kib : o.sizesKiB) {
    std::string image = ImagePath(o, kib * 1024);
    if (!WriteImageFile(kib * 1024, image)) {
      std::fprintf(stderr, "quorvel-bench: cannot write %s\n", image.c_str());
      return false;
    }
  }
  return true;
}

// Every case of every repetition; the figures of the clean runs by case,
// and the number of runs that failed.
int RunRepetitions(const Options& o, const std::vector<BenchCase>& cases,
                   std::map<size_t, std::vector<RunFigures>>* runs) {
  int failures = 0;
  // Repetitions outermost, so that a busy spell of the machine spreads over
  // the cases instead of spoiling one case's every run.
  for (int rep = 1; rep <= o.reps; ++rep) {
    for (size_t i = 0; i < cases.size(); ++i) {
      RunFigures figures;
      std::string why;
      if (!RunCase(o, cases[i], rep, &figures, &why)) {
        ++failures;
        std::fprintf(stderr, "FAILED %s rep %d: %s\n", CaseName(cases[i]).c_str(), rep,
                     why.c_str());
        continue;
      }
      (*runs)[i].push_back(figures);
      std::fprintf(stderr, "%s\n", RunLine(figures, rep).c_str());
    }
  }
  return failures;
}

std::string Tables(const Options& o, const std::vector<BenchCase>& cases,
                   const std::map<size_t, std::vector<RunFigures>>& runs) {
  std::vector<RunFigures> full;
  std::vector<RunFigures> zero;
  for (const auto& [index, list] : runs)
    (cases[index].zeroLatency ? zero : full).push_back(Median(list));
  std::vector<BenchCase> modelled;
  for (const BenchCase& c : cases) {
    if (!c.zeroLatency)
      modelled.push_back(c);
  }
  return "Full-speed device models (the zero-latency device has every time 0 but the "
         "same reboot):\n\n" +
         DeviceModelTable(modelled) + "\n" + "Full-speed device, median of " +
         std::to_string(o.reps) + ":\n\n" + FullSpeedTable(full) + "\n" +
         "Zero-latency device, median of " + std::to_string(o.reps) + ":\n\n" +
         ZeroLatencyTable(zero);
}

int Run(const Options& o) {
  std::vector<BenchCase> cases = Cases(o);
  if (!WriteImages(o))
    return 1;
  std::string machine = MachineNote();
  std::string loadBefore = LoadAverage();
  std::map<size_t, std::vector<RunFigures>> runs;
  int failures = RunRepetitions(o, cases, &runs);
  std::string scheduling = o.realtimePriority > 0
                               ? "SCHED_FIFO, priority " + std::to_string(o.realtimePriority)
                               : std::string("normal (SCHED_OTHER, nice 0)");
  std::string text = "Machine:\n\n" + machine + "- Program scheduled: " + scheduling + "\n" +
                     "- /proc/loadavg before the runs: " + loadBefore +
                     "\n- /proc/loadavg after the runs: " + LoadAverage() + "\n\n" +
                     Tables(o, cases, runs);
  std::printf("%s", text.c_str());
  if (!o.markdown.empty())
    e2e::WriteText(o.markdown, text);
  return failures == 0 ? 0 : 1;
}

int RunMemoryRows(const Options& options) {
  MemoryOptions memory;
  memory.program = options.program;
  memory.emulator = options.emulator;
  memory.work = options.work;
  memory.markdown = options.markdown;
  memory.reps = options.reps;
  memory.sizesKiB = options.sizesGiven ? options.sizesKiB : std::vector<int64_t>{64, 1024, 16384};
  memory.paddedFileMiB = options.memoryPaddedMiB;
  return RunMemory(memory);
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  bench::Options options;
  if (!bench::ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: quorvel-bench --program PATH --emulator PATH --work DIR [--reps N]\n"
                 "       [--sizes KiB,...] [--bsizes N,...] [--devices full,zero]\n"
                 "       [--realtime PRIORITY] [--markdown FILE]\n"
                 "       [--parallel N --bus quorvel-emulator-bus [--select port|serial]]\n"
                 "       [--station N --bus quorvel-emulator-bus]\n"
                 "       [--memory PADDED_MiB]\n");
    return 2;
  }
  if (options.memoryPaddedMiB >= 0)
    return bench::RunMemoryRows(options);
  if (options.parallel > 0 || options.station > 0) {
    bench::ParallelOptions parallel;
    parallel.program = options.program;
    parallel.emulator = options.emulator;
    parallel.busProgram = options.bus;
    parallel.work = options.work;
    parallel.markdown = options.markdown;
    parallel.instances = options.parallel;
    parallel.reps = options.reps;
    parallel.imageBytes = options.sizesKiB.empty() ? 64 * 1024 : options.sizesKiB.front() * 1024;
    parallel.bsize = options.bsizes.empty() ? 256 : static_cast<int>(options.bsizes.front());
    parallel.bySerial = options.bySerial;
    if (options.station > 0)
      return bench::RunStation({parallel, options.station});
    return bench::RunParallel(parallel);
  }
  return bench::Run(options);
}
