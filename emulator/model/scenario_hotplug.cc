// A scenario's hotplug keys. Conflicting presence keys are errors rather than
// a rule of which one wins: a scenario that says two things about when a
// device is in its port would test something its author did not mean.
#include "model/scenario_hotplug.h"

#include <limits>
#include <map>
#include <string>

namespace emu {
namespace internal {
namespace {

using nlohmann::json;

constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

bool ParseWindow(const json& w, int64_t notBeforeUs, PlugWindow* out, Ctx& c) {
  if (!CheckKeys(w, {"atMs", "pullAtMs"}, c))
    return false;
  if (!w.contains("atMs"))
    return c.Fail("every entry of \"plugs\" needs \"atMs\"");
  int64_t pull = -1;
  if (!GetMs(w, "atMs", &out->atUs, c) || !GetMs(w, "pullAtMs", &pull, c))
    return false;
  if (out->atUs < notBeforeUs)
    return c.Fail("\"plugs\" must follow each other: each plug after the pull before it");
  if (w.contains("pullAtMs")) {
    if (pull <= out->atUs)
      return c.Fail("\"pullAtMs\" must come after its \"atMs\"");
    out->pullAtUs = pull;
  }
  return true;
}

bool ParsePlugs(const json& j, DeviceConfig* d, Ctx& c) {
  if (!j.is_array() || j.empty())
    return c.Fail("\"plugs\" must be a list of one or more {\"atMs\", \"pullAtMs\"}");
  int64_t notBefore = 0;
  for (size_t i = 0; i < j.size(); ++i) {
    PlugWindow window;
    if (!ParseWindow(j[i], notBefore, &window, c))
      return false;
    if (!window.pullAtUs && i + 1 < j.size())
      return c.Fail("only the last entry of \"plugs\" may leave out \"pullAtMs\"");
    notBefore = window.pullAtUs.value_or(kForever);
    d->plugs.push_back(window);
  }
  return true;
}

bool ParsePlugAfter(const json& j, DeviceConfig* d, Ctx& c) {
  if (!CheckKeys(j, {"device", "leftMs"}, c))
    return false;
  PlugAfter after;
  if (!GetString(j, "device", &after.device, c) || !GetMs(j, "leftMs", &after.leftUs, c))
    return false;
  if (after.device.empty())
    return c.Fail("\"plugAfter\" needs the \"device\" it follows");
  d->plugAfter = after;
  return true;
}

// The presence keys that cannot go together: each pair says twice when the
// device is plugged in or pulled out.
bool CheckCombination(const json& j, Ctx& c) {
  static const char* const kPairs[][2] = {
      {"plugs", "appearAtMs"},        {"plugs", "vanishAtMs"},     {"plugs", "plugAfter"},
      {"plugs", "pullAfterUpdateMs"}, {"plugAfter", "appearAtMs"},
  };
  for (const auto& pair : kPairs) {
    if (j.contains(pair[0]) && j.contains(pair[1]))
      return c.Fail(Quoted(pair[0]) + " and " + Quoted(pair[1]) + " cannot go together");
  }
  return true;
}

}  // namespace

bool ParseHotplug(const json& j, DeviceConfig* d, Ctx& c) {
  if (!CheckCombination(j, c))
    return false;
  if (j.contains("plugs") && !ParsePlugs(j["plugs"], d, c))
    return false;
  if (j.contains("plugAfter") && !ParsePlugAfter(j["plugAfter"], d, c))
    return false;
  int64_t pullAfter = -1;
  if (!GetMs(j, "pullAfterUpdateMs", &pullAfter, c))
    return false;
  if (pullAfter >= 0)
    d->pullAfterUpdateUs = pullAfter;
  return true;
}

namespace {

struct Stay {
  int64_t fromUs = 0;
  int64_t untilUs = kForever;
};

// The device's stays in its port when its scenario fixes them; false when
// they depend on what happens in the run (a plug after another device, a
// pull after an update or a departure on a fault).
bool FixedStays(const DeviceConfig& d, std::vector<Stay>* stays) {
  if (d.plugAfter || d.pullAfterUpdateUs)
    return false;
  for (const Fault& f : d.faults) {
    bool departs = f.action == FaultAction::kVanish || f.action == FaultAction::kVanishAtMs;
    if (departs && !f.awayUs)
      return false;
  }
  for (const PlugWindow& w : d.plugs)
    stays->push_back({w.atUs, w.pullAtUs.value_or(kForever)});
  if (d.plugs.empty())
    stays->push_back({d.appearAtUs, d.vanishAtUs.value_or(kForever)});
  return true;
}

// Two devices of one port whose fixed stays overlap.
bool CheckPortsOnce(const std::vector<DeviceConfig>& devices, Ctx& c) {
  std::vector<std::vector<Stay>> stays(devices.size());
  std::vector<bool> fixed(devices.size());
  for (size_t i = 0; i < devices.size(); ++i)
    fixed[i] = FixedStays(devices[i], &stays[i]);
  for (size_t i = 0; i < devices.size(); ++i) {
    for (size_t k = i + 1; k < devices.size(); ++k) {
      if (!fixed[i] || !fixed[k] || devices[i].port.empty() || devices[i].port != devices[k].port)
        continue;
      for (const Stay& a : stays[i]) {
        for (const Stay& b : stays[k]) {
          if (a.fromUs < b.untilUs && b.fromUs < a.untilUs) {
            return c.Fail("devices " + Quoted(devices[i].name) + " and " + Quoted(devices[k].name) +
                          " are plugged into port " + devices[i].port + " at once");
          }
        }
      }
    }
  }
  return true;
}

}  // namespace

bool CheckHotplug(const std::vector<DeviceConfig>& devices, Ctx& c) {
  std::map<std::string, size_t> index;
  for (size_t i = 0; i < devices.size(); ++i)
    index[devices[i].name] = i;
  for (const DeviceConfig& d : devices) {
    c.where = "device " + Quoted(d.name);
    // Follow the chain of plugAfter: it must end at a device plugged in by
    // itself, else none of them is ever plugged in.
    const DeviceConfig* at = &d;
    for (size_t steps = 0; at->plugAfter; ++steps) {
      auto next = index.find(at->plugAfter->device);
      if (next == index.end())
        return c.Fail("\"plugAfter\" names no device of the scenario: " +
                      Quoted(at->plugAfter->device));
      at = &devices[next->second];
      if (at == &d || steps > devices.size())
        return c.Fail("\"plugAfter\" goes round in a circle: it would never be plugged");
    }
  }
  c.where = "scenario";
  return CheckPortsOnce(devices, c);
}

}  // namespace internal
}  // namespace emu
