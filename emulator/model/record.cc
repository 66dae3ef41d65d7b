#include "model/record.h"

#include <cstdio>
#include <optional>

#include "model/clock.h"
#include "model/digest.h"
#include "model/hex.h"
#include "model/transfer.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

using nlohmann::json;

json OptionalMs(const std::optional<int64_t>& us) {
  return us ? json(ScenarioMs(*us)) : json(nullptr);
}

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

json TransferJson(const DeviceState& d, const Transfer& t) {
  json j;
  j["atMs"] = ScenarioMs(t.atUs);
  j["target"] = t.passthrough ? "passthrough" : "device";
  j["headerWord"] = t.headerWord;
  j["version"] = VersionText(t.version);
  j["declaredLength"] = t.declaredLength;
  j["declaredCrc32"] = Hex32(t.declaredCrc);
  j["receivedLength"] = t.received.size();
  j["receivedCrc32"] = Hex32(Crc32(t.received));
  j["receivedSha256"] = Sha256Hex(t.received);
  j["blockSize"] = t.blockSize;
  j["echo"] = t.echo;
  j["started"] = t.started;
  j["acks"] = t.acks;
  j["verified"] = t.verified ? json(*t.verified) : json(nullptr);
  j["part"] = TransferPart(d, t);
  return j;
}

json RestartJson(const RestartRecord& r) {
  json j;
  j["atMs"] = ScenarioMs(r.atUs);
  j["cause"] = r.cause;
  j["mode"] = r.mode ? json(*r.mode) : json(nullptr);
  j["appliedImage"] = r.appliedImage;
  j["unverifiedImageDiscarded"] = r.unverifiedImageDiscarded;
  j["leftAtMs"] = OptionalMs(r.leftAtUs);
  j["cameBackAtMs"] = OptionalMs(r.cameBackAtUs);
  return j;
}

json FinalJson(const DeviceState& d) {
  json j;
  j["controllerVersion"] = VersionText(d.controller);
  j["appVersion"] = VersionText(d.app);
  j["forcedUpgradeMode"] = d.forcedMode;
  j["upgradeMode"] = d.upgradeMode;
  j["passthrough"] = d.passthroughOn;
  j["bootloader"] = d.bootloader;
  j["onBus"] = d.present;
  j["path"] = d.path;
  j["vendorId"] = d.vendorId;
  j["productId"] = d.productId;
  j["serial"] = d.serial ? json(*d.serial) : json(nullptr);
  j["port"] = d.cfg.port.empty() ? json(nullptr) : json(d.cfg.port);
  j["passthroughVersion"] =
      d.cfg.passthrough.present ? json(VersionText(d.cfg.passthrough.version)) : json(nullptr);
  j["passthroughImageSha256"] =
      d.passthroughImageSha256.empty() ? json(nullptr) : json(d.passthroughImageSha256);
  return j;
}

json RequestsJson(const DeviceState& d) {
  json requests = json::array();
  for (const RequestRecord& r : d.requests) {
    json item = {{"atMs", ScenarioMs(r.atUs)}, {"hex", HexText(r.bytes.data(), r.bytes.size())}};
    if (r.ignored)
      item["ignored"] = true;
    requests.push_back(item);
  }
  return requests;
}

json WritesJson(const DeviceState& d) {
  json writes = json::array();
  for (const WriteRecord& w : d.writeLog) {
    writes.push_back({{"atMs", ScenarioMs(w.atUs)},
                      {"length", w.length},
                      {"result", w.result},
                      {"hex", HexText(w.bytes.data(), w.bytes.size())}});
  }
  return writes;
}

json DeviceJson(const DeviceState& d) {
  json j;
  j["requests"] = RequestsJson(d);
  j["dataFrames"] = d.dataFrames;
  if (TheWorld().recordWrites)
    j["writes"] = WritesJson(d);
  j["transfers"] = json::array();
  for (const Transfer& t : d.transfers)
    j["transfers"].push_back(TransferJson(d, t));
  j["restarts"] = json::array();
  for (const RestartRecord& r : d.restarts)
    j["restarts"].push_back(RestartJson(r));
  j["presence"] = json::array();
  for (const PresenceRecord& p : d.presence) {
    j["presence"].push_back({{"atMs", ScenarioMs(p.atUs)}, {"event", p.event}});
  }
  j["opens"] = json::array();
  for (const OpenRecord& o : d.opens) {
    j["opens"].push_back({{"atMs", ScenarioMs(o.atUs)},
                          {"closedAtMs", OptionalMs(o.closedAtUs)},
                          {"pid", o.pid},
                          {"path", o.path}});
  }
  j["protocolErrors"] = d.protocolErrors;
  j["final"] = FinalJson(d);
  return j;
}

}  // namespace

json BuildRecord() {
  json devices = json::object();
  for (const DeviceState& d : TheWorld().devices)
    devices[d.cfg.name] = DeviceJson(d);
  return json{{"devices", devices}, {"scenarioErrors", TheWorld().scenarioErrors}};
}

std::string VersionText(const Version& v) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X%02X-%02X%02X%02X%02X", v[0], v[1], v[3], v[2],
                v[7], v[6], v[5], v[4]);
  return text;
}

}  // namespace internal
}  // namespace emu
