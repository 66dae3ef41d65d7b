// The bus side of the emulated devices (see device_port.h). Each device
// present on the bus gets one listener handle for its current stay: the host
// stack behind a real bus hears every report the device sends, whether or
// not a program has the device open, exactly as a handle opened through
// hid_open_path does here. Writes take the same way as hid_write's, with
// hidraw's framing, so faults and the record are the ones every front end
// shares.
#include "model/device_port.h"

#include <algorithm>
#include <mutex>

#include "model/clock.h"
#include "model/digest.h"
#include "model/handle.h"
#include "model/host_write.h"
#include "model/presence.h"
#include "model/world.h"

namespace emu {

using internal::DeviceState;
using internal::TheWorld;
using internal::World;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// One listener per device index; null while the device is off the bus.
std::vector<hid_device*>& Listeners() {
  static std::vector<hid_device*>* listeners = new std::vector<hid_device*>();
  return *listeners;
}

bool Current(const hid_device* h, size_t index, const DeviceState& d) {
  return h != nullptr && !h->dead && h->device == static_cast<int>(index) &&
         h->incarnation == d.incarnation;
}

void Drop(hid_device*& h) {
  if (h != nullptr)
    internal::CloseHandle(h);
  h = nullptr;
}

hid_device* ListenerFor(size_t index) {
  std::vector<hid_device*>& listeners = Listeners();
  return index < listeners.size() ? listeners[index] : nullptr;
}

}  // namespace

void PortWarmUp() {
  internal::Sha256Hex(internal::Bytes());
  internal::Crc32(internal::Bytes());
}

void PortAdvance() {
  Lock lock(TheWorld().mutex);
  internal::AdvanceAll();
}

std::vector<PortDevice> PortDevices() {
  World& w = TheWorld();
  Lock lock(w.mutex);
  std::vector<hid_device*>& listeners = Listeners();
  // A new scenario replaced the devices: every listener is for one of the old.
  if (listeners.size() != w.devices.size()) {
    for (hid_device*& h : listeners)
      Drop(h);
    listeners.assign(w.devices.size(), nullptr);
  }
  std::vector<PortDevice> out;
  for (size_t i = 0; i < w.devices.size(); ++i) {
    DeviceState& d = w.devices[i];
    if (!Current(listeners[i], i, d))
      Drop(listeners[i]);
    if (d.present && listeners[i] == nullptr) {
      listeners[i] = internal::NewHandle(static_cast<int>(i));
      // Input held back for a listener (unsolicited reports) is due now.
      internal::AdvanceDevice(static_cast<int>(i), internal::NowUs());
    }
    PortDevice p;
    p.name = d.cfg.name;
    p.present = d.present;
    p.incarnation = d.incarnation;
    p.vendorId = d.vendorId;
    p.productId = d.productId;
    p.release = d.cfg.release;
    p.manufacturer = d.cfg.manufacturer.value_or("");
    p.product = d.cfg.product.value_or("");
    p.serial = d.serial.value_or("");
    p.port = d.cfg.port;
    p.collection = d.collection;
    out.push_back(p);
  }
  return out;
}

int PortWrite(size_t device, const uint8_t* data, size_t length) {
  Lock lock(TheWorld().mutex);
  hid_device* h = ListenerFor(device);
  if (h == nullptr)
    return -1;
  // Whatever the device's path says, the host on this side is Linux's.
  return internal::HostWrite(h, data, length, true);
}

std::vector<std::vector<uint8_t>> PortTakeInput(size_t device) {
  Lock lock(TheWorld().mutex);
  std::vector<std::vector<uint8_t>> out;
  hid_device* h = ListenerFor(device);
  if (h == nullptr)
    return out;
  // Reports that became readable before the device left still count: the
  // host got them before it saw the device go.
  out.assign(h->readable.begin(), h->readable.end());
  h->readable.clear();
  return out;
}

bool PortRestarting() {
  World& w = TheWorld();
  Lock lock(w.mutex);
  return std::any_of(w.devices.begin(), w.devices.end(),
                     [](const DeviceState& d) { return d.restarting; });
}

int64_t PortNextEventMicros() {
  World& w = TheWorld();
  Lock lock(w.mutex);
  int64_t now = internal::NowUs();
  int64_t next = internal::kNever;
  for (const DeviceState& d : w.devices)
    next = std::min(next, internal::NextEventUs(d, now));
  return next;
}

int64_t PortNowMicros() {
  return internal::NowUs();
}

}  // namespace emu
