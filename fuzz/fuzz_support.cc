#include "fuzz_support.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "emulator.h"
#include "firmware_builder.h"
#include "support/program_harness.h"
#include "support/virtual_platform.h"

namespace fuzz {

void Fail(const std::string& rule) {
  std::fprintf(stderr, "fuzz rule broken: %s\n", rule.c_str());
  std::fflush(stderr);
  abort();
}

namespace {

std::string g_scratch;

void RemoveScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(g_scratch, ignored);
}

std::string MakeScratchDirectory() {
  char pattern[] = "/tmp/quorvel-fuzz-XXXXXX";
  Check(mkdtemp(pattern) != nullptr, "a scratch directory can be made");
  std::string dir = pattern;
  g_scratch = dir;
  atexit(RemoveScratchDirectory);
  fwbuild::ImageOptions one;
  one.bodySize = 700;
  fwbuild::WriteFile(dir + "/fw.bin", fwbuild::BuildOnePartFile(one));
  fwbuild::WriteFile(dir + "/two.bin", fwbuild::BuildTwoPartFile(fwbuild::TwoPartOptions()));
  fwbuild::WriteFile(dir + "/pt.bin", fwbuild::BuildPassthrough(500));
  fwbuild::WriteFile(dir + "/empty.bin", {});
  fwbuild::WriteFile(dir + "/big.bin", std::vector<uint8_t>(0x20001, 0x11));
  mkdir((dir + "/dir").c_str(), 0755);
  mkfifo((dir + "/fifo").c_str(), 0644);
  return dir;
}

}  // namespace

ScratchDirectory::ScratchDirectory() : previous_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  static const std::string dir = MakeScratchDirectory();
  Check(previous_ >= 0 && chdir(dir.c_str()) == 0, "the scratch directory can be entered");
}

ScratchDirectory::~ScratchDirectory() {
  if (fchdir(previous_) != 0)
    Fail("the working directory comes back");
  close(previous_);
}

std::string Confined(std::string text) {
  for (char& c : text) {
    if (c == '/')
      c = '_';
  }
  return text;
}

void UseVirtualPlatform() {
  static std::unique_ptr<ScopedVirtualPlatform> platform;
  if (platform)
    return;
  platform = std::make_unique<ScopedVirtualPlatform>();
  harness::InstallGuardedClock();
}

void FreshVirtualState() {
  g_virtual.now = 0;
  g_virtual.out.clear();
  g_virtual.input.clear();
  g_virtual.sleeps.clear();
  g_virtual.flushes = 0;
  g_virtual.locksHeldHere.clear();
  g_virtual.locksHeldElsewhere.clear();
}

nlohmann::json Scenario(const nlohmann::json& dongleChanges) {
  nlohmann::json dongle = {
      {"name", "dongle"},
      {"path", "/dev/hidraw1"},
      {"vendorId", "0x248A"},
      {"productId", "0x8266"},
      {"interface", 1},
      {"manufacturer", "Quorvel"},
      {"product", "Receiver"},
      {"controllerVersion", "01-00-0000-00000001"},
      {"appVersion", "01-00-0000-00000001"},
      {"timing", {{"replyMs", 1}, {"eraseMs", 10}, {"blockWriteMs", 0.2}, {"verifyMs", 5}}},
      {"reboot", {{"leaveMs", 20}, {"awayMs", 300}}},
  };
  for (auto it = dongleChanges.begin(); it != dongleChanges.end(); ++it) {
    dongle[it.key()] = it.value();
  }
  nlohmann::json keyboard = {{"name", "keyboard"},
                             {"path", "/dev/hidraw0"},
                             {"vendorId", "0x046D"},
                             {"productId", "0xC31C"},
                             {"protocol", false}};
  return {{"recordFrames", false}, {"devices", {keyboard, dongle}}};
}

void LoadScenario(const nlohmann::json& scenario) {
  std::string error;
  emu::Reset();
  if (!emu::LoadScenario(scenario, &error))
    Fail("the scenario loads: " + error);
}

std::vector<std::string> Split(const uint8_t* data, size_t size, char separator, size_t maxParts) {
  std::vector<std::string> parts;
  if (size == 0)
    return parts;
  parts.emplace_back();
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<char>(data[i]) != separator) {
      parts.back().push_back(static_cast<char>(data[i]));
    } else if (parts.size() < maxParts) {
      parts.emplace_back();
    } else {
      break;
    }
  }
  return parts;
}

}  // namespace fuzz
