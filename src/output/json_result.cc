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

json OptionalText(const std::string& text) {
  return text.empty() ? json(nullptr) : json(text);
}

json DeviceOrNull(const std::optional<JsonDevice>& device) {
  return device ? DeviceJson(*device) : json(nullptr);
}

json PassthroughJson(const std::optional<JsonPassthrough>& passthrough) {
  if (!passthrough)
    return nullptr;
  return {{"program", passthrough->program},
          {"bytesSent", passthrough->bytesSent},
          {"result", passthrough->success ? "success" : "failure"}};
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

const char* JsonResultName(JsonResultKind kind) {
  switch (kind) {
    case JsonResultKind::kSuccess:
      return "success";
    case JsonResultKind::kFailure:
      return "failure";
    case JsonResultKind::kInterrupted:
      return "interrupted";
    case JsonResultKind::kRefused:
      return "refused";
  }
  return "failure";
}

// The members up to "failedStep" are those of the first format, in its
// order, so that scripts written for it keep working; the later ones were
// added after it.
std::string FormatJsonCommandResult(const JsonCommandResult& r) {
  const bool success = r.kind == JsonResultKind::kSuccess;
  json j;
  j["command"] = OptionalText(r.command);
  j["result"] = JsonResultName(r.kind);
  j["device"] = DeviceOrNull(r.device);
  j["platform"] = r.chipPlatform >= 0 ? json(r.chipPlatform) : json(nullptr);
  j["versionsBefore"] = VersionsJson(r.before);
  j["versionsAfter"] = VersionsJson(r.after);
  j["bytesSent"] = r.bytesSent;
  j["durationMs"] = r.durationMs;
  j["failedStep"] = success ? json(nullptr) : OptionalText(r.failedStep);
  j["reason"] = OptionalText(r.reason);
  j["deviceState"] = OptionalText(r.deviceState);
  j["recovery"] = OptionalText(r.recovery);
  j["passthrough"] = PassthroughJson(r.passthrough);
  return Dump(j);
}
