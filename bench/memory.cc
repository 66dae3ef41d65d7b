// Peak resident memory of command-line updates on the chip platforms whose
// program files are checked and searched (1 to 4), with one-part images of
// several sizes, and of a chip platform 3 file whose image sits behind a
// large padding (1.5 GiB by default), against the limit of 2 x the image
// sent + 16 MiB. The padded file is sparse: it takes the disk of its image
// only. The zero-latency device keeps each run short; the preloaded
// emulator runs in the program's process and keeps its own copy of the
// image it receives, which the peak includes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "bench.h"
#include "support/environment.h"
#include "support/workspace.h"

namespace bench {
namespace {

struct MemoryCase {
  int platform = 4;
  int64_t imageBytes = 0;  // the image sent: the file from its image to its end
  int64_t fileBytes = 0;   // the whole file, padding included
};

struct MemoryFigures {
  MemoryCase c;
  int64_t maxRssKiB = 0;
  int64_t wallUs = 0;
};

std::string Name(const MemoryCase& c) {
  return "memory-s" + std::to_string(c.platform) + "-" + std::to_string(c.imageBytes) + "-" +
         std::to_string(c.fileBytes);
}

std::string FilePath(const MemoryOptions& o, const MemoryCase& c) {
  return o.work + "/memory-" + std::to_string(c.imageBytes) + "-" + std::to_string(c.fileBytes) +
         ".bin";
}

// The image at the end of the file, everything before it a hole.
bool WriteCaseFile(const MemoryCase& c, const std::string& path) {
  std::vector<uint8_t> image;
  if (!ImageFileBytes(c.imageBytes, &image))
    return false;
  const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  if (fd < 0)
    return false;
  const ssize_t written = pwrite(fd, image.data(), image.size(), c.fileBytes - c.imageBytes);
  return close(fd) == 0 && written == static_cast<ssize_t>(image.size());
}

std::vector<MemoryCase> MemoryCases(const MemoryOptions& o) {
  std::vector<MemoryCase> cases;
  for (int platform = 1; platform <= 4; ++platform) {
    for (int64_t kib : o.sizesKiB)
      cases.push_back({platform, kib * 1024, kib * 1024});
  }
  if (o.paddedFileMiB > 0)
    cases.push_back({3, o.paddedImageKiB * 1024, o.paddedFileMiB << 20});
  return cases;
}

std::vector<std::string> Environment(const MemoryOptions& o, const std::string& scenario,
                                     const std::string& record) {
  std::vector<std::string> env = e2e::CleanEnvironment();
  env.push_back("LD_PRELOAD=" + o.emulator);
  env.push_back("QUORVEL_EMU_SCENARIO=" + scenario);
  env.push_back("QUORVEL_EMU_RECORD=" + record);
  env.push_back("LC_ALL=C");
  return env;
}

// A clean update: exit 0, the success line, and the device verified,
// applied and reports exactly the image of the case.
bool CleanUpdate(const ChildResult& run, const std::string& output, const std::string& record,
                 const MemoryCase& c, std::string* why) {
  if (!run.started || run.timedOut || run.exitStatus != 0) {
    *why = run.timedOut ? "timed out" : "exit status " + std::to_string(run.exitStatus);
    return false;
  }
  if (e2e::ReadText(output).find("DFU success!") == std::string::npos) {
    *why = "no success line in " + output;
    return false;
  }
  RecordFigures r = ReadRecord(record);
  if (!r.ok || !r.verified || !r.cameBack || r.declaredLength != c.imageBytes) {
    *why =
        r.ok ? "device got " + std::to_string(r.declaredLength) + " bytes, not applied" : r.error;
    return false;
  }
  return true;
}

bool RunMemoryCase(const MemoryOptions& o, const MemoryCase& c, int rep, MemoryFigures* figures,
                   std::string* why) {
  const std::string name = Name(c) + "-" + std::to_string(rep);
  const std::string scenario = o.work + "/scenario-" + name + ".json";
  const std::string record = o.work + "/record-" + name + ".json";
  const std::string output = o.work + "/output-" + name + ".txt";
  const BenchCase device{c.imageBytes, 256, true};
  unlink(record.c_str());
  const std::string path = "/dev/hidraw-bench" + std::to_string(getpid());
  if (!e2e::WriteText(scenario, ScenarioText(device, TimingFor(device), path))) {
    *why = "cannot write " + scenario;
    return false;
  }
  const std::vector<std::string> argv = {
      o.program, "248a", "8266", "-s",          std::to_string(c.platform), "-b", "256", "-w", "0",
      "-c",      "1",    "-d",   FilePath(o, c)};
  ChildResult run = RunChild(argv, Environment(o, scenario, record), output, 600000, 0);
  figures->c = c;
  figures->maxRssKiB = run.maxRssKiB;
  figures->wallUs = run.wallUs;
  return CleanUpdate(run, output, record, c, why);
}

std::string Cell(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string MemoryTable(const std::vector<MemoryFigures>& medians) {
  std::string out =
      "| Platform | File MiB | Image sent KiB | Command s | Peak RSS MiB | Limit MiB | RSS / limit "
      "|\n|---|---|---|---|---|---|---|\n";
  for (const MemoryFigures& f : medians) {
    const int64_t limitKiB = 2 * f.c.imageBytes / 1024 + 16 * 1024;
    out += "| " + std::to_string(f.c.platform) + " | " +
           Cell("%.1f", static_cast<double>(f.c.fileBytes) / 1048576.0) + " | " +
           std::to_string(f.c.imageBytes / 1024) + " | " +
           Cell("%.3f", static_cast<double>(f.wallUs) / 1e6) + " | " +
           Cell("%.1f", static_cast<double>(f.maxRssKiB) / 1024.0) + " | " +
           Cell("%.1f", static_cast<double>(limitKiB) / 1024.0) + " | " +
           Cell("%.4f", static_cast<double>(f.maxRssKiB) / static_cast<double>(limitKiB)) + " |\n";
  }
  return out;
}

// The run with the median peak of the case's repetitions.
MemoryFigures MedianRun(std::vector<MemoryFigures> runs) {
  std::sort(runs.begin(), runs.end(), [](const MemoryFigures& a, const MemoryFigures& b) {
    return a.maxRssKiB < b.maxRssKiB;
  });
  return runs[runs.size() / 2];
}

}  // namespace

int RunMemory(const MemoryOptions& o) {
  const std::vector<MemoryCase> cases = MemoryCases(o);
  for (const MemoryCase& c : cases) {
    if (!WriteCaseFile(c, FilePath(o, c))) {
      std::fprintf(stderr, "quorvel-bench: cannot write %s\n", FilePath(o, c).c_str());
      return 1;
    }
  }
  std::vector<std::vector<MemoryFigures>> runs(cases.size());
  int failures = 0;
  for (int rep = 1; rep <= o.reps; ++rep) {
    for (size_t i = 0; i < cases.size(); ++i) {
      MemoryFigures figures;
      std::string why;
      if (!RunMemoryCase(o, cases[i], rep, &figures, &why)) {
        ++failures;
        std::fprintf(stderr, "FAILED %s rep %d: %s\n", Name(cases[i]).c_str(), rep, why.c_str());
        continue;
      }
      std::fprintf(stderr, "%s rep %d: rss %.1f MiB\n", Name(cases[i]).c_str(), rep,
                   static_cast<double>(figures.maxRssKiB) / 1024.0);
      runs[i].push_back(figures);
    }
  }
  std::vector<MemoryFigures> medians;
  for (const std::vector<MemoryFigures>& list : runs) {
    if (!list.empty())
      medians.push_back(MedianRun(list));
  }
  const std::string text = "Machine:\n\n" + MachineNote() + "\nPeak resident memory, median of " +
                           std::to_string(o.reps) + ":\n\n" + MemoryTable(medians);
  std::printf("%s", text.c_str());
  if (!o.markdown.empty())
    e2e::WriteText(o.markdown, text);
  return failures == 0 ? 0 : 1;
}

}  // namespace bench
