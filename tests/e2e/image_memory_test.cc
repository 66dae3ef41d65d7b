// Program files that are large or padded, updated on a line of identical
// dongles: a chip platform 3 image found behind padding is sent exactly, to
// the pinned dongle only, and a file too large to be an image is refused
// with its size before any device is opened.
#include <gtest/gtest.h>

#include "firmware_builder.h"
#include "support/bytes.h"
#include "support/device_record.h"
#include "support/dongle_line.h"
#include "support/e2e_runner.h"
#include "support/shared_bus.h"

namespace {

using Json = nlohmann::json;
using Names = std::set<std::string>;

e2e::RunOptions PinnedUpdate(const e2e::SharedBus& bus, const std::string& path, int dongle) {
  e2e::RunOptions run;
  run.bus = bus.socket();
  run.args = {"248a", "8266", "-s", "3",      "-d",
              path,   "-c",   "0",  "--port", e2e::LineDonglePort(dongle)};
  return run;
}

TEST(ImageMemory, APaddedPlatform3ImageIsSentExactlyToItsDongle) {
  e2e::Workspace workspace;
  // 64 MiB of padding: the search steps through 16384 windows to the image.
  constexpr int64_t kPadding = int64_t{64} << 20;
  const std::vector<uint8_t> image = fwbuild::BuildOnePartFile({}, 300);
  const std::string path = workspace.Path("padded.bin");
  ASSERT_TRUE(e2e::WriteSparse(path, kPadding, image));
  e2e::SharedBus bus(workspace, e2e::LineOfDongles());
  ASSERT_TRUE(bus.started());
  e2e::RunResult result = e2e::Run(workspace, PinnedUpdate(bus, path, 2));
  Json record = bus.Stop();
  EXPECT_EQ(result.exitStatus, 0) << result.Describe();
  EXPECT_NE(result.out.find("DFU success!"), std::string::npos) << result.Describe();
  EXPECT_EQ(e2e::TouchedDevices(record), Names{e2e::LineDongleName(2)}) << record.dump(1);
  const Json& transfers = e2e::DeviceRecord(record, e2e::LineDongleName(2))["transfers"];
  ASSERT_EQ(transfers.size(), 1u) << record.dump(1);
  EXPECT_EQ(transfers[0]["receivedSha256"], e2e::Sha256Hex(image));
}

TEST(ImageMemory, AFileOfTwoGibibytesIsRefusedWithItsSizeAndNothingIsTouched) {
  e2e::Workspace workspace;
  // Sparse: a valid image at its start, 2 GiB long, no disk used.
  const std::string huge = workspace.Path("huge.bin");
  ASSERT_TRUE(e2e::WriteSparse(huge, 0, fwbuild::BuildOnePartFile({})));
  ASSERT_EQ(truncate(huge.c_str(), int64_t{1} << 31), 0);
  const std::string junk = workspace.Write("junk.bin", std::vector<uint8_t>(5000, 0x5A));
  e2e::SharedBus bus(workspace, e2e::LineOfDongles());
  ASSERT_TRUE(bus.started());
  e2e::RunResult refused = e2e::Run(workspace, PinnedUpdate(bus, huge, 1));
  e2e::RunResult noImage = e2e::Run(workspace, PinnedUpdate(bus, junk, 1));
  Json record = bus.Stop();
  EXPECT_NE(refused.err.find(": program file too large (2147483648 bytes, the limit is "
                             "2147483647 bytes): -d " +
                             huge),
            std::string::npos)
      << refused.Describe();
  EXPECT_EQ(refused.err.find("no valid firmware image"), std::string::npos) << refused.Describe();
  // Standard output is what any refused command line shows, byte for byte.
  EXPECT_EQ(refused.out, noImage.out);
  EXPECT_EQ(refused.exitStatus, noImage.exitStatus);
  EXPECT_EQ(e2e::TouchedDevices(record), Names{}) << record.dump(1);
}

}  // namespace
