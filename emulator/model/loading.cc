// The emulator's own interface: loading scenarios and taking the record.
#include <mutex>
#include <string>

#include "emulator.h"
#include "model/clock.h"
#include "model/host_view.h"
#include "model/json_file.h"
#include "model/presence.h"
#include "model/record.h"
#include "model/scenario.h"
#include "model/world.h"

namespace emu {

using internal::ClearWorld;
using internal::ReadJsonFile;
using internal::TheWorld;
using internal::World;
using internal::WriteJsonFile;
using nlohmann::json;

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
    internal::InitPresence(d);
  internal::PrepareHostView();
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

}  // namespace emu
