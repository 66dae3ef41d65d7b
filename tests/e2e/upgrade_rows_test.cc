// Complete updates of chip platforms 0, 1 and 2 by the real program, given
// on its command line, each with and without the version check after the
// restart: the requests in their order, the exact bytes the device received
// and the versions it reports afterwards.
#include <gtest/gtest.h>

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

TEST(UpgradeRows, Platform0AndPlatform1WithOnePart) {
  e2e::Workspace workspace;
  Firmware firmware = e2e::WriteOnePart(workspace, "one.bin");
  std::vector<UpgradeRow> rows;
  for (bool check : {true, false}) {
    for (const char* platform : {"0", "1"}) {
      UpgradeRow row;
      row.label = std::string("platform ") + platform + ", check " + CheckText(check);
      nlohmann::json dongle = e2e::Dongle();
      std::vector<std::string> args = {"-s", platform, "-d", firmware.path, "-c", CheckText(check)};
      if (!check && platform == std::string("1")) {
        // 62-byte blocks: this device echoes every frame as its acknowledgement.
        dongle = e2e::Dongle({{"blockSize", 62}, {"echo", true}});
        args.insert(args.end(), {"-b", "62"});
        row.label += ", 62-byte blocks echoed";
      }
      row.run = CommandLine(dongle, args);
      row.trace = check ? "H E I S D V R Q0" : "H E I S D V R";
      row.transfers = {DeviceTransfer(firmware.image, "controller", e2e::kOnePartVersion)};
      row.controllerAfter = e2e::kOnePartVersion;
      row.appAfter = e2e::kInitialVersion;
      rows.push_back(row);
    }
  }
  e2e::RunUpgradeRows(workspace, rows);
}

TEST(UpgradeRows, Platform1WithTwoPartsInBothOrders) {
  e2e::Workspace workspace;
  Firmware firmware = e2e::WriteTwoPart(workspace, "two.bin");
  auto controller = DeviceTransfer(firmware.controllerPart, "controller", e2e::kControllerVersion);
  auto app = DeviceTransfer(firmware.appPart, "app", e2e::kAppVersion, 1);
  std::vector<UpgradeRow> rows;
  for (bool check : {true, false}) {
    for (bool appFirst : {false, true}) {
      UpgradeRow row;
      row.label = std::string("sort ") + (appFirst ? "1" : "0") + ", check " + CheckText(check);
      row.run = CommandLine(e2e::Dongle(), {"-s", "1", "-d", firmware.path, "-i",
                                            appFirst ? "1" : "0", "-c", CheckText(check)});
      // Each part: its own download, restart and (with check) a read of the
      // version of the part just sent; one scan finds the device in between.
      std::string first = appFirst ? " Q1" : " Q0";
      std::string second = appFirst ? " Q0" : " Q1";
      row.trace = "H E I S D V R" + (check ? first : "") + " H E I S D V R" + (check ? second : "");
      row.transfers = appFirst ? std::vector<e2e::ExpectedTransfer>{app, controller}
                               : std::vector<e2e::ExpectedTransfer>{controller, app};
      row.controllerAfter = e2e::kControllerVersion;
      row.appAfter = e2e::kAppVersion;
      row.restarts = 2;
      row.progressLines = 2;
      rows.push_back(row);
    }
  }
  e2e::RunUpgradeRows(workspace, rows);
}

TEST(UpgradeRows, Platform2WithOneAndTwoParts) {
  e2e::Workspace workspace;
  Firmware onePart = e2e::WriteOnePart(workspace, "one.bin");
  Firmware twoPart = e2e::WriteTwoPart(workspace, "two.bin");
  std::vector<UpgradeRow> rows;
  for (bool check : {true, false}) {
    UpgradeRow one;
    one.label = "platform 2, one part, check " + CheckText(check);
    one.run = CommandLine(e2e::Dongle(), {"-s", "2", "-d", onePart.path, "-c", CheckText(check)});
    // The wait after the restart is made even without the check; it then
    // accepts the device by its handshake.
    one.trace = check ? "H E I S D V R Q0" : "H E I S D V R H";
    one.transfers = {DeviceTransfer(onePart.image, "controller", e2e::kOnePartVersion)};
    one.controllerAfter = e2e::kOnePartVersion;
    one.appAfter = e2e::kInitialVersion;
    rows.push_back(one);

    UpgradeRow two;
    two.label = "platform 2, two parts, check " + CheckText(check);
    nlohmann::json dongle = e2e::Dongle();
    std::vector<std::string> args = {"-s", "2", "-d", twoPart.path, "-c", CheckText(check)};
    if (check) {
      dongle = e2e::Dongle({{"blockSize", 512}});
      args.insert(args.end(), {"-b", "512"});
      two.label += ", 512-byte blocks";
    }
    two.run = CommandLine(dongle, args);
    // The whole image in one transfer inside the forced upgrade mode; the
    // check reads both versions.
    two.trace = check ? "H F+ E I S D V R Q0 Q1 F-" : "H F+ E I S D V R H F-";
    two.transfers = {DeviceTransfer(twoPart.image, "whole", e2e::kControllerVersion)};
    two.controllerAfter = e2e::kControllerVersion;
    two.appAfter = e2e::kAppVersion;
    rows.push_back(two);
  }
  e2e::RunUpgradeRows(workspace, rows);
}

}  // namespace
