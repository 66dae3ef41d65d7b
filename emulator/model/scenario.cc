// Reading a scenario: the devices on the emulated bus and how each behaves.
// Every key has a default, so a device needs little more than its IDs; an
// unknown key is an error, so that a misspelt key cannot silently leave a
// scenario testing something else than its author meant.
#include "model/scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "model/faults.h"
#include "model/scenario_hotplug.h"
#include "model/scenario_values.h"

namespace emu {
namespace internal {
namespace {

using nlohmann::json;

// Function-local: the preloaded library loads its scenario from a static
// constructor, before other translation units' globals are initialised.
const std::set<std::string>& DeviceKeys() {
  static const std::set<std::string> keys = {"name",
                                             "path",
                                             "vendorId",
                                             "productId",
                                             "release",
                                             "interface",
                                             "manufacturer",
                                             "product",
                                             "serial",
                                             "port",
                                             "protocol",
                                             "collection",
                                             "typeCode",
                                             "controllerVersion",
                                             "appVersion",
                                             "handshake",
                                             "forcedState",
                                             "forcedEntryRestarts",
                                             "exitForcedRestarts",
                                             "firmwareKind",
                                             "appHeaderWords",
                                             "blockSize",
                                             "echo",
                                             "timing",
                                             "reboot",
                                             "bootMs",
                                             "appearAtMs",
                                             "vanishAtMs",
                                             "plugs",
                                             "plugAfter",
                                             "pullAfterUpdateMs",
                                             "openError",
                                             "reports",
                                             "passthrough",
                                             "faults"};
  return keys;
}

// hidapi on Windows takes the interface number from the "&mi_" part of the
// path; hidraw reports the USB interface, 0 for a single-interface device.
int DefaultInterface(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  size_t at = lower.find("&mi_");
  if (at != std::string::npos) {
    return static_cast<int>(std::strtol(lower.substr(at + 4, 2).c_str(), nullptr, 16));
  }
  return lower.rfind("/dev/", 0) == 0 ? 0 : -1;
}

bool ParseTiming(const json& j, Timing* t, Ctx& c) {
  if (j.is_null())
    return true;
  if (!CheckKeys(j, {"replyMs", "eraseMs", "blockWriteMs", "verifyMs", "usbFrameUs"}, c)) {
    return false;
  }
  return GetMs(j, "replyMs", &t->replyUs, c) && GetMs(j, "eraseMs", &t->eraseUs, c) &&
         GetMs(j, "blockWriteMs", &t->blockWriteUs, c) && GetMs(j, "verifyMs", &t->verifyUs, c) &&
         GetInt64(j, "usbFrameUs", &t->usbFrameUs, c);
}

bool ParseReboot(const json& j, RebootConfig* r, Ctx& c) {
  if (j.is_null())
    return true;
  if (!CheckKeys(j, {"leaveMs", "awayMs", "path", "vendorId", "productId", "serial"}, c))
    return false;
  // A boot loader may report another serial number or none at all, so
  // null here is a value of its own: no serial after the restart.
  auto serial = j.find("serial");
  if (serial != j.end()) {
    if (!serial->is_null() && !serial->is_string())
      return c.Fail("\"serial\" must be a string or null");
    r->serialChanges = true;
    if (serial->is_string())
      r->serial = serial->get<std::string>();
  }
  return GetMs(j, "leaveMs", &r->leaveUs, c) && GetMs(j, "awayMs", &r->awayUs, c) &&
         GetOptString(j, "path", &r->path, c) && GetOptU16(j, "vendorId", &r->vendorId, c) &&
         GetOptU16(j, "productId", &r->productId, c);
}

// "1-2.3": a bus number, a dash, and the port numbers from the root hub down.
bool ValidPort(const std::string& port) {
  size_t dash = port.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 == port.size())
    return false;
  for (size_t i = 0; i < port.size(); ++i) {
    char ch = port[i];
    if (i == dash)
      continue;
    bool dot = ch == '.' && i > dash + 1 && i + 1 < port.size() && port[i - 1] != '.';
    if (!dot && !std::isdigit(static_cast<unsigned char>(ch)))
      return false;
  }
  return true;
}

bool ParsePassthrough(const json& j, PassthroughConfig* p, Ctx& c) {
  if (j.is_null())
    return true;
  if (!CheckKeys(j, {"blockSize", "echo", "version"}, c))
    return false;
  p->present = true;
  return GetInt(j, "blockSize", &p->blockSize, c) && GetBool(j, "echo", &p->echo, c) &&
         GetVersion(j, "version", &p->version, c) && CheckBlockSize(p->blockSize, p->echo, c);
}

bool ParseHandshake(const json& j, DeviceConfig* d, Ctx& c) {
  if (j.is_null())
    return true;
  if (!CheckKeys(j, {"status"}, c))
    return false;
  return GetOptInt(j, "status", &d->handshakeStatus, c);
}

bool ParseReports(const json& j, DeviceConfig* d, Ctx& c) {
  if (j.is_null())
    return true;
  if (!j.is_array())
    return c.Fail("\"reports\" must be a list");
  for (const json& r : j) {
    if (!CheckKeys(r, {"atMs", "hex"}, c))
      return false;
    UnsolicitedReport report;
    if (!GetMs(r, "atMs", &report.atUs, c) || !GetHex(r, "hex", &report.bytes, c))
      return false;
    if (report.bytes.empty() || report.bytes.size() > kReportSize) {
      return c.Fail("a report needs 1 to 64 bytes");
    }
    d->reports.push_back(report);
  }
  return true;
}

bool ParseIdentity(const json& j, DeviceConfig* d, int index, Ctx& c) {
  d->name = "device" + std::to_string(index);
  d->path = "/dev/hidraw" + std::to_string(index);
  if (!GetString(j, "name", &d->name, c))
    return false;
  c.where = "device \"" + d->name + "\"";
  if (!GetString(j, "path", &d->path, c) || !GetU16(j, "vendorId", &d->vendorId, c) ||
      !GetU16(j, "productId", &d->productId, c) || !GetU16(j, "release", &d->release, c)) {
    return false;
  }
  d->interfaceNumber = DefaultInterface(d->path);
  if (!GetInt(j, "interface", &d->interfaceNumber, c) ||
      !GetOptString(j, "manufacturer", &d->manufacturer, c) ||
      !GetOptString(j, "product", &d->product, c) || !GetOptString(j, "serial", &d->serial, c) ||
      !GetString(j, "port", &d->port, c) || !GetBool(j, "protocol", &d->protocol, c) ||
      !GetOptBool(j, "collection", &d->collection, c)) {
    return false;
  }
  if (!d->port.empty() && !ValidPort(d->port))
    return c.Fail("\"port\" must look like 1-2.3 (bus, dash, ports joined by dots)");
  return true;
}

bool ParseBehaviour(const json& j, DeviceConfig* d, Ctx& c) {
  int typeCode = d->typeCode;
  int64_t vanishAt = -1;
  bool ok = GetInt(j, "typeCode", &typeCode, c) &&
            GetVersion(j, "controllerVersion", &d->controllerVersion, c) &&
            GetVersion(j, "appVersion", &d->appVersion, c) &&
            ParseHandshake(j.value("handshake", json()), d, c) &&
            GetOptInt(j, "forcedState", &d->forcedState, c) &&
            GetBool(j, "forcedEntryRestarts", &d->forcedEntryRestarts, c) &&
            GetBool(j, "exitForcedRestarts", &d->exitForcedRestarts, c) &&
            GetInt(j, "firmwareKind", &d->firmwareKind, c) &&
            GetWordList(j, "appHeaderWords", &d->appHeaderWords, c) &&
            GetInt(j, "blockSize", &d->blockSize, c) && GetBool(j, "echo", &d->echo, c) &&
            CheckBlockSize(d->blockSize, d->echo, c) &&
            ParseTiming(j.value("timing", json()), &d->timing, c) &&
            ParseReboot(j.value("reboot", json()), &d->reboot, c) &&
            GetMs(j, "bootMs", &d->bootUs, c) && GetMs(j, "appearAtMs", &d->appearAtUs, c) &&
            GetMs(j, "vanishAtMs", &vanishAt, c) && GetString(j, "openError", &d->openError, c) &&
            ParseReports(j.value("reports", json()), d, c) &&
            ParsePassthrough(j.value("passthrough", json()), &d->passthrough, c) &&
            ParseFaults(j.value("faults", json()), &d->faults, c);
  if (!ok)
    return false;
  if (typeCode < 0 || typeCode > 0xFF)
    return c.Fail("\"typeCode\" must be one byte");
  d->typeCode = static_cast<uint8_t>(typeCode);
  if (vanishAt >= 0)
    d->vanishAtUs = vanishAt;
  if (!d->openError.empty() && d->openError != "permission" && d->openError != "busy") {
    return c.Fail("\"openError\" must be \"permission\", \"busy\" or null");
  }
  return true;
}

bool ParseDevice(const json& j, int index, DeviceConfig* d, Ctx& c) {
  if (!j.is_object())
    return c.Fail("every device must be an object");
  c.where = "device " + std::to_string(index);
  if (!CheckKeys(j, DeviceKeys(), c))
    return false;
  return ParseIdentity(j, d, index, c) && ParseBehaviour(j, d, c) && ParseHotplug(j, d, c);
}

void InitState(const DeviceConfig& cfg, DeviceState* d) {
  d->cfg = cfg;
  d->path = cfg.path;
  d->vendorId = cfg.vendorId;
  d->productId = cfg.productId;
  d->serial = cfg.serial;
  d->collection = cfg.collection.value_or(PathIsCollection(cfg.path));
  d->controller = cfg.controllerVersion;
  d->app = cfg.appVersion;
}

}  // namespace

bool PathIsCollection(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  size_t at = lower.find("hid");
  return at != std::string::npos && path.find("col", at) != std::string::npos;
}

// The scenario's own keys, before its devices.
bool ParseWorldKeys(const json& scenario, World* world, Ctx& c) {
  if (!CheckKeys(scenario,
                 {"recordWrites", "recordFrames", "lowestFreeNodes", "sysfsRoot", "hidInitError",
                  "devices"},
                 c))
    return false;
  world->sysfsRoot.clear();
  std::string hidInitError;
  if (!GetBool(scenario, "recordWrites", &world->recordWrites, c) ||
      !GetBool(scenario, "recordFrames", &world->recordFrames, c) ||
      !GetBool(scenario, "lowestFreeNodes", &world->lowestFreeNodes, c) ||
      !GetString(scenario, "sysfsRoot", &world->sysfsRoot, c) ||
      !GetString(scenario, "hidInitError", &hidInitError, c)) {
    return false;
  }
  world->hidInitError.assign(hidInitError.begin(), hidInitError.end());
  return true;
}

bool ParseScenario(const json& scenario, World* world, std::string* error) {
  Ctx c{"scenario", error};
  if (!scenario.is_object())
    return c.Fail("the scenario must be a JSON object");
  if (!ParseWorldKeys(scenario, world, c))
    return false;
  json devices = scenario.value("devices", json::array());
  if (!devices.is_array())
    return c.Fail("\"devices\" must be a list");
  std::set<std::string> names;
  std::vector<DeviceConfig> configs;
  for (size_t i = 0; i < devices.size(); ++i) {
    DeviceConfig cfg;
    if (!ParseDevice(devices[i], static_cast<int>(i), &cfg, c))
      return false;
    if (!names.insert(cfg.name).second)
      return c.Fail("two devices are named \"" + cfg.name + "\"");
    configs.push_back(cfg);
  }
  if (!CheckHotplug(configs, c))
    return false;
  for (const DeviceConfig& cfg : configs) {
    DeviceState state;
    InitState(cfg, &state);
    world->devices.push_back(std::move(state));
  }
  return true;
}

}  // namespace internal
}  // namespace emu
