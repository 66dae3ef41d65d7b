// Reads what the emulated device saw in one run: when the start (0A 02) and
// verify (0A 03) requests went out on the bus, how many data frames and block
// acknowledgements passed, and whether the image was verified and applied.
#include <cmath>
#include <nlohmann/json.hpp>

#include "bench.h"
#include "support/device_record.h"

namespace bench {
namespace {

using nlohmann::json;

int64_t ToUs(double ms) {
  return std::llround(ms * 1000.0);
}

RecordFigures Fail(const std::string& error) {
  RecordFigures figures;
  figures.error = error;
  return figures;
}

// The first request with exactly these bytes, in scenario time.
bool FindRequest(const json& requests, const std::string& hex, int64_t* atUs) {
  for (const json& r : requests) {
    if (r.value("hex", "") == hex && !r.value("ignored", false)) {
      *atUs = ToUs(r.at("atMs").get<double>());
      return true;
    }
  }
  return false;
}

RecordFigures FromDevice(const json& device) {
  RecordFigures f;
  const json& requests = device.at("requests");
  if (!FindRequest(requests, "0A02", &f.startRequestUs))
    return Fail("no start request");
  if (!FindRequest(requests, "0A03", &f.verifyRequestUs))
    return Fail("no verify request");
  const json& transfers = device.at("transfers");
  if (transfers.size() != 1)
    return Fail("expected one transfer, got " + std::to_string(transfers.size()));
  const json& t = transfers.at(0);
  f.dataFrames = device.at("dataFrames").get<int64_t>();
  f.acks = t.at("acks").get<int64_t>();
  f.declaredLength = t.at("declaredLength").get<int64_t>();
  f.verified = t.at("verified").is_boolean() && t.at("verified").get<bool>();
  const json& restarts = device.at("restarts");
  f.cameBack = restarts.size() == 1 && restarts.at(0).at("appliedImage").get<bool>() &&
               device.at("final").at("controllerVersion").get<std::string>() == kImageVersion;
  if (!device.at("protocolErrors").empty())
    return Fail("protocol errors: " + device.at("protocolErrors").dump());
  f.ok = true;
  return f;
}

}  // namespace

RecordFigures ReadRecord(const std::string& path) {
  e2e::RecordFile file = e2e::ReadRecordFile(path);
  if (file.state == e2e::RecordState::kMissing)
    return Fail("no record at " + path);
  if (file.state == e2e::RecordState::kNotJson)
    return Fail("record is not JSON");
  try {
    return FromDevice(file.record.at("devices").at(kDeviceName));
  } catch (const json::exception& e) {
    return Fail(std::string("record: ") + e.what());
  }
}

}  // namespace bench
