// Firmware files for the end-to-end tests, with the exact bytes each one puts
// on the wire worked out from how the file was built, and the check of one
// successful command-line update: exit status, the compact output, the
// requests the device received, the bytes of every transfer and the
// device's state afterwards.
#ifndef QUORVEL_TESTS_SUPPORT_E2E_UPGRADE_ROWS_H_
#define QUORVEL_TESTS_SUPPORT_E2E_UPGRADE_ROWS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "support/e2e_runner.h"

namespace e2e {

// Versions as the device reports them; the dongle starts with kInitialVersion
// for both firmware kinds.
inline constexpr char kInitialVersion[] = "01-00-0000-00000001";
inline constexpr char kOnePartVersion[] = "03-04-0506-0708090A";
inline constexpr char kControllerVersion[] = "05-06-0708-090A0B0C";
inline constexpr char kAppVersion[] = "06-07-0809-0A0B0C0D";
inline constexpr char kNoVersion[] = "00-00-0000-00000000";

struct Firmware {
  std::string path;
  std::vector<uint8_t> file;
  // What goes on the wire: the whole image, and for two parts each part.
  std::vector<uint8_t> image;
  std::vector<uint8_t> controllerPart;
  std::vector<uint8_t> appPart;
};

// One-part image (header word 0, kOnePartVersion, 1000 body bytes) followed
// by 64 bytes of 0xFF: the image sent is the whole file.
Firmware WriteOnePart(const Workspace& workspace, const std::string& name);
// The same image behind 8192 bytes of junk, as chip platform 3 finds it.
Firmware WriteOffsetImage(const Workspace& workspace, const std::string& name);
// Controller part (header word 0, kControllerVersion) at 0x10000, App part
// (header word 1, kAppVersion) at 0x30000, each ending in 0xFF fill.
Firmware WriteTwoPart(const Workspace& workspace, const std::string& name);
// 700 headerless bytes.
Firmware WritePassthrough(const Workspace& workspace, const std::string& name);

struct ExpectedTransfer {
  std::vector<uint8_t> bytes;
  std::string target;  // "device" or "passthrough"
  std::string part;    // "whole", "controller" or "app"
  std::string version;
  uint32_t headerWord = 0;
};

ExpectedTransfer DeviceTransfer(const std::vector<uint8_t>& bytes, const std::string& part,
                                const std::string& version, uint32_t headerWord = 0);
ExpectedTransfer PassthroughTransfer(const std::vector<uint8_t>& bytes);

// One successful update given on the command line to the device "dongle".
struct UpgradeRow {
  std::string label;
  RunOptions run;
  std::string trace;  // CommandTrace of the dongle
  std::vector<ExpectedTransfer> transfers;
  std::string controllerAfter;
  std::string appAfter;
  bool forcedAfter = false;
  int restarts = 1;
  int progressLines = 1;  // compact progress lines before the result line
  bool monotonicProgress = true;
  std::string passthroughSha256;  // empty: nothing reached the passthrough device
};

// Runs every row at once, then checks each.
void RunUpgradeRows(const Workspace& workspace, const std::vector<UpgradeRow>& rows);

// Every transfer the device recorded equals the expected ones, in order,
// received completely and verified.
void ExpectTransfers(const nlohmann::json& device, const std::vector<ExpectedTransfer>& expected);

// A command-line run against the dongle (248a:8266) next to an unrelated
// keyboard, with the given options after the IDs.
RunOptions CommandLine(const nlohmann::json& dongle, const std::vector<std::string>& args);
// The -c value.
inline std::string CheckText(bool check) {
  return check ? "1" : "0";
}

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_E2E_UPGRADE_ROWS_H_
