#include "output/json_result.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

json Optional(const std::optional<std::string>& text) {
  return text ? json(*text) : json(nullptr);
}

// USB IDs as lsusb and udev write them: four lower-case hex digits.
std::string HexId(uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", id);
  return text;
}

json DeviceJson(const JsonDevice& device) {
  return {{"vid", HexId(device.vendorId)},
          {"pid", HexId(device.productId)},
          {"serial", Optional(device.serial)},
          {"port", Optional(device.port)},
          {"path", device.path}};
}

json VersionsJson(const JsonVersions& versions) {
  return {{"controller", Optional(versions.controller)}, {"app", Optional(versions.app)}};
}

// Device strings are in the console's encoding and may not be UTF-8: such
// bytes are replaced rather than making the line unwritable.
std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string FormatJsonCommandResult(const JsonCommandResult& r) {
  json j;
  j["command"] = r.command;
  j["result"] = r.success ? "success" : "failure";
  j["device"] = DeviceJson(r.device);
  j["platform"] = r.chipPlatform >= 0 ? json(r.chipPlatform) : json(nullptr);
  j["versionsBefore"] = VersionsJson(r.before);
  j["versionsAfter"] = VersionsJson(r.after);
  j["bytesSent"] = r.bytesSent;
  j["durationMs"] = r.durationMs;
  j["failedStep"] = r.success || r.failedStep.empty() ? json(nullptr) : json(r.failedStep);
  return Dump(j);
}
