#include "support/fault_campaign.h"

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "emulator.h"
#include "firmware_builder.h"
#include "support/bytes.h"
#include "support/device_record.h"
#include "support/virtual_platform.h"

namespace campaign {

const char kInitialVersion[] = "01-00-0000-00000001";

namespace {

const char kOnePartVersion[] = "02-01-0003-00000004";
const char kControllerVersion[] = "03-00-0001-00000010";
const char kAppVersion[] = "03-00-0002-00000020";

fwbuild::Version VersionOf(const std::string& text) {
  fwbuild::Version version{};
  fwbuild::ParseVersion(text, &version);
  return version;
}

// The scratch directory goes when the process ends.
struct ScratchFiles {
  Firmware firmware;
  ~ScratchFiles() {
    std::error_code ignored;
    if (!firmware.dir.empty())
      std::filesystem::remove_all(firmware.dir, ignored);
  }
};

std::unique_ptr<ScratchFiles> WriteFiles() {
  auto files = std::make_unique<ScratchFiles>();
  Firmware& f = files->firmware;
  char pattern[] = "/tmp/quorvel-campaign-XXXXXX";
  if (mkdtemp(pattern) == nullptr)
    return files;
  f.dir = pattern;
  fwbuild::ImageOptions one;
  one.version = VersionOf(kOnePartVersion);
  one.bodySize = 2000;
  f.onePartBytes = fwbuild::BuildOnePartFile(one);
  f.onePartImageSize = fwbuild::kHeaderBytes + one.bodySize;
  fwbuild::TwoPartOptions two;
  two.controller.version = VersionOf(kControllerVersion);
  two.app.version = VersionOf(kAppVersion);
  f.twoPartBytes = fwbuild::BuildTwoPartFile(two);
  std::vector<uint8_t> passthrough = fwbuild::BuildPassthrough(3000);
  f.onePart = f.dir + "/one.bin";
  f.twoPart = f.dir + "/two.bin";
  f.passthrough = f.dir + "/pass.bin";
  fwbuild::WriteFile(f.onePart, f.onePartBytes);
  fwbuild::WriteFile(f.twoPart, f.twoPartBytes);
  fwbuild::WriteFile(f.passthrough, passthrough);
  f.onePartVersion = kOnePartVersion;
  f.controllerVersion = kControllerVersion;
  f.appVersion = kAppVersion;
  f.passthroughSha256 = e2e::Sha256Hex(passthrough);
  return files;
}

nlohmann::json Keyboard() {
  return {{"name", "keyboard"},    {"path", "/dev/hidraw0"},  {"vendorId", "0x046D"},
          {"productId", "0xC31C"}, {"manufacturer", "Other"}, {"product", "Keyboard"},
          {"protocol", false}};
}

Variant Make(const std::string& label, const std::vector<std::string>& options,
             const std::string& trace, const nlohmann::json& device = nlohmann::json::object()) {
  Variant v;
  v.label = label;
  v.device = Dongle(device);
  v.args = {"248a", "8266"};
  v.args.insert(v.args.end(), options.begin(), options.end());
  v.trace = trace;
  v.controllerAfter = kOnePartVersion;
  v.appAfter = kInitialVersion;
  return v;
}

std::string Hex(const nlohmann::json& request) {
  std::string hex = request.value("hex", "");
  for (char& c : hex)
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return hex;
}

const std::map<int, std::string>& Letters() {
  static const std::map<int, std::string> letters = {
      {0x55, "H"}, {0x56, "N"}, {0x00, "Q"}, {0x06, "F"}, {0x20, "E"}, {0x01, "I"},
      {0x02, "S"}, {0x03, "V"}, {0x04, "R"}, {0x07, "P"}, {0x10, "D"}};
  return letters;
}

}  // namespace

const Firmware& Files() {
  static std::unique_ptr<ScratchFiles> files = WriteFiles();
  return files->firmware;
}

nlohmann::json Dongle(const nlohmann::json& overrides) {
  nlohmann::json device = {
      {"name", "dongle"},
      {"path", "/dev/hidraw1"},
      {"vendorId", "0x248A"},
      {"productId", "0x8266"},
      {"release", "0x0120"},
      {"interface", 1},
      {"manufacturer", "Quorvel"},
      {"product", "Receiver"},
      {"controllerVersion", kInitialVersion},
      {"appVersion", kInitialVersion},
      {"forcedState", 0},
      {"blockSize", 256},
      {"timing", {{"replyMs", 1}, {"eraseMs", 10}, {"blockWriteMs", 0.2}, {"verifyMs", 5}}},
      {"reboot", {{"leaveMs", 20}, {"awayMs", 300}}},
  };
  for (auto it = overrides.begin(); it != overrides.end(); ++it)
    device[it.key()] = it.value();
  return device;
}

std::vector<Variant> Variants() {
  const Firmware& f = Files();
  std::vector<Variant> variants;
  variants.push_back(Make("platform 0", {"-s", "0", "-d", f.onePart}, "H E I S D V R Q0"));
  variants.push_back(
      Make("platform 1, one part", {"-s", "1", "-d", f.onePart}, "H E I S D V R Q0"));
  variants.push_back(Make("platform 1, one part, 62-byte blocks echoed",
                          {"-s", "1", "-d", f.onePart, "-b", "62"}, "H E I S D V R Q0",
                          {{"blockSize", 62}, {"echo", true}}));
  Variant twoParts = Make("platform 1, two parts, Controller first", {"-s", "1", "-d", f.twoPart},
                          "H E I S D V R Q0 H E I S D V R Q1");
  twoParts.controllerAfter = kControllerVersion;
  twoParts.appAfter = kAppVersion;
  variants.push_back(twoParts);
  twoParts =
      Make("platform 1, two parts, App first, no check",
           {"-s", "1", "-d", f.twoPart, "-i", "1", "-c", "0"}, "H E I S D V R H E I S D V R");
  twoParts.controllerAfter = kControllerVersion;
  twoParts.appAfter = kAppVersion;
  variants.push_back(twoParts);
  variants.push_back(Make("platform 2, one part, no check", {"-s", "2", "-d", f.onePart, "-c", "0"},
                          "H E I S D V R H"));
  twoParts =
      Make("platform 2, two parts", {"-s", "2", "-d", f.twoPart}, "H F+ E I S D V R Q0 Q1 F-");
  twoParts.forcedAlwaysLeft = true;
  twoParts.controllerAfter = kControllerVersion;
  twoParts.appAfter = kAppVersion;
  variants.push_back(twoParts);
  Variant state0 = Make("platform 3, state 0", {"-s", "3", "-d", f.onePart}, "H F+ E I S D V R",
                        {{"forcedState", 0}});
  // The sequence only restarts the chip; it does not take it out of the
  // forced upgrade mode.
  state0.outOfForcedOnSuccess = false;
  variants.push_back(state0);
  variants.push_back(Make("platform 3, state 1", {"-s", "3", "-d", f.onePart}, "H F+ E I S D V F-",
                          {{"forcedState", 1}, {"exitForcedRestarts", true}}));
  variants.push_back(Make("platform 3, state 2", {"-s", "3", "-d", f.onePart},
                          "H F+ E I S D V F- R", {{"forcedState", 2}}));
  variants.push_back(Make("platform 3, no state", {"-s", "3", "-d", f.onePart},
                          "H F+ H E I S D V R Q0 F-",
                          {{"forcedState", nullptr}, {"forcedEntryRestarts", true}}));
  Variant forced =
      Make("platform 4, program", {"-s", "4", "-d", f.onePart}, "H F+ E I S D V R Q0 F-");
  forced.forcedAlwaysLeft = true;
  variants.push_back(forced);
  nlohmann::json behind = {
      {"passthrough", {{"blockSize", 256}, {"echo", false}, {"version", kInitialVersion}}}};
  forced =
      Make("platform 4, program and passthrough", {"-s", "4", "-d", f.onePart, "-t", f.passthrough},
           "H F+ E I S D V R Q0 F- H P+ I S D V P- R", behind);
  forced.forcedAlwaysLeft = true;
  forced.passthroughSha256 = f.passthroughSha256;
  variants.push_back(forced);
  Variant passOnly =
      Make("platform 4, passthrough only, no check", {"-s", "4", "-t", f.passthrough, "-c", "0"},
           "H H P+ I S D V P- R", behind);
  passOnly.controllerAfter = kInitialVersion;
  passOnly.passthroughSha256 = f.passthroughSha256;
  variants.push_back(passOnly);
  return variants;
}

const char* VariantName(int index) {
  static const char* const kNames[kVariantCount] = {
      "Platform0",         "Platform1OnePart",    "Platform1Echo",     "Platform1TwoParts",
      "Platform1AppFirst", "Platform2OnePart",    "Platform2TwoParts", "Platform3State0",
      "Platform3State1",   "Platform3State2",     "Platform3NoState",  "Platform4Program",
      "Platform4Both",     "Platform4Passthrough"};
  return index >= 0 && index < kVariantCount ? kNames[index] : "Unknown";
}

CaseRun RunCase(const Variant& variant, const FaultCase& fault, bool prompt) {
  CaseRun run;
  nlohmann::json device = variant.device;
  for (auto it = fault.deviceChanges.begin(); it != fault.deviceChanges.end(); ++it) {
    device[it.key()] = it.value();
  }
  device["faults"] = fault.faults;
  std::ostringstream context;
  context << variant.label << " / " << fault.faultClass << " at " << fault.label
          << (prompt ? " (prompt)" : " (command line)") << "\nfaults: " << fault.faults.dump();
  std::string error;
  emu::Reset();
  if (!emu::LoadScenario({{"devices", {Keyboard(), device}}}, &error)) {
    run.context = context.str() + "\nscenario refused: " + error;
    run.verdict.expectationMet = false;
    return run;
  }
  harness::CommandRun command;
  command.args = variant.args;
  command.prompt = prompt;
  command.onTick = fault.onTick;
  run.outcome = harness::RunCommand(command);
  // Restarts still under way complete, as they would while the user looks
  // at the result.
  g_virtual.now += 5000;
  run.device = emu::Record()["devices"]["dongle"];
  run.keyboard = emu::Record()["devices"]["keyboard"];
  emu::Reset();
  run.verdict = Judge(variant, fault, prompt, run.outcome, run.device);
  context << "\nrequests: " << e2e::CommandTrace(run.device)
          << "\npresence: " << run.device.value("presence", nlohmann::json()).dump()
          << "\nfinal: " << run.device.value("final", nlohmann::json()).dump() << "\noutput:\n"
          << run.outcome.out;
  run.context = context.str();
  return run;
}

std::vector<Step> Steps(const nlohmann::json& device) {
  std::vector<Step> steps;
  std::map<int, int> counts;
  const nlohmann::json& requests = device["requests"];
  for (size_t i = 0; i < requests.size(); ++i) {
    std::string hex = Hex(requests[i]);
    if (requests[i].value("ignored", false) || hex.size() < 4)
      continue;
    int command = std::stoi(hex.substr(2, 2), nullptr, 16);
    if (command == 0x10)
      continue;
    Step step;
    step.command = command;
    step.occurrence = ++counts[command];
    step.atMs = requests[i].value("atMs", 0.0);
    step.requestIndex = i;
    auto letter = Letters().find(command);
    step.label = letter == Letters().end() ? hex : letter->second;
    if (command == 0x06 || command == 0x07)
      step.label += hex.substr(4, 2) == "00" ? "+" : "-";
    if (command == 0x00)
      step.label += hex.substr(5, 1);
    step.label += "#" + std::to_string(step.occurrence);
    steps.push_back(step);
    if (command == 0x02 || command == 0x03) {
      step.stage = 2;
      step.label += " completion";
      steps.push_back(step);
    }
  }
  return steps;
}

int32_t WindowMs(const Step& step) {
  if (step.stage == 2)
    return step.command == 0x02 ? 3000 : 1000;
  return 200;
}

}  // namespace campaign
