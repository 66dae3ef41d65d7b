// Parallel updates: N identical full-speed dongles on one shared emulated bus
// (quorvel-emulator-bus), N instances of the program started together, each
// told its dongle by --port (or --serial), against one dongle updated alone
// on the same kind of bus. Wall time of the whole batch, CPU time of each
// instance and of the bus process, each run checked through the bus's
// record: every device updated exactly once, opened by one instance only.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "bench.h"

namespace bench {
namespace {

using nlohmann::json;

std::vector<std::string> Environment(const std::string& emulator, const std::string& socket) {
  std::vector<std::string> env = InheritedEnvironment();
  if (!emulator.empty())
    env.push_back("LD_PRELOAD=" + emulator);
  if (!socket.empty())
    env.push_back("QUORVEL_EMU_BUS=" + socket);
  env.push_back("LC_ALL=C");
  return env;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& output) {
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = fork();
  if (pid != 0)
    return pid;
  int in = open("/dev/null", O_RDONLY);
  int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0)
    _exit(126);
  dup2(in, STDIN_FILENO);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  execve(args[0], args.data(), envp.data());
  _exit(127);
}

std::string HidrawPath(int k) {
  // Numbers no other emulated run on the machine uses at the same time: the
  // program's device lock is system-wide and named after the path.
  return "/dev/hidraw" + std::to_string((getpid() % 20000) * 100 + k);
}

std::string PortOf(int k) {
  return "1-3." + std::to_string(k % 4 + 1) + "." + std::to_string(k / 4 + 1);
}

std::string SerialOf(int k) {
  return "QVB" + std::to_string(1000 + k);
}

json Scenario(int devices, const BenchCase& c, const DeviceTiming& t) {
  auto ms = [](int64_t us) { return static_cast<double>(us) / 1000.0; };
  json list = json::array();
  for (int k = 0; k < devices; ++k) {
    list.push_back({{"name", "dongle" + std::to_string(k)},
                    {"path", HidrawPath(k)},
                    {"vendorId", "0x248A"},
                    {"productId", "0x8266"},
                    {"serial", SerialOf(k)},
                    {"port", PortOf(k)},
                    {"controllerVersion", "01-00-0000-00000001"},
                    {"appVersion", "01-00-0000-00000001"},
                    {"blockSize", c.bsize},
                    {"timing",
                     {{"replyMs", ms(t.replyUs)},
                      {"eraseMs", ms(t.eraseUs)},
                      {"blockWriteMs", ms(t.blockWriteUs)},
                      {"verifyMs", ms(t.verifyUs)},
                      {"usbFrameUs", t.frameUs}}},
                    // Back in the upgrade product under a new node, as the
                    // dongles of a production line do.
                    {"reboot",
                     {{"leaveMs", ms(t.leaveUs)},
                      {"awayMs", ms(t.awayUs)},
                      {"path", HidrawPath(50 + k)},
                      {"productId", "0x8267"}}}});
  }
  return {{"recordWrites", false}, {"recordFrames", false}, {"devices", list}};
}

struct Batch {
  int instances = 0;
  int64_t wallUs = 0;
  std::vector<int64_t> cpuUs;  // per instance
  int64_t busCpuUs = 0;
};

// Checks the bus's record: each device one verified transfer, applied,
// back with the new version, opened by exactly one process, and no process
// on two devices.
bool CheckRecord(const json& record, int devices, std::string* why) {
  std::map<int, int> devicesOfPid;
  for (int k = 0; k < devices; ++k) {
    const json& d = record["devices"]["dongle" + std::to_string(k)];
    std::string name = "dongle" + std::to_string(k);
    if (!d.is_object() || d["transfers"].size() != 1 || d["transfers"][0]["verified"] != true ||
        d["restarts"].size() != 1 || d["final"]["controllerVersion"] != kImageVersion) {
      *why = name + " was not updated exactly once";
      return false;
    }
    std::set<int> pids;
    for (const json& open : d["opens"])
      pids.insert(open["pid"].get<int>());
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

bool RunBatch(const std::string& busProgram, const std::string& program,
              const std::string& emulator, const std::string& dir, int devices, const BenchCase& c,
              const std::string& image, bool bySerial, Batch* batch, std::string* why) {
  mkdir(dir.c_str(), 0755);
  std::string scenario = dir + "/scenario.json";
  std::string record = dir + "/record.json";
  std::string socket = dir + "/bus.sock";
  unlink(record.c_str());
  unlink(socket.c_str());
  std::ofstream(scenario) << Scenario(devices, c, TimingFor(c)).dump(2) << "\n";
  pid_t bus = Spawn({busProgram, "--socket", socket, "--record", record, scenario},
                    Environment("", ""), dir + "/bus.txt");
  struct stat info {};
  for (int i = 0; i < 1000 && stat(socket.c_str(), &info) != 0; ++i)
    usleep(5000);
  if (stat(socket.c_str(), &info) != 0) {
    kill(bus, SIGKILL);
    waitpid(bus, nullptr, 0);
    *why = "the bus did not start";
    return false;
  }
  std::vector<std::string> env = Environment(emulator, socket);
  std::map<pid_t, int> running;
  int64_t start = MonotonicUs();
  for (int k = 0; k < devices; ++k) {
    std::vector<std::string> argv = {
        program, "248a", "8266", "-s", "4",  "-b", std::to_string(c.bsize),
        "-w",    "0",    "-c",   "1",  "-d", image};
    argv.insert(argv.end(), {bySerial ? "--serial" : "--port", bySerial ? SerialOf(k) : PortOf(k)});
    running[Spawn(argv, env, dir + "/output-" + std::to_string(k) + ".txt")] = k;
  }
  batch->instances = devices;
  batch->cpuUs.assign(devices, 0);
  bool ok = true;
  while (!running.empty()) {
    int status = 0;
    rusage usage{};
    pid_t pid = wait4(-1, &status, 0, &usage);
    if (pid < 0)
      break;
    auto it = running.find(pid);
    if (it == running.end())
      continue;
    batch->cpuUs[it->second] = TimevalUs(usage.ru_utime) + TimevalUs(usage.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ok = false;
      *why = "instance " + std::to_string(it->second) + " failed";
    }
    running.erase(it);
    if (running.empty())
      batch->wallUs = MonotonicUs() - start;
  }
  kill(bus, SIGTERM);
  int status = 0;
  rusage usage{};
  while (wait4(bus, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  batch->busCpuUs = TimevalUs(usage.ru_utime) + TimevalUs(usage.ru_stime);
  for (int k = 0; ok && k < devices; ++k) {
    if (ReadText(dir + "/output-" + std::to_string(k) + ".txt").find("DFU success!") ==
        std::string::npos) {
      ok = false;
      *why = "instance " + std::to_string(k) + " printed no success line";
    }
  }
  json parsed = json::parse(ReadText(record), nullptr, false);
  return ok && !parsed.is_discarded() && CheckRecord(parsed, devices, why);
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

}  // namespace

int RunParallel(const ParallelOptions& o) {
  BenchCase c{o.imageBytes, o.bsize, false};
  std::string image = o.work + "/parallel-image.bin";
  if (!WriteImageFile(c.imageBytes, image)) {
    std::fprintf(stderr, "quorvel-bench: cannot write %s\n", image.c_str());
    return 1;
  }
  DeviceTiming timing = TimingFor(c);
  int64_t boundUs =
      CommandBoundUs(timing, DownloadBoundUs(CountTransfer(c.imageBytes, c.bsize), timing));
  std::string loadBefore = LoadAverage();
  std::vector<Batch> singles;
  std::vector<Batch> batches;
  int failures = 0;
  for (int rep = 1; rep <= o.reps; ++rep) {
    for (int devices : {1, o.instances}) {
      Batch batch;
      std::string why;
      std::string dir = o.work + "/parallel-" + std::to_string(devices) + "-" + std::to_string(rep);
      if (!RunBatch(o.busProgram, o.program, o.emulator, dir, devices, c, image, o.bySerial, &batch,
                    &why)) {
        ++failures;
        std::fprintf(stderr, "FAILED %d in parallel, rep %d: %s\n", devices, rep, why.c_str());
        continue;
      }
      std::string cpu;
      for (int64_t us : batch.cpuUs)
        cpu += (cpu.empty() ? "" : " ") + Fixed(static_cast<double>(us) / 1000.0, 0);
      std::fprintf(stderr,
                   "%d in parallel, rep %d: wall %.0f ms, CPU ms per instance %s, bus %.0f ms\n",
                   devices, rep, static_cast<double>(batch.wallUs) / 1000.0, cpu.c_str(),
                   static_cast<double>(batch.busCpuUs) / 1000.0);
      (devices == 1 ? singles : batches).push_back(batch);
    }
  }
  auto row = [&](const std::vector<Batch>& runs, int n) {
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
           Fixed(static_cast<double>(cpu) / 1000.0, 0) + " (max " +
           Fixed(static_cast<double>(maxCpu) / 1000.0, 0) + ") | " + Fixed(share, 1) + " % | " +
           Fixed(share * n, 1) + " % | " + Fixed(static_cast<double>(MedianOf(buses)) / 1000.0, 0) +
           " |";
  };
  std::vector<int64_t> singleWalls;
  std::vector<int64_t> batchWalls;
  for (const Batch& b : singles)
    singleWalls.push_back(b.wallUs);
  for (const Batch& b : batches)
    batchWalls.push_back(b.wallUs);
  double ratio = MedianOf(singleWalls) > 0 ? static_cast<double>(MedianOf(batchWalls)) /
                                                 static_cast<double>(MedianOf(singleWalls))
                                           : 0;
  std::string text =
      "Machine:\n\n" + MachineNote() + "- /proc/loadavg before the runs: " + loadBefore +
      "\n- /proc/loadavg after the runs: " + LoadAverage() + "\n\n" + "Full-speed dongles, " +
      std::to_string(c.imageBytes / 1024) + " KiB image, bsize " + std::to_string(c.bsize) +
      ", selected by " + (o.bySerial ? "--serial" : "--port") + ", median of " +
      std::to_string(o.reps) + " batches; command bound " +
      Fixed(static_cast<double>(boundUs) / 1e6, 3) + " s:\n\n" +
      "| Instances | Wall s | Wall / bound | CPU ms per instance (median, max) | CPU / wall per "
      "instance | All instances, % of one core | Bus process CPU ms |\n" +
      "|---|---|---|---|---|---|---|\n" + row(singles, 1) + "\n" + row(batches, o.instances) +
      "\n\nWall time of " + std::to_string(o.instances) +
      " in parallel / one alone: " + Fixed(ratio, 3) + "\n";
  std::printf("%s", text.c_str());
  if (!o.markdown.empty())
    std::ofstream(o.markdown) << text;
  return failures == 0 ? 0 : 1;
}

}  // namespace bench
