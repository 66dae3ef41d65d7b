// The benchmark's output: one line per run, medians over the repetitions,
// the machine the figures were taken on, and the Markdown tables with every
// time set against its bound from the same run.
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>

#include "bench.h"

namespace bench {
namespace {

std::string Format(const char* format, double a) {
  char text[64];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

std::string Seconds(int64_t us) {
  return Format("%.3f", static_cast<double>(us) / 1e6);
}
std::string Millis(int64_t us) {
  return Format("%.1f", static_cast<double>(us) / 1e3);
}
std::string MiB(int64_t kib) {
  return Format("%.1f", static_cast<double>(kib) / 1024.0);
}

std::string Ratio(int64_t value, int64_t bound) {
  if (bound <= 0)
    return "n/a";
  return Format("%.4f", static_cast<double>(value) / static_cast<double>(bound));
}

std::string ImageName(int64_t bytes) {
  return bytes >= 1048576 ? std::to_string(bytes / 1048576) + " MiB"
                          : std::to_string(bytes / 1024) + " KiB";
}

int64_t MedianOf(const std::vector<RunFigures>& runs, std::function<int64_t(const RunFigures&)> f) {
  std::vector<int64_t> values;
  for (const RunFigures& r : runs)
    values.push_back(f(r));
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string FirstLine(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (key.empty() || line.compare(0, key.size(), key) == 0) {
      size_t colon = line.find(':');
      return key.empty() || colon == std::string::npos ? line : line.substr(colon + 2);
    }
  }
  return "unknown";
}

}  // namespace

RunFigures Median(const std::vector<RunFigures>& runs) {
  RunFigures m = runs.front();
  m.downloadUs = MedianOf(runs, [](const RunFigures& r) { return r.downloadUs; });
  m.commandUs = MedianOf(runs, [](const RunFigures& r) { return r.commandUs; });
  m.cpuUs = MedianOf(runs, [](const RunFigures& r) { return r.cpuUs; });
  m.maxRssKiB = MedianOf(runs, [](const RunFigures& r) { return r.maxRssKiB; });
  return m;
}

std::string MachineNote() {
  utsname u{};
  uname(&u);
  std::string note = "- CPU: " + FirstLine("/proc/cpuinfo", "model name") + ", " +
                     std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " logical cores\n";
  note += std::string("- Kernel: ") + u.sysname + " " + u.release + " " + u.machine + "\n";
  note += "- Compiler: " + std::string(__VERSION__) + "\n";
  return note;
}

std::string LoadAverage() {
  return FirstLine("/proc/loadavg", "");
}

std::string DeviceModelTable(const std::vector<BenchCase>& cases) {
  std::string out =
      "| Image | bsize | usbFrameUs | replyMs | blockWriteMs | eraseMs | verifyMs | reboot ms |\n"
      "|---|---|---|---|---|---|---|---|\n";
  for (const BenchCase& c : cases) {
    DeviceTiming t = TimingFor(c);
    out += "| " + ImageName(c.imageBytes) + " | " + std::to_string(c.bsize) + " | " +
           std::to_string(t.frameUs) + " | " + Millis(t.replyUs) + " | " +
           Format("%.3f", static_cast<double>(t.blockWriteUs) / 1e3) + " | " + Millis(t.eraseUs) +
           " | " + Millis(t.verifyUs) + " | " + Millis(t.leaveUs + t.awayUs) + " |\n";
  }
  return out;
}

std::string FullSpeedTable(const std::vector<RunFigures>& medians) {
  std::string out =
      "| Image | bsize | Frames | Acks | Download bound s | Download s | Download / bound | "
      "Command bound s | Command s | Command / bound | CPU ms | CPU / busy waits | "
      "Peak RSS MiB | RSS / limit |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const RunFigures& r : medians) {
    out += "| " + ImageName(r.c.imageBytes) + " | " + std::to_string(r.c.bsize) + " | " +
           std::to_string(r.shape.frames) + " | " + std::to_string(r.shape.acks) + " | " +
           Seconds(r.downloadBoundUs) + " | " + Seconds(r.downloadUs) + " | " +
           Ratio(r.downloadUs, r.downloadBoundUs) + " | " + Seconds(r.commandBoundUs) + " | " +
           Seconds(r.commandUs) + " | " + Ratio(r.commandUs, r.commandBoundUs) + " | " +
           Millis(r.cpuUs) + " | " + Ratio(r.cpuUs, r.busyWaitUs) + " | " + MiB(r.maxRssKiB) +
           " | " + Ratio(r.maxRssKiB, r.rssLimitKiB) + " |\n";
  }
  return out;
}

std::string ZeroLatencyTable(const std::vector<RunFigures>& medians) {
  std::string out =
      "| Image | bsize | Frames | Download ms | µs per frame | Command s | Command / waits | "
      "CPU ms | CPU / busy waits | Peak RSS MiB | RSS / limit |\n"
      "|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const RunFigures& r : medians) {
    double perFrame = static_cast<double>(r.downloadUs) / static_cast<double>(r.shape.frames);
    out += "| " + ImageName(r.c.imageBytes) + " | " + std::to_string(r.c.bsize) + " | " +
           std::to_string(r.shape.frames) + " | " + Millis(r.downloadUs) + " | " +
           Format("%.1f", perFrame) + " | " + Seconds(r.commandUs) + " | " +
           Ratio(r.commandUs, r.commandBoundUs) + " | " + Millis(r.cpuUs) + " | " +
           Ratio(r.cpuUs, r.busyWaitUs) + " | " + MiB(r.maxRssKiB) + " | " +
           Ratio(r.maxRssKiB, r.rssLimitKiB) + " |\n";
  }
  return out;
}

std::string RunLine(const RunFigures& r, int repetition) {
  return std::string(r.c.zeroLatency ? "zero-latency" : "full-speed") + " rep " +
         std::to_string(repetition) + " " + ImageName(r.c.imageBytes) + " bsize " +
         std::to_string(r.c.bsize) + ": download " + Millis(r.downloadUs) + " ms (bound " +
         Millis(r.downloadBoundUs) + ", ratio " + Ratio(r.downloadUs, r.downloadBoundUs) +
         "), command " + Millis(r.commandUs) + " ms (bound " + Millis(r.commandBoundUs) +
         ", ratio " + Ratio(r.commandUs, r.commandBoundUs) + "), cpu " + Millis(r.cpuUs) +
         " ms, rss " + MiB(r.maxRssKiB) + " MiB";
}

}  // namespace bench
