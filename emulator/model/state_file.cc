// The saved device state: versions, modes and identity, which carry flashed
// firmware from one run to the next.
#include <algorithm>
#include <mutex>
#include <string>

#include "emulator.h"
#include "model/json_file.h"
#include "model/presence.h"
#include "model/record.h"
#include "model/scenario.h"
#include "model/scenario_values.h"
#include "model/world.h"

namespace emu {

using internal::ReadJsonFile;
using internal::TheWorld;
using internal::World;
using internal::WriteJsonFile;
using nlohmann::json;

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
    auto& events = d.presenceEvents;
    events.erase(std::remove_if(events.begin(), events.end(),
                                [&d](const internal::PresenceEvent& e) {
                                  return e.fault >= 0 && d.cfg.faults[e.fault].spent;
                                }),
                 events.end());
  }
  return true;
}

}  // namespace emu
