#include "support/dongle_line.h"

#include "support/dongle_scenario.h"

namespace e2e {

const char kLineKeyboard[] = "keyboard5200";
const char kLineOtherVendor[] = "other8266";
const char kLineUnrelated[] = "keyboard";

std::string LineDongleName(int k) {
  return "dongle" + std::to_string(k);
}

std::string LineDonglePort(int k) {
  return "1-3." + std::to_string(k);
}

std::string LineDongleSerial(int k) {
  static const char* const kSerials[] = {"QV24A01X", "QV24A02X", "qv24a03x", ""};
  return k >= 1 && k <= kLineDongles ? kSerials[k - 1] : "";
}

nlohmann::json LineDongle(int k) {
  nlohmann::json dongle = Dongle({{"name", LineDongleName(k)},
                                  {"path", UniqueHidrawPath(k)},
                                  {"port", LineDonglePort(k)},
                                  {"reboot",
                                   {{"leaveMs", 20},
                                    {"awayMs", 400},
                                    {"path", UniqueHidrawPath(50 + k)},
                                    {"productId", "0x8267"}}}});
  if (!LineDongleSerial(k).empty())
    dongle["serial"] = LineDongleSerial(k);
  return dongle;
}

nlohmann::json LineOfDongles() {
  std::vector<nlohmann::json> devices;
  for (int k = 1; k <= kLineDongles; ++k)
    devices.push_back(LineDongle(k));
  devices.push_back(Dongle({{"name", kLineKeyboard},
                            {"path", UniqueHidrawPath(10)},
                            {"productId", "0x5200"},
                            {"product", "Keyboard"},
                            {"port", "1-4"}}));
  devices.push_back(Dongle({{"name", kLineOtherVendor},
                            {"path", UniqueHidrawPath(11)},
                            {"vendorId", "0x1234"},
                            {"manufacturer", "Other"},
                            {"port", "1-5"}}));
  nlohmann::json unrelated = OtherKeyboard();
  unrelated["path"] = UniqueHidrawPath(12);
  devices.push_back(unrelated);
  return Scenario(devices);
}

std::set<std::string> TouchedDevices(const nlohmann::json& record) {
  std::set<std::string> touched;
  if (!record.is_object() || !record.contains("devices"))
    return touched;
  for (auto it = record["devices"].begin(); it != record["devices"].end(); ++it) {
    const nlohmann::json& device = it.value();
    const bool opened = device.contains("opens") && !device["opens"].empty();
    const bool sent = device.contains("requests") && !device["requests"].empty();
    if (opened || sent)
      touched.insert(it.key());
  }
  return touched;
}

}  // namespace e2e
