#include "support/dongle_scenario.h"

#include <unistd.h>

#include "support/workspace.h"

namespace e2e {
namespace {

nlohmann::json TimingJson(const DongleTiming& t) {
  nlohmann::json timing = {{"replyMs", t.replyMs},
                           {"eraseMs", t.eraseMs},
                           {"blockWriteMs", t.blockWriteMs},
                           {"verifyMs", t.verifyMs}};
  if (t.usbFrameUs >= 0)
    timing["usbFrameUs"] = t.usbFrameUs;
  return timing;
}

nlohmann::json RebootJson(const DongleReboot& r) {
  nlohmann::json reboot = {{"leaveMs", r.leaveMs}, {"awayMs", r.awayMs}};
  if (!r.path.empty())
    reboot["path"] = r.path;
  if (!r.productId.empty())
    reboot["productId"] = r.productId;
  return reboot;
}

void Describe(const DongleSetup& setup, nlohmann::json* device) {
  (*device)["release"] = "0x0120";
  (*device)["manufacturer"] = "Quorvel";
  (*device)["product"] = setup.product;
  (*device)["typeCode"] = "0x10";
  (*device)["forcedState"] = 0;
}

}  // namespace

nlohmann::json DongleJson(const DongleSetup& setup) {
  nlohmann::json device = {{"name", setup.name},
                           {"path", setup.path},
                           {"vendorId", "0x248A"},
                           {"productId", "0x8266"},
                           {"controllerVersion", setup.version},
                           {"appVersion", setup.version},
                           {"timing", TimingJson(setup.timing)},
                           {"reboot", RebootJson(setup.reboot)}};
  if (setup.described)
    Describe(setup, &device);
  if (setup.blockSize > 0)
    device["blockSize"] = setup.blockSize;
  if (setup.interfaceNumber >= 0)
    device["interface"] = setup.interfaceNumber;
  if (!setup.serial.empty())
    device["serial"] = setup.serial;
  if (!setup.port.empty())
    device["port"] = setup.port;
  return device;
}

std::string UniqueDevicePath() {
  return UniqueName("/dev/hidraw-e2e-");
}

std::string UniqueHidrawPath(int n) {
  // Another test process may run at the same time: its numbers differ.
  return "/dev/hidraw" + std::to_string((static_cast<unsigned long>(getpid()) % 1000000) * 100 +
                                        static_cast<unsigned long>(n));
}

std::string LinePort(int k) {
  return "1-3." + std::to_string(k % 4 + 1) + "." + std::to_string(k / 4 + 1);
}

const char kDongleName[] = "Quorvel Receiver(HID\\VID_248A&PID_8266&REV_0120)";

nlohmann::json Dongle(const nlohmann::json& overrides) {
  DongleSetup setup;
  setup.path = UniqueDevicePath();
  nlohmann::json device = DongleJson(setup);
  for (auto it = overrides.begin(); it != overrides.end(); ++it)
    device[it.key()] = it.value();
  return device;
}

nlohmann::json OtherKeyboard() {
  return {{"name", "keyboard"},    {"path", UniqueDevicePath()},
          {"vendorId", "0x046D"},  {"productId", "0xC31C"},
          {"interface", 0},        {"manufacturer", "Other"},
          {"product", "Keyboard"}, {"protocol", false}};
}

nlohmann::json Scenario(const std::vector<nlohmann::json>& devices) {
  return {{"devices", devices}};
}

}  // namespace e2e
