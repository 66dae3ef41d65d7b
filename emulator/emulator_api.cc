// The emulator's own interface: loading scenarios, the record, and the saved
// device state that carries flashed firmware from one run to the next.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "device_model.h"
#include "emulator.h"

namespace emu {

using internal::TheWorld;
using internal::World;
using nlohmann::json;

namespace {

void ClearWorld(World& w) {
  for (hid_device* h : w.handles)
    h->dead = true;  // the program still owns and closes them
  w.devices.clear();
  internal::RemoveSysfsTree();
  w.record = json::object();
  w.recordWrites = false;
  w.recordFrames = true;
  w.loaded = false;
}

bool ReadJsonFile(const std::string& path, json* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error)
      *error = "cannot open " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  *out = json::parse(text.str(), nullptr, false, true);
  if (out->is_discarded()) {
    if (error)
      *error = path + " is not valid JSON";
    return false;
  }
  return true;
}

bool WriteJsonFile(const std::string& path, const json& j) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out)
    return false;
  out << j.dump(2) << "\n";
  return static_cast<bool>(out);
}

}  // namespace

bool LoadScenario(const json& scenario, std::string* error) {
  World& w = TheWorld();
  std::lock_guard<std::recursive_mutex> lock(w.mutex);
  ClearWorld(w);
  w.t0 = internal::NowUs();
  if (!internal::ParseScenario(scenario, &w, error)) {
    ClearWorld(w);
    return false;
  }
  for (internal::DeviceState& d : w.devices)
    internal::InitBus(d);
  internal::PrepareSysfsTree();
  w.loaded = true;
  return true;
}

bool LoadScenarioFile(const std::string& path, std::string* error) {
  json scenario;
  if (!ReadJsonFile(path, &scenario, error))
    return false;
  std::string inner;
  if (LoadScenario(scenario, &inner))
    return true;
  if (error)
    *error = path + ": " + inner;
  return false;
}

std::string SysfsRoot() {
  World& w = TheWorld();
  std::lock_guard<std::recursive_mutex> lock(w.mutex);
  return w.sysfsRoot;
}

void Reset() {
  World& w = TheWorld();
  std::lock_guard<std::recursive_mutex> lock(w.mutex);
  ClearWorld(w);
}

const json& Record() {
  World& w = TheWorld();
  std::lock_guard<std::recursive_mutex> lock(w.mutex);
  internal::AdvanceAll();
  w.record = internal::BuildRecord();
  return w.record;
}

bool WriteRecordFile(const std::string& path) {
  return WriteJsonFile(path, Record());
}

bool SaveState(const std::string& path) {
  World& w = TheWorld();
  std::lock_guard<std::recursive_mutex> lock(w.mutex);
  internal::AdvanceAll();
  internal::SettleRestarts();  // a restarting device comes back whether or not anyone waits
  json devices = json::object();
  for (const internal::DeviceState& d : w.devices) {
    json spent = json::array();
    for (size_t i = 0; i < d.cfg.faults.size(); ++i) {
      if (d.cfg.faults[i].spent)
        spent.push_back(i);
    }
    devices[d.cfg.name] = {{"controllerVersion", internal::VersionText(d.controller)},
                           {"appVersion", internal::VersionText(d.app)},
                           {"forcedUpgradeMode", d.forcedMode},
                           {"upgradeMode", d.upgradeMode},
                           {"bootloader", d.bootloader},
                           {"path", d.path},
                           {"vendorId", d.vendorId},
                           {"productId", d.productId},
                           {"serial", d.serial ? json(*d.serial) : json(nullptr)},
                           {"passthroughImageSha256", d.passthroughImageSha256},
                           {"spentFaults", spent}};
  }
  return WriteJsonFile(path, json{{"devices", devices}});
}

namespace {

bool ApplyState(const json& s, internal::DeviceState& d, std::string* error) {
  std::string fail = "state of \"" + d.cfg.name + "\" is malformed";
  try {
    if (!internal::ParseVersion(s.at("controllerVersion").get<std::string>(), &d.controller) ||
        !internal::ParseVersion(s.at("appVersion").get<std::string>(), &d.app)) {
      if (error)
        *error = fail;
      return false;
    }
    d.forcedMode = s.value("forcedUpgradeMode", false);
    d.upgradeMode = s.value("upgradeMode", false);
    d.bootloader = s.value("bootloader", false);
    d.path = s.value("path", d.path);
    d.vendorId = s.value("vendorId", d.vendorId);
    d.productId = s.value("productId", d.productId);
    if (s.contains("serial"))
      d.serial = s["serial"].is_string()
                     ? std::optional<std::string>(s["serial"].get<std::string>())
                     : std::nullopt;
    d.passthroughImageSha256 = s.value("passthroughImageSha256", std::string());
    for (const json& i : s.value("spentFaults", json::array())) {
      size_t index = i.get<size_t>();
      if (index < d.cfg.faults.size())
        d.cfg.faults[index].spent = true;
    }
  } catch (const json::exception&) {
    if (error)
      *error = fail;
    return false;
  }
  return true;
}

}  // namespace

bool LoadState(const std::string& path, std::string* error) {
  json state;
  if (!ReadJsonFile(path, &state, error))
    return false;
  World& w = TheWorld();
  std::lock_guard<std::recursive_mutex> lock(w.mutex);
  if (!state.is_object() || !state.contains("devices") || !state["devices"].is_object()) {
    if (error)
      *error = path + " holds no device state";
    return false;
  }
  for (internal::DeviceState& d : w.devices) {
    auto it = state["devices"].find(d.cfg.name);
    if (it == state["devices"].end())
      continue;
    if (!ApplyState(*it, d, error))
      return false;
    if (!d.cfg.collection)
      d.collection = internal::PathIsCollection(d.path);
    // A scheduled drop-off that an earlier run already went through stays spent.
    auto& events = d.busEvents;
    events.erase(std::remove_if(events.begin(), events.end(),
                                [&d](const internal::BusEvent& e) {
                                  return e.fault >= 0 && d.cfg.faults[e.fault].spent;
                                }),
                 events.end());
  }
  return true;
}

}  // namespace emu
