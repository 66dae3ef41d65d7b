// Complete updates of chip platforms 3 and 4 by the real program, given on
// its command line: the forced upgrade mode and what the chip's reported
// state asks for on platform 3, and the default and passthrough programs of
// platform 4, each with and without the version check.
#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/dongle_scenario.h"
#include "support/e2e_runner.h"
#include "support/e2e_upgrade_rows.h"

namespace {

using e2e::CheckText;
using e2e::CommandLine;
using e2e::DeviceTransfer;
using e2e::Firmware;
using e2e::RunOptions;
using e2e::UpgradeRow;

struct StateCase {
  const char* name;
  nlohmann::json device;
  std::string traceWithCheck;
  std::string traceWithoutCheck;
  bool forcedAfter;
  int restarts;
};

TEST(ForcedRows, Platform3ByForcedUpgradeState) {
  e2e::Workspace workspace;
  Firmware firmware = e2e::WriteOffsetImage(workspace, "offset.bin");
  const std::vector<StateCase> cases = {
      // State 0: a restart is all the chip needs; the program never leaves
      // the forced upgrade mode.
      {"state 0", {{"forcedState", 0}}, "H F+ E I S D V R", "H F+ E I S D V R", true, 1},
      // State 1: leaving the forced upgrade mode restarts the chip by itself.
      {"state 1",
       {{"forcedState", 1}, {"exitForcedRestarts", true}},
       "H F+ E I S D V F-",
       "H F+ E I S D V F-",
       false,
       1},
      {"state 2", {{"forcedState", 2}}, "H F+ E I S D V F- R", "H F+ E I S D V F- R", false, 1},
      // No state: the chip restarts into the forced upgrade mode and is
      // awaited by its handshake; at the end restarted, awaited, taken out.
      {"no state",
       {{"forcedState", nullptr}, {"forcedEntryRestarts", true}},
       "H F+ H E I S D V R Q0 F-",
       "H F+ H E I S D V R H F-",
       false,
       2},
  };
  std::vector<UpgradeRow> rows;
  for (bool check : {true, false}) {
    for (const StateCase& c : cases) {
      UpgradeRow row;
      row.label = std::string("platform 3, ") + c.name + ", check " + CheckText(check);
      row.run = CommandLine(e2e::Dongle(c.device),
                            {"-s", "3", "-d", firmware.path, "-c", CheckText(check)});
      row.trace = check ? c.traceWithCheck : c.traceWithoutCheck;
      row.transfers = {DeviceTransfer(firmware.image, "controller", e2e::kOnePartVersion)};
      row.controllerAfter = e2e::kOnePartVersion;
      row.appAfter = e2e::kInitialVersion;
      row.forcedAfter = c.forcedAfter;
      row.restarts = c.restarts;
      // The wait for the chip's own restart runs the compact line on from
      // 90 % before the download starts it again from 0 %.
      row.monotonicProgress = c.restarts == 1;
      rows.push_back(row);
    }
  }
  e2e::RunUpgradeRows(workspace, rows);
}

nlohmann::json PassthroughDongle() {
  nlohmann::json passthrough = {{"blockSize", 256}, {"echo", false}};
  passthrough["version"] = e2e::kInitialVersion;
  return e2e::Dongle({{"passthrough", passthrough}});
}

// The default program, the passthrough program and both, with one check value.
std::vector<UpgradeRow> Platform4Rows(const Firmware& program, const Firmware& passthrough,
                                      bool check) {
  std::string wait = check ? " Q0" : " H";
  auto programTransfer = DeviceTransfer(program.image, "controller", e2e::kOnePartVersion);
  auto passthroughTransfer = e2e::PassthroughTransfer(passthrough.image);
  // The passthrough part first finds the device again: one scan with the
  // check, a wait for it without (it is then still on the bus, or back).
  const std::string passthroughTrace = " H P+ I S D V P- R";
  // That wait runs the compact line on from 90 % before the passthrough
  // download starts it again from 0 %.
  const bool monotonic = check;

  UpgradeRow defaultOnly;
  defaultOnly.label = "default program, check " + CheckText(check);
  defaultOnly.run =
      CommandLine(PassthroughDongle(), {"-s", "4", "-d", program.path, "-c", CheckText(check)});
  defaultOnly.trace = "H F+ E I S D V R" + wait + " F-";
  defaultOnly.transfers = {programTransfer};
  defaultOnly.controllerAfter = e2e::kOnePartVersion;
  defaultOnly.appAfter = e2e::kInitialVersion;

  UpgradeRow passthroughOnly;
  passthroughOnly.label = "passthrough program only, check " + CheckText(check);
  passthroughOnly.run =
      CommandLine(PassthroughDongle(), {"-s", "4", "-t", passthrough.path, "-c", CheckText(check)});
  passthroughOnly.trace = "H" + passthroughTrace;
  passthroughOnly.transfers = {passthroughTransfer};
  passthroughOnly.controllerAfter = e2e::kInitialVersion;
  passthroughOnly.appAfter = e2e::kInitialVersion;
  passthroughOnly.passthroughSha256 = e2e::Sha256Hex(passthrough.file);
  passthroughOnly.monotonicProgress = monotonic;

  UpgradeRow both = defaultOnly;
  both.label = "both programs, check " + CheckText(check);
  both.run = CommandLine(PassthroughDongle(), {"-s", "4", "-d", program.path, "-t",
                                               passthrough.path, "-c", CheckText(check)});
  both.trace = defaultOnly.trace + passthroughTrace;
  both.transfers = {programTransfer, passthroughTransfer};
  both.restarts = 2;
  both.progressLines = 2;
  both.passthroughSha256 = passthroughOnly.passthroughSha256;
  both.monotonicProgress = monotonic;
  return {defaultOnly, passthroughOnly, both};
}

TEST(ForcedRows, Platform4ProgramsWithTheVersionCheck) {
  e2e::Workspace workspace;
  Firmware program = e2e::WriteOnePart(workspace, "one.bin");
  Firmware passthrough = e2e::WritePassthrough(workspace, "passthrough.bin");
  e2e::RunUpgradeRows(workspace, Platform4Rows(program, passthrough, true));
}

// Without the check the device is found again by a wait for a newly
// attached device. With only the passthrough program nothing restarted it,
// and with both it left the forced upgrade mode without leaving the bus:
// either way the device that stayed on the bus must be found.
TEST(ForcedRows, Platform4ProgramsWithoutCheckFindTheDeviceThatStayed) {
  e2e::Workspace workspace;
  Firmware program = e2e::WriteOnePart(workspace, "one.bin");
  Firmware passthrough = e2e::WritePassthrough(workspace, "passthrough.bin");
  e2e::RunUpgradeRows(workspace, Platform4Rows(program, passthrough, false));
}

}  // namespace
