#include "output/json_result.h"

#include <nlohmann/json.hpp>

#include "output/json_fields.h"

namespace {

using json = nlohmann::ordered_json;

json DeviceJson(const JsonDevice& device) {
  return {{"vid", HexId(device.vendorId)},
          {"pid", HexId(device.productId)},
          {"serial", OptionalText(device.serial)},
          {"port", OptionalText(device.port)},
          {"path", device.path}};
}

// The text, or null when it is empty.
json TextOrNull(const std::string& text) {
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
  return {{"controller", OptionalText(versions.controller)}, {"app", OptionalText(versions.app)}};
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
    case JsonResultKind::kCurrent:
      return "current";
  }
  return "failure";
}

// The members up to "failedStep" are those of the first format, in its
// order, so that scripts written for it keep working; the later ones were
// added after it.
std::string FormatJsonCommandResult(const JsonCommandResult& r) {
  const bool success = r.kind == JsonResultKind::kSuccess || r.kind == JsonResultKind::kCurrent;
  json j;
  j["command"] = TextOrNull(r.command);
  j["result"] = JsonResultName(r.kind);
  j["device"] = DeviceOrNull(r.device);
  j["platform"] = r.chipPlatform >= 0 ? json(r.chipPlatform) : json(nullptr);
  j["versionsBefore"] = VersionsJson(r.before);
  j["versionsAfter"] = VersionsJson(r.after);
  j["bytesSent"] = r.bytesSent;
  j["durationMs"] = r.durationMs;
  j["failedStep"] = success ? json(nullptr) : TextOrNull(r.failedStep);
  j["reason"] = TextOrNull(r.reason);
  j["deviceState"] = TextOrNull(r.deviceState);
  j["recovery"] = TextOrNull(r.recovery);
  j["passthrough"] = PassthroughJson(r.passthrough);
  return Dump(j);
}
