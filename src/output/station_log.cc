#include "output/station_log.h"

#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

json RecordOf(const std::string& resultLine) {
  json record = json::parse(resultLine, nullptr, false);
  // An event line, or any object without a result, is no result record.
  if (record.is_object() && record.contains("result"))
    return record;
  json kept;
  kept["result"] = "failure";
  kept["childOutput"] = resultLine;
  return kept;
}

}  // namespace

std::string FormatStationLogLine(const std::string& resultLine, const StationLogExtras& extras) {
  json line = RecordOf(resultLine);
  line["port"] = extras.port;
  line["serial"] = extras.serial.empty() ? json(nullptr) : json(extras.serial);
  line["imageSha256"] = extras.imageSha256;
  line["imageVersion"] = extras.imageVersion;
  line["toolVersion"] = extras.toolVersion;
  line["startTime"] = extras.startTime;
  line["endTime"] = extras.endTime;
  return line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}
