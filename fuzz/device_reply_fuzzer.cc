// Any reply bytes to any request, through the emulated device (its
// "replace" fault), and how the program judges them.
//
// Input byte 0, bit 7 clear: one device procedure on an open link; byte 1
// picks it, then up to 64 bytes of its first reply and up to 64 of its
// second (start and verify). The procedure's verdict is held against the
// reply rules, worked out here from the bytes alone.
//
// Bit 7 set: a whole update; byte 1 picks the platform and file (bit 7 of it:
// as typed at the prompt), then records [command][occurrence and stage]
// [length][bytes] replace replies anywhere in the sequence (command 0x10:
// the acknowledgement of a block). The update must end, print one result
// line, and succeed only if the device verified what it received.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/arguments.h"
#include "console/loaded_images.h"
#include "dfu/firmware_transfer.h"
#include "dfu/mode_control.h"
#include "dfu/passthrough.h"
#include "dfu/version_report.h"
#include "emulator.h"
#include "fuzz_support.h"
#include "image/image_store.h"
#include "support/program_harness.h"
#include "support/virtual_platform.h"
#include "transport/hid_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes) {
  std::string hex;
  char pair[3];
  for (uint8_t b : bytes) {
    snprintf(pair, sizeof pair, "%02X", b);
    hex += pair;
  }
  return hex;
}

std::string CommandText(int command) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", command);
  return text;
}

nlohmann::json Replace(int command, int stage, int occurrence, const Bytes& reply) {
  return {{"command", CommandText(command)},
          {"stage", stage},
          {"occurrence", occurrence},
          {"action", "replace"},
          {"hex", Hex(reply)}};
}

// A reply as the program reads it: the report is zero padded to 64 bytes.
Bytes Report(const uint8_t* data, size_t size) {
  Bytes report(64, 0);
  if (size > 0)
    std::memcpy(report.data(), data, std::min<size_t>(size, 64));
  return report;
}

bool Echoes(const Bytes& r, uint8_t command) {
  return r[0] == 0x0A && r[1] == command;
}

bool ValidStatusRecord(const Bytes& r) {
  return r[2] == 0x55 && r[3] == 0xAA && r[5] == static_cast<uint8_t>(0x55 + 0xAA + r[4]);
}

struct Procedure {
  int command;
  bool twoStage;
};

const Procedure kProcedures[] = {
    {0x55, false}, {0x20, false}, {0x06, false}, {0x06, false}, {0x04, false}, {0x01, false},
    {0x02, true},  {0x03, true},  {0x00, false}, {0x00, false}, {0x07, false}, {0x56, false},
};
constexpr int kProcedureCount = sizeof kProcedures / sizeof kProcedures[0];

