#include "support/device_record.h"

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace e2e {
namespace {

std::string TraceName(const nlohmann::json& request) {
  static const std::vector<std::pair<std::string, std::string>> kNames = {
      {"0A55", "H"},    {"0A56", "N"},   {"0A0000", "Q0"}, {"0A0001", "Q1"}, {"0A0600", "F+"},
      {"0A0601", "F-"}, {"0A2000", "E"}, {"0A01", "I"},    {"0A02", "S"},    {"0A10", "D"},
      {"0A03", "V"},    {"0A0400", "R"}, {"0A0402", "B"},  {"0A0700", "P+"}, {"0A0701", "P-"}};
  std::string hex = request.value("hex", "");
  std::string name = "X";
  for (const auto& known : kNames) {
    if (hex.rfind(known.first, 0) == 0) {
      name = known.second;
      break;
    }
  }
  return request.value("ignored", false) ? name + "?" : name;
}

}  // namespace

RecordFile ReadRecordFile(const std::string& path) {
  RecordFile file;
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return file;
  std::stringstream text;
  text << in.rdbuf();
  nlohmann::json parsed = nlohmann::json::parse(text.str(), nullptr, false);
  if (parsed.is_discarded()) {
    file.state = RecordState::kNotJson;
    return file;
  }
  file.state = RecordState::kRead;
  file.record = std::move(parsed);
  return file;
}

const nlohmann::json& DeviceRecord(const nlohmann::json& record, const std::string& name) {
  static const nlohmann::json kNone = nlohmann::json::object();
  if (!record.is_object() || !record.contains("devices") || !record["devices"].contains(name))
    return kNone;
  return record["devices"][name];
}

std::set<int> OpeningPids(const nlohmann::json& device) {
  std::set<int> pids;
  if (!device.is_object() || !device.contains("opens"))
    return pids;
  for (const nlohmann::json& open : device["opens"])
    pids.insert(open["pid"].get<int>());
  return pids;
}

std::string CommandTrace(const nlohmann::json& device) {
  if (!device.is_object() || !device.contains("requests"))
    return "<no record>";
  std::string trace;
  std::string last;
  for (const nlohmann::json& request : device["requests"]) {
    std::string name = TraceName(request);
    if (name == "D" && last == "D")
      continue;
    trace += (trace.empty() ? "" : " ") + name;
    last = name;
  }
  return trace;
}

}  // namespace e2e
