// --json of "list" and "cv" on the command line: one JSON object on one
// line, for scripts that pick a device before they update it.
#ifndef QUORVEL_OUTPUT_JSON_LISTING_H_
#define QUORVEL_OUTPUT_JSON_LISTING_H_

#include <cstdint>
#include <list>
#include <optional>
#include <string>

#include "transport/device_list.h"

// {"command":"list","interfaces":[{"vid":"248a","pid":"8266","interface":0,
// "serial":...,"port":...,"path":...,"name":...,"usagePage":...},...]};
// what an interface does not tell is null. The line without its line end.
std::string FormatJsonListing(const std::list<DeviceEntry>& entries);

struct JsonDeviceVersions {
  bool found = false;                     // a selected device answered
  DeviceEntry device;                     // the device read, when found
  std::optional<std::string> name;        // the device name; none: not read
  std::optional<std::string> controller;  // MM-mm-RRRR-BBBBBBBB; none: not read
  std::optional<std::string> app;
};

// {"command":"cv","result":"read"|"failed"|"notFound","device":{...} or null,
// "name":...,"versions":{"controller":...,"app":...}}. The line without its
// line end.
std::string FormatJsonDeviceVersions(const JsonDeviceVersions& versions);

#endif  // QUORVEL_OUTPUT_JSON_LISTING_H_
