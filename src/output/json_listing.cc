#include "output/json_listing.h"

#include <nlohmann/json.hpp>

#include "output/json_fields.h"

namespace {

using json = nlohmann::ordered_json;

json Known(bool present, const std::string& text) {
  return present ? json(text) : json(nullptr);
}

json InterfaceJson(const DeviceEntry& entry) {
  return {{"vid", HexId(entry.vendorId)},
          {"pid", HexId(entry.productId)},
          {"interface", entry.interfaceNumber},
          {"serial", Known(entry.hasSerial, entry.serial)},
          {"port", Known(!entry.port.empty(), entry.port)},
          {"path", Known(entry.hasPath, entry.path)},
          {"name", Known(entry.hasDisplayName, entry.displayName)},
          {"usagePage", entry.usagePage != 0 ? json(entry.usagePage) : json(nullptr)}};
}

// Device strings are in the console's encoding and may not be UTF-8: such
// bytes are replaced rather than making the line unwritable.
std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* VersionsResult(const JsonDeviceVersions& versions) {
  if (!versions.found)
    return "notFound";
  return versions.controller && versions.app ? "read" : "failed";
}

}  // namespace

std::string FormatJsonListing(const std::list<DeviceEntry>& entries) {
  json interfaces = json::array();
  for (const DeviceEntry& entry : entries)
    interfaces.push_back(InterfaceJson(entry));
  json j;
  j["command"] = "list";
  j["interfaces"] = interfaces;
  return Dump(j);
}

std::string FormatJsonDeviceVersions(const JsonDeviceVersions& versions) {
  json j;
  j["command"] = "cv";
  j["result"] = VersionsResult(versions);
  j["device"] = versions.found ? InterfaceJson(versions.device) : json(nullptr);
  j["name"] = OptionalText(versions.name);
  j["versions"] = {{"controller", OptionalText(versions.controller)},
                   {"app", OptionalText(versions.app)}};
  return Dump(j);
}
