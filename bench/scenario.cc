// The emulated device of one benchmark case and the firmware file it gets.
//
// The full-speed device moves one 64-byte interrupt report per 1 ms frame in
// each direction, answers a request 1 ms after it, programs its flash at
// 128 bytes per ms (so a block's write time grows with the block size),
// erases 20 ms per 64 KiB and checks its CRC at 32 KiB per ms. It reboots in
// 520 ms, well inside the restart wait's 3 s scan delay. The zero-latency
// device answers and writes at once (it reboots alike), so that only the program's own time (and
// the emulator's) is left.
#include <nlohmann/json.hpp>

#include "bench.h"
#include "firmware_builder.h"

namespace bench {

const char kDeviceName[] = "bench";
// The version the image carries; the device reports it after its restart.
const char kImageVersion[] = "01-02-0003-00000004";

namespace {

constexpr int64_t kFullSpeedFrameUs = 1000;
constexpr int64_t kReplyUs = 1000;
constexpr int64_t kFlashBytesPerMs = 128;
constexpr int64_t kEraseUsPer64KiB = 20000;
constexpr int64_t kVerifyUsPer64KiB = 2000;
constexpr int64_t kLeaveUs = 20000;
constexpr int64_t kAwayUs = 500000;
// Header and digest trailer of a one-part file: the image sent is the whole
// file, so the body makes up the rest of the requested size.
constexpr int64_t kHeaderBytes = 32;
constexpr int64_t kTrailerBytes = 40;

}  // namespace

DeviceTiming TimingFor(const BenchCase& c) {
  DeviceTiming t;
  // Both devices reboot alike: a device that left the bus the instant it
  // answered would take its reply with it.
  t.leaveUs = kLeaveUs;
  t.awayUs = kAwayUs;
  if (c.zeroLatency)
    return t;
  int64_t units = c.imageBytes / 65536;
  t.frameUs = kFullSpeedFrameUs;
  t.replyUs = kReplyUs;
  t.blockWriteUs = c.bsize * 1000 / kFlashBytesPerMs;
  t.eraseUs = units * kEraseUsPer64KiB;
  t.verifyUs = units * kVerifyUsPer64KiB;
  return t;
}

e2e::DongleSetup DongleFor(const BenchCase& c, const DeviceTiming& t) {
  e2e::DongleSetup setup;
  setup.name = kDeviceName;
  setup.described = false;
  setup.interfaceNumber = -1;
  setup.blockSize = c.bsize;
  setup.timing = {Ms(t.replyUs), Ms(t.eraseUs), Ms(t.blockWriteUs), Ms(t.verifyUs), t.frameUs};
  setup.reboot.leaveMs = Ms(t.leaveUs);
  setup.reboot.awayMs = Ms(t.awayUs);
  return setup;
}

std::string ScenarioText(const BenchCase& c, const DeviceTiming& t, const std::string& path) {
  e2e::DongleSetup setup = DongleFor(c, t);
  setup.path = path;
  // Data frames are only counted: keeping each one would put megabytes of
  // record into the measured process.
  nlohmann::json scenario = {
      {"recordWrites", false}, {"recordFrames", false}, {"devices", {e2e::DongleJson(setup)}}};
  return scenario.dump(2) + "\n";
}

bool ImageFileBytes(int64_t bytes, std::vector<uint8_t>* file) {
  fwbuild::ImageOptions options;
  if (!fwbuild::ParseVersion(kImageVersion, &options.version))
    return false;
  options.bodySize = static_cast<uint32_t>(bytes - kHeaderBytes - kTrailerBytes);
  options.seed = static_cast<uint32_t>(bytes);
  *file = fwbuild::BuildOnePartFile(options);
  return static_cast<int64_t>(file->size()) == bytes;
}

bool WriteImageFile(int64_t bytes, const std::string& path) {
  std::vector<uint8_t> file;
  return ImageFileBytes(bytes, &file) && fwbuild::WriteFile(path, file);
}

}  // namespace bench