void CheckProcedure(int which, const Bytes& r1, const Bytes& r2) {
  uint8_t state = 0x42;
  bool ok = false;
  switch (which) {
    case 0: {
      int expected = !Echoes(r1, 0x55) ? 0 : (ValidStatusRecord(r1) ? 2 : 1);
      fuzz::Check(Handshake() == expected, "the handshake reads its reply by the rules");
      return;
    }
    case 1:
      ok = EnterUpgradeMode();
      fuzz::Check(ok == (Echoes(r1, 0x20) && r1[2] == 0),
                  "entering the upgrade mode needs status 0");
      return;
    case 2:
      ok = EnterForcedUpgradeMode(&state);
      fuzz::Check(ok == Echoes(r1, 0x06), "entering the forced mode needs only the echo");
      fuzz::Check(state == (!ok ? 0x42 : (ValidStatusRecord(r1) ? r1[4] : 0xFF)),
                  "the forced state is the record's value, 0xFF without one");
      return;
    case 3:
      ok = LeaveForcedUpgradeMode();
      fuzz::Check(ok == Echoes(r1, 0x06), "leaving the forced mode needs only the echo");
      return;
    case 4:
      ok = RestartDevice();
      fuzz::Check(ok == Echoes(r1, 0x04), "a restart needs only the echo");
      fuzz::Check(HidLink.device == nullptr, "a restart that was answered closes the link");
      return;
    case 5:
      ok = SendFirmwareInfo(SelectTransferImage(LoadedImages.program, ImagePart::kWhole));
      fuzz::Check(ok == (Echoes(r1, 0x01) && r1[2] == 0), "the information needs status 0");
      return;
    case 6:
    case 7: {
      uint8_t command = which == 6 ? 0x02 : 0x03;
      ok = which == 6 ? StartUpgrade() : VerifyFirmware();
      bool expected = Echoes(r1, command) && Echoes(r2, command) && r2[2] == 0;
      fuzz::Check(ok == expected, "a two-stage command needs the echo, then status 0");
      return;
    }
    case 8:
    case 9: {
      uint8_t selector = which == 8 ? 0 : 1;
      uint8_t record[8] = {};
      int32_t length = sizeof record;
      ok = ReadVersionInfo(selector, record, &length);
      fuzz::Check(ok == (Echoes(r1, 0x00) && r1[2] == selector),
                  "a version reply echoes its selector");
      fuzz::Check(!ok || std::memcmp(record, r1.data() + 3, 8) == 0, "the record is bytes 3 to 10");
      return;
    }
    case 10:
      ok = EnterPassthrough();
      fuzz::Check(ok == Echoes(r1, 0x07), "the passthrough switch needs only the echo");
      return;
    default: {
      char name[64] = {};
      ok = QueryDeviceName(name);
      fuzz::Check(ok == Echoes(r1, 0x56), "the name query needs only the echo");
      fuzz::Check(!ok || std::strcmp(name, DeviceNameForType(r1[2])) == 0,
                  "the name follows byte 2");
      return;
    }
  }
}

void RunProcedure(const uint8_t* data, size_t size) {
  int which = size > 0 ? data[0] % kProcedureCount : 0;
  const uint8_t* replies = data + (size > 0 ? 1 : 0);
  size_t left = size > 0 ? size - 1 : 0;
  size_t first = std::min<size_t>(left, 64);
  Bytes r1(replies, replies + first);
  Bytes r2(replies + first, replies + first + std::min<size_t>(left - first, 64));
  const Procedure& p = kProcedures[which];
  nlohmann::json faults = nlohmann::json::array({Replace(p.command, 1, 1, r1)});
  if (p.twoStage)
    faults.push_back(Replace(p.command, 2, 1, r2));
  nlohmann::json changes = {
      {"faults", faults},
      {"passthrough", {{"blockSize", 256}, {"echo", false}, {"version", "01-00-0000-00000001"}}}};
  fuzz::LoadScenario(fuzz::Scenario(changes));
  harness::ResetProgramState();
  Bytes image(300, 0x5A);
  fuzz::Check(StoreProgramImage(image.data(), static_cast<int64_t>(image.size()),
                                &LoadedImages.program) == 1,
              "a program image can be stored");
  fuzz::Check(OpenLink("/dev/hidraw1") == 1, "the device opens");
  harness::ArmHangGuard(60000);
  CheckProcedure(which, Report(r1.data(), r1.size()), Report(r2.data(), r2.size()));
  harness::DisarmHangGuard();
}

struct Update {
  std::vector<std::string> args;
  nlohmann::json device;
};

Update UpdateFor(int which) {
  nlohmann::json behind = {
      {"passthrough", {{"blockSize", 256}, {"echo", false}, {"version", "01-00-0000-00000001"}}}};
  switch (which % 11) {
    case 0:
      return {{"-s", "0", "-d", "fw.bin"}, {}};
    case 1:
      return {{"-s", "1", "-d", "fw.bin"}, {}};
    case 2:
      return {{"-s", "1", "-d", "two.bin", "-i", "1"}, {}};
    case 3:
      return {{"-s", "2", "-d", "fw.bin", "-c", "0"}, {}};
    case 4:
      return {{"-s", "3", "-d", "fw.bin"}, {{"forcedState", 0}}};
    case 5:
      return {{"-s", "3", "-d", "fw.bin"}, {{"forcedState", 1}, {"exitForcedRestarts", true}}};
    case 6:
      return {{"-s", "3", "-d", "fw.bin"}, {{"forcedState", 2}}};
    case 7:
      return {{"-s", "3", "-d", "fw.bin"},
              {{"forcedState", nullptr}, {"forcedEntryRestarts", true}}};
    case 8:
      return {{"-s", "4", "-d", "fw.bin"}, {}};
    case 9:
      return {{"-s", "4", "-d", "fw.bin", "-t", "pt.bin"}, behind};
    default:
      return {{"-s", "4", "-t", "pt.bin", "-c", "0"}, behind};
  }
}

