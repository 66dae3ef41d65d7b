#include "support/e2e_upgrade_rows.h"

#include <gtest/gtest.h>

#include "firmware_builder.h"
#include "support/bytes.h"
#include "support/device_record.h"
#include "support/dongle_scenario.h"
#include "support/screen_text.h"

namespace e2e {

namespace {

// The version records behind the texts above: major, minor, revision low
// byte first, build number lowest byte first.
const fwbuild::Version kOnePartRecord = {0x03, 0x04, 0x06, 0x05, 0x0A, 0x09, 0x08, 0x07};
const fwbuild::Version kControllerRecord = {0x05, 0x06, 0x08, 0x07, 0x0C, 0x0B, 0x0A, 0x09};
const fwbuild::Version kAppRecord = {0x06, 0x07, 0x09, 0x08, 0x0D, 0x0C, 0x0B, 0x0A};

constexpr size_t kBodySize = 1000;
constexpr size_t kImageSize = 32 + kBodySize + 40;  // header, body, 8 skipped bytes, digest
constexpr size_t kTrailingFill = 64;
constexpr size_t kPlatform3Offset = 8192;

// Two-part layout. Each part's own data (image plus non-0xFF padding) ends
// at a multiple of 16 and 0xFF fill follows. Scanning from the body size
// for 32 consecutive 0xFF bytes stops at the 32nd fill byte, data end + 31,
// and the length is that offset rounded down to 16: data end + 16.
constexpr size_t kControllerDataEnd = 0x4A0;
constexpr size_t kControllerPartLength = 0x4B0;
constexpr size_t kAppDataEnd = 0x380;
constexpr size_t kAppPartLength = 0x390;
constexpr size_t kTailFill = 256;
constexpr size_t kTwoPartFileSize = 0x30000 + kAppDataEnd + kTailFill;

fwbuild::ImageOptions OnePartOptions() {
  fwbuild::ImageOptions options;
  options.version = kOnePartRecord;
  options.headerWord = 0;
  options.bodySize = kBodySize;
  options.seed = 5;
  return options;
}

Firmware Written(const Workspace& workspace, const std::string& name, Firmware firmware) {
  firmware.path = workspace.Write(name, firmware.file);
  EXPECT_FALSE(firmware.path.empty()) << name;
  return firmware;
}

}  // namespace

Firmware WriteOnePart(const Workspace& workspace, const std::string& name) {
  Firmware firmware;
  firmware.file = fwbuild::BuildOnePartFile(OnePartOptions(), kTrailingFill);
  EXPECT_EQ(firmware.file.size(), kImageSize + kTrailingFill);
  firmware.image = firmware.file;
  return Written(workspace, name, firmware);
}

Firmware WriteOffsetImage(const Workspace& workspace, const std::string& name) {
  Firmware firmware;
  firmware.file = fwbuild::BuildOffsetImageFile(OnePartOptions(), kPlatform3Offset, 48);
  EXPECT_EQ(firmware.file.size(), kPlatform3Offset + kImageSize + 48);
  firmware.image = Slice(firmware.file, kPlatform3Offset, firmware.file.size());
  return Written(workspace, name, firmware);
}

Firmware WriteTwoPart(const Workspace& workspace, const std::string& name) {
  fwbuild::TwoPartOptions options;
  options.controller.version = kControllerRecord;
  options.controller.headerWord = 0;
  options.controller.bodySize = kBodySize;
  options.app.version = kAppRecord;
  options.app.headerWord = 1;
  options.app.bodySize = 700;
  options.controllerDataEnd = kControllerDataEnd;
  options.appDataEnd = kAppDataEnd;
  options.tailFill = kTailFill;
  Firmware firmware;
  firmware.file = fwbuild::BuildTwoPartFile(options);
  EXPECT_EQ(firmware.file.size(), kTwoPartFileSize);
  firmware.image = Slice(firmware.file, 0x10000, firmware.file.size());
  firmware.controllerPart = Slice(firmware.file, 0x10000, kControllerPartLength);
  firmware.appPart = Slice(firmware.file, 0x30000, kAppPartLength);
  return Written(workspace, name, firmware);
}

Firmware WritePassthrough(const Workspace& workspace, const std::string& name) {
  Firmware firmware;
  firmware.file = fwbuild::BuildPassthrough(700, 9);
  firmware.image = firmware.file;
  return Written(workspace, name, firmware);
}

ExpectedTransfer DeviceTransfer(const std::vector<uint8_t>& bytes, const std::string& part,
                                const std::string& version, uint32_t headerWord) {
  return {bytes, "device", part, version, headerWord};
}

ExpectedTransfer PassthroughTransfer(const std::vector<uint8_t>& bytes) {
  return {bytes, "passthrough", "whole", kNoVersion, 0};
}

void ExpectTransfers(const nlohmann::json& device, const std::vector<ExpectedTransfer>& expected) {
  const nlohmann::json transfers = device.value("transfers", nlohmann::json::array());
  ASSERT_EQ(transfers.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("transfer " + std::to_string(i));
    const nlohmann::json& t = transfers[i];
    const ExpectedTransfer& e = expected[i];
    EXPECT_EQ(t.value("target", ""), e.target);
    EXPECT_EQ(t.value("part", ""), e.part);
    EXPECT_EQ(t.value("version", ""), e.version);
    EXPECT_EQ(t.value("headerWord", -1), static_cast<int64_t>(e.headerWord));
    EXPECT_EQ(t.value("declaredLength", 0u), e.bytes.size());
    EXPECT_EQ(t.value("declaredCrc32", ""), Crc32Hex(e.bytes));
    EXPECT_EQ(t.value("receivedLength", 0u), e.bytes.size());
    EXPECT_EQ(t.value("receivedCrc32", ""), Crc32Hex(e.bytes));
    EXPECT_EQ(t.value("receivedSha256", ""), Sha256Hex(e.bytes));
    EXPECT_EQ(t.value("verified", nlohmann::json()), nlohmann::json(true));
  }
}

namespace {

void CheckRow(const UpgradeRow& row, const RunResult& result) {
  SCOPED_TRACE(row.label);
  ASSERT_TRUE(result.started);
  EXPECT_FALSE(result.timedOut) << result.Describe();
  EXPECT_EQ(result.exitStatus, 0) << result.Describe();
  EXPECT_EQ(result.err, "");
  ASSERT_TRUE(result.hasRecord) << result.Describe();

  std::vector<std::string> expectedLines(row.progressLines, ">> : Download progress: 100%");
  expectedLines.push_back(">> DFU success! (T)");
  std::vector<std::string> lines = ScreenLines(MaskTimes(result.out), row.monotonicProgress);
  EXPECT_EQ(lines, expectedLines) << result.Describe();
  EXPECT_TRUE(!result.out.empty() && result.out.back() == '\n');

  const nlohmann::json& dongle = result.Device("dongle");
  EXPECT_EQ(CommandTrace(dongle), row.trace);
  EXPECT_EQ(dongle.value("protocolErrors", nlohmann::json::array()), nlohmann::json::array());
  ExpectTransfers(dongle, row.transfers);

  const nlohmann::json restarts = dongle.value("restarts", nlohmann::json::array());
  EXPECT_EQ(restarts.size(), static_cast<size_t>(row.restarts));
  for (const nlohmann::json& restart : restarts) {
    EXPECT_FALSE(restart.value("unverifiedImageDiscarded", true)) << restart.dump();
  }
  const nlohmann::json final = dongle.value("final", nlohmann::json::object());
  EXPECT_EQ(final.value("controllerVersion", ""), row.controllerAfter);
  EXPECT_EQ(final.value("appVersion", ""), row.appAfter);
  EXPECT_EQ(final.value("forcedUpgradeMode", !row.forcedAfter), row.forcedAfter);
  EXPECT_EQ(final.value("passthrough", true), false);
  EXPECT_EQ(final.value("onBus", false), true);
  nlohmann::json passthrough =
      row.passthroughSha256.empty() ? nlohmann::json() : nlohmann::json(row.passthroughSha256);
  EXPECT_EQ(final.value("passthroughImageSha256", nlohmann::json("?")), passthrough);
}

}  // namespace

void RunUpgradeRows(const Workspace& workspace, const std::vector<UpgradeRow>& rows) {
  std::vector<RunOptions> runs;
  for (const UpgradeRow& row : rows)
    runs.push_back(row.run);
  std::vector<RunResult> results = RunAll(workspace, runs);
  for (size_t i = 0; i < rows.size(); ++i)
    CheckRow(rows[i], results[i]);
}

RunOptions CommandLine(const nlohmann::json& dongle, const std::vector<std::string>& args) {
  RunOptions run;
  run.scenario = Scenario({OtherKeyboard(), dongle});
  run.args = {"248a", "8266"};
  run.args.insert(run.args.end(), args.begin(), args.end());
  return run;
}

}  // namespace e2e
