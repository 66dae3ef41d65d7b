// The part of sysfs that tells where a hidraw node sits on USB. On Linux,
// /sys/class/hidraw/hidrawN links to the node's directory under
// /sys/devices, whose path runs through the USB devices from the root hub
// down ("usb1/1-2/1-2.3/1-2.3:1.0/0003:248A:8266.0004/hidraw/hidrawN"), and
// hidrawN/device links back to the HID device above it. The emulator keeps
// such a tree for its devices in a directory of its own (the scenario's
// "sysfsRoot", or a scratch directory when a device has a "port"); the
// preloaded front ends show it to the program in place of /sys (see
// preload/sysfs_view.h). A device that comes back under another node after a
// restart gets that node's entry then, as the kernel does when it binds the
// new interface. This is Linux's host view (host_view.h).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "model/host_view.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

namespace fs = std::filesystem;

// "/dev/hidraw12" -> "hidraw12"; "" for any other path.
std::string HidrawNode(const std::string& path) {
  const std::string prefix = "/dev/hidraw";
  if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
    return "";
  for (size_t i = prefix.size(); i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9')
      return "";
  }
  return path.substr(5);
}

// The directory of the HID device, relative to the tree's root.
std::string HidDeviceDir(const DeviceState& d, int instance) {
  char hid[32];
  std::snprintf(hid, sizeof hid, "0003:%04X:%04X.%04X", d.vendorId, d.productId, instance & 0xFFFF);
  if (d.cfg.port.empty())
    return std::string("devices/virtual/misc/uhid/") + hid;  // not on USB
  const std::string& port = d.cfg.port;
  size_t dash = port.find('-');
  std::string dir = "devices/pci0000:00/0000:00:14.0/usb" + port.substr(0, dash);
  // One directory per hub on the way: 1-2, then 1-2.3, ...
  for (size_t at = dash + 1; at <= port.size(); ++at) {
    if (at == port.size() || port[at] == '.')
      dir += "/" + port.substr(0, at);
  }
  int interface = d.cfg.interfaceNumber < 0 ? 0 : d.cfg.interfaceNumber;
  return dir + "/" + port + ":1." + std::to_string(interface) + "/" + hid;
}

void ReplaceLink(const fs::path& link, const fs::path& target) {
  std::error_code ignored;
  fs::path temporary = link.string() + ".new";
  fs::remove(temporary, ignored);
  fs::create_symlink(target, temporary, ignored);
  fs::rename(temporary, link, ignored);
}

}  // namespace

void PrepareHostView() {
  World& w = TheWorld();
  bool anyPort = false;
  for (const DeviceState& d : w.devices)
    anyPort = anyPort || !d.cfg.port.empty();
  if (w.sysfsRoot.empty()) {
    if (!anyPort)
      return;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvel-sysfs-XXXXXX";
    if (!mkdtemp(pattern.data()))
      return;
    w.sysfsRoot = pattern;
    w.sysfsOwned = true;
  }
  // A tree named by the scenario without ports is a hand-made one: used as it is.
  if (!anyPort)
    return;
  for (const DeviceState& d : w.devices) {
    if (d.present)
      PublishHostNode(d);
  }
}

void PublishHostNode(const DeviceState& d) {
  World& w = TheWorld();
  std::string node = HidrawNode(d.path);
  if (w.sysfsRoot.empty() || node.empty() || (d.cfg.port.empty() && !w.sysfsOwned))
    return;
  static int instances = 0;
  std::string hid = HidDeviceDir(d, ++instances);
  fs::path root = w.sysfsRoot;
  std::error_code ignored;
  fs::create_directories(root / hid / "hidraw" / node, ignored);
  fs::create_directories(root / "class/hidraw", ignored);
  fs::path nodeDir = root / hid / "hidraw" / node;
  ReplaceLink(nodeDir / "device", fs::path("../../..") / fs::path(hid).filename());
  ReplaceLink(root / "class/hidraw" / node, fs::path("../..") / hid / "hidraw" / node);
}

void WithdrawHostNode(const DeviceState& d) {
  World& w = TheWorld();
  std::string node = HidrawNode(d.path);
  if (w.sysfsRoot.empty() || node.empty() || (d.cfg.port.empty() && !w.sysfsOwned))
    return;
  for (const DeviceState& other : w.devices) {
    if (&other != &d && other.present && other.path == d.path)
      return;  // the node is another's now
  }
  std::error_code ignored;
  fs::remove(fs::path(w.sysfsRoot) / "class/hidraw" / node, ignored);
}

void RemoveHostView() {
  World& w = TheWorld();
  if (w.sysfsOwned && !w.sysfsRoot.empty()) {
    std::error_code ignored;
    fs::remove_all(w.sysfsRoot, ignored);
  }
  w.sysfsRoot.clear();
  w.sysfsOwned = false;
}

}  // namespace internal
}  // namespace emu