const int kReplacedCommands[] = {0x55, 0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x07, 0x20, 0x10};

nlohmann::json Replacements(const uint8_t* data, size_t size) {
  nlohmann::json faults = nlohmann::json::array();
  size_t at = 0;
  while (at + 3 <= size && faults.size() < 6) {
    int command = kReplacedCommands[data[at] % 10];
    int occurrence = 1 + (data[at + 1] & 0x03);
    int stage = 1 + ((data[at + 1] >> 2) & 1);
    size_t length = std::min<size_t>({data[at + 2], 64, size - at - 3});
    Bytes reply(data + at + 3, data + at + 3 + length);
    at += 3 + length;
    if (command == 0x10) {
      faults.push_back({{"block", data[at - length - 3] / 10 % 8},
                        {"occurrence", occurrence},
                        {"action", "replace"},
                        {"hex", Hex(reply)}});
      continue;
    }
    // The first handshake is left alone: a device that fails it is waited
    // for until it is replugged, which is the program's rule, not a hang.
    if (command == 0x55 && occurrence == 1)
      occurrence = 2;
    faults.push_back(Replace(command, stage, occurrence, reply));
  }
  return faults;
}

bool LastTransferVerified(const nlohmann::json& device, const char* target) {
  bool verified = false;
  for (const nlohmann::json& t : device["transfers"]) {
    if (t.value("target", "") == target)
      verified = t.value("verified", nlohmann::json()) == true;
  }
  return verified;
}

void RunUpdate(const uint8_t* data, size_t size) {
  if (size == 0)
    return;
  Update update = UpdateFor(data[0] & 0x7F);
  update.device["faults"] = Replacements(data + 1, size - 1);
  fuzz::LoadScenario(fuzz::Scenario(update.device));
  harness::CommandRun run;
  run.args = {"248a", "8266"};
  run.args.insert(run.args.end(), update.args.begin(), update.args.end());
  run.prompt = (data[0] & 0x80) != 0;
  run.limitMs = 600000;
  harness::CommandOutcome outcome = harness::RunCommand(run);
  fuzz::Check(outcome.parsed, "the update's arguments are accepted");
  fuzz::Check(!outcome.hung, "an update ends, whatever the device answers");
  const std::string& out = outcome.out;
  std::string line = outcome.result ? ">> DFU success! (" : ">> DFU failed! (";
  size_t at = out.find(line);
  fuzz::Check(at != std::string::npos && out.find(">> DFU ", at + 1) == std::string::npos &&
                  out.back() == '\n' && out.find('\n', at) == out.size() - 1,
              "one result line ends the output");
  if (!outcome.result)
    return;
  g_virtual.now += 5000;
  const nlohmann::json& device = emu::Record()["devices"]["dongle"];
  bool program = false;
  bool passthrough = false;
  for (const std::string& arg : update.args) {
    program = program || arg == "fw.bin" || arg == "two.bin";
    passthrough = passthrough || arg == "pt.bin";
  }
  fuzz::Check(!program || LastTransferVerified(device, "device"),
              "a successful update was verified by the device");
  fuzz::Check(!passthrough || LastTransferVerified(device, "passthrough"),
              "a successful passthrough update was verified by the device behind");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ScratchDirectory scratch;
  fuzz::UseVirtualPlatform();
  fuzz::FreshVirtualState();
  if (size == 0)
    return 0;
  if (data[0] & 0x80) {
    RunUpdate(data + 1, size - 1);
  } else {
    RunProcedure(data + 1, size - 1);
  }
  harness::ResetProgramState();
  emu::Reset();
  return 0;
}
