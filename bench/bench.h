// The transfer benchmark: runs the real program against the preloaded device
// emulator and sets each measured time against the least time the device and
// the protocol's own waits allow for the same run.
#ifndef QUORVEL_BENCH_BENCH_H_
#define QUORVEL_BENCH_BENCH_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/dongle_scenario.h"

namespace bench {

// What the emulated device costs, all in microseconds. frameUs > 0 puts
// every report on a USB frame boundary, one per frame in each direction.
struct DeviceTiming {
  int64_t replyUs = 0;
  int64_t eraseUs = 0;
  int64_t blockWriteUs = 0;
  int64_t verifyUs = 0;
  int64_t frameUs = 0;
  int64_t leaveUs = 0;
  int64_t awayUs = 0;
};

struct BenchCase {
  int64_t imageBytes = 0;
  int bsize = 256;
  bool zeroLatency = false;
};

// Data frames and block acknowledgements of one download.
struct TransferShape {
  int64_t frames = 0;
  int64_t acks = 0;
};

// --- bounds.cc: least times the device model and the protocol allow.
TransferShape CountTransfer(int64_t length, int bsize);
// When the start request's completion becomes readable, from the time the
// request went out.
int64_t StartCompletionUs(int64_t startRequestUs, const DeviceTiming& timing);
// From that completion to the verify request.
int64_t DownloadBoundUs(const TransferShape& shape, const DeviceTiming& timing);
// The sleeps, settle times and drains of a command-line platform 4 update
// with version check; they cost the same whatever the device.
int64_t MandatedWaitsUs();
// The whole command: the mandated waits, the device's replies and
// completions, the download bound and a reboot slower than the scan delay.
int64_t CommandBoundUs(const DeviceTiming& timing, int64_t downloadBoundUs);
// Busy waits the protocol asks of the program (the input drains).
int64_t MandatedBusyWaitUs();

// --- scenario.cc: the device and the image of one case.
DeviceTiming TimingFor(const BenchCase& c);
// The device of the case, named kDeviceName, without a path.
e2e::DongleSetup DongleFor(const BenchCase& c, const DeviceTiming& timing);
std::string ScenarioText(const BenchCase& c, const DeviceTiming& timing, const std::string& path);
bool WriteImageFile(int64_t bytes, const std::string& path);
// The bytes of that one-part file: an image of exactly that size.
bool ImageFileBytes(int64_t bytes, std::vector<uint8_t>* file);
extern const char kDeviceName[];
extern const char kImageVersion[];

// --- child.cc: one run of the program, timed by the parent; its output
// (standard output and error) goes to outputPath.
struct ChildResult {
  bool started = false;
  bool timedOut = false;
  int exitStatus = -1;
  int64_t wallUs = 0;
  int64_t cpuUs = 0;
  int64_t maxRssKiB = 0;
};
// realtimePriority > 0: SCHED_FIFO at that priority (needs the privilege);
// a child refused it exits with e2e::kNoRealtimeStatus.
ChildResult RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& outputPath, int64_t timeoutMs, int realtimePriority);

// --- record.cc: what the emulated device saw.
struct RecordFigures {
  bool ok = false;
  std::string error;
  int64_t startRequestUs = 0;
  int64_t verifyRequestUs = 0;
  int64_t dataFrames = 0;
  int64_t acks = 0;
  int64_t declaredLength = 0;
  bool verified = false;
  bool cameBack = false;
};
RecordFigures ReadRecord(const std::string& path);

// --- report.cc: figures of one run, medians, tables.
struct RunFigures {
  BenchCase c;
  TransferShape shape;
  int64_t downloadUs = 0;
  int64_t downloadBoundUs = 0;
  int64_t commandUs = 0;
  int64_t commandBoundUs = 0;
  int64_t cpuUs = 0;
  int64_t busyWaitUs = 0;
  int64_t maxRssKiB = 0;
  int64_t rssLimitKiB = 0;
};
RunFigures Median(const std::vector<RunFigures>& runs);
std::string MachineNote();
// /proc/loadavg: the 1, 5 and 15 minute load averages and the task counts.
std::string LoadAverage();
std::string DeviceModelTable(const std::vector<BenchCase>& cases);
std::string FullSpeedTable(const std::vector<RunFigures>& medians);
std::string ZeroLatencyTable(const std::vector<RunFigures>& medians);
std::string RunLine(const RunFigures& r, int repetition);

// --- parallel.cc: N instances on one shared bus against one alone.
struct ParallelOptions {
  std::string program;
  std::string emulator;
  std::string busProgram;
  std::string work;
  std::string markdown;
  int instances = 8;
  int reps = 3;
  int64_t imageBytes = 64 * 1024;
  int bsize = 256;
  bool bySerial = false;
};
int RunParallel(const ParallelOptions& options);
// The pieces the station rows share with it. The environment of a process on
// the bus at socket (none: the in-process emulator), with the emulator's
// shared-bus library beside `emulator` preloaded.
std::vector<std::string> BusEnvironment(const std::string& emulator, const std::string& socket);
std::string DongleName(int k);  // dongle k of the line, from 0
// The middle of the values once sorted (the upper one of an even count); 0
// for none.
int64_t MedianOf(std::vector<int64_t> values);
std::string Fixed(double value, int digits);  // value with that many decimals
double Ms(int64_t us);                        // microseconds as milliseconds
// The line: `devices` full-speed dongles on ports LinePort(0...), all on the
// bus from the start, each back from its restart as 248A:8267 under a new node.
nlohmann::json LineScenario(int devices, const BenchCase& c, const DeviceTiming& t);
// True when the bus's record shows every dongle updated exactly once (one
// verified transfer, one restart, the image's version), opened by one
// process only, and no process on two dongles; otherwise false with the
// reason in *why.
bool CheckLineRecord(const nlohmann::json& record, int devices, std::string* why);

struct Batch {
  int instances = 0;
  int64_t wallUs = 0;
  std::vector<int64_t> cpuUs;  // per instance
  int64_t busCpuUs = 0;
};

// What one batch needs to run.
struct BatchPlan {
  const ParallelOptions* options = nullptr;
  std::string dir;
  int devices = 0;
  BenchCase c;
  std::string image;
};

// Runs one batch (a bus with plan.devices dongles, one pinned instance for
// each, started together) into *batch; false with the reason in *why when an
// instance failed or the record does not show every dongle updated once.
bool RunBatch(const BatchPlan& plan, Batch* batch, std::string* why);

// --- station.cc: N dongles on N ports of one bus, all plugged at once, and
// one station (--station --count N --log FILE) against one update alone.
struct StationOptions {
  ParallelOptions base;  // program, emulator, bus, work, markdown, reps, case
  int ports = 32;
};
int RunStation(const StationOptions& options);

// --- memory.cc: peak resident memory on chip platforms 1 to 4, and of a
// chip platform 3 file with its image behind a large sparse padding.
struct MemoryOptions {
  std::string program;
  std::string emulator;
  std::string work;
  std::string markdown;
  int reps = 1;
  std::vector<int64_t> sizesKiB;
  int64_t paddedFileMiB = 1536;  // 0: no padded file
  int64_t paddedImageKiB = 1024;
};
int RunMemory(const MemoryOptions& options);

}  // namespace bench

#endif  // QUORVEL_BENCH_BENCH_H_
