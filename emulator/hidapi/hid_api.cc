// hidapi, as the program sees it, in front of the emulated devices: the same
// C functions with the same results, framing rules and time-outs that the
// hidraw backend gives with real hardware.
#include <hidapi/hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "hidapi/process_hooks.h"
#include "model/caller.h"
#include "model/changes.h"
#include "model/clock.h"
#include "model/device_info.h"
#include "model/handle.h"
#include "model/host_write.h"
#include "model/presence.h"
#include "model/world.h"

using emu::internal::AdvanceAll;
using emu::internal::Alive;
using emu::internal::DeviceState;
using emu::internal::Gone;
using emu::internal::kNever;
using emu::internal::Known;
using emu::internal::kReportSize;
using emu::internal::NowUs;
using emu::internal::TheWorld;
using emu::internal::World;

namespace {

// hid_read without a time-out returns after this long when no report is due.
constexpr int64_t kBlockingReadLimitUs = 1000000;

using Lock = std::lock_guard<std::recursive_mutex>;

int TakeReport(hid_device* h, unsigned char* data, size_t length) {
  size_t n = std::min(length, kReportSize);  // the rest of the report is lost, as in hidapi
  std::memcpy(data, h->readable.front().data(), n);
  h->readable.pop_front();
  return static_cast<int>(n);
}

// hid_open_path's refusal of a device the scenario makes unopenable, with
// its errno in *code; null when it opens.
const wchar_t* OpenRefusal(const DeviceState& d, int* code) {
  *code = d.cfg.openError == "permission" ? EACCES : EBUSY;
  if (d.cfg.openError == "permission")
    return L"Failed to open a device with path: Permission denied";
  if (d.cfg.openError == "busy")
    return L"Failed to open a device with path: Device or resource busy";
  return nullptr;
}

// hidapi starts itself at every listing and open; when it cannot, the
// call fails with its reason. Called with the world's lock held.
bool HidStartRefused() {
  World& w = TheWorld();
  if (w.hidInitError.empty())
    return false;
  w.globalError = w.hidInitError;
  return true;
}

hid_device* OpenDevice(size_t index) {
  World& w = TheWorld();
  DeviceState& d = w.devices[index];
  int code = 0;
  if (const wchar_t* refusal = OpenRefusal(d, &code)) {
    w.globalError = refusal;
    errno = code;
    return nullptr;
  }
  hid_device* h = emu::internal::NewHandle(static_cast<int>(index));
  w.globalError.clear();
  h->openRecord = static_cast<int>(d.opens.size());
  d.opens.push_back({NowUs(), std::nullopt, emu::internal::CallerPid(), d.path});
  // Input held for a listener arrives now.
  emu::internal::AdvanceDevice(static_cast<int>(index), NowUs());
  return h;
}

// One wait of a read for the device's next event or the deadline: false when
// the read is over without a report (the time-out, or a clock that does not
// move). Called with the lock held through `lock`, which it lets go of
// meanwhile: on a shared bus other processes' calls go on, and one of them
// may make this device answer sooner.
bool WaitForReport(std::unique_lock<std::recursive_mutex>& lock, const DeviceState& d,
                   int milliseconds, int64_t* deadline) {
  int64_t now = NowUs();
  int64_t next = emu::internal::NextEventUs(d, now);
  if (milliseconds < 0 && next == kNever)
    *deadline = std::min(*deadline, now + kBlockingReadLimitUs);
  if (now >= *deadline)
    return false;
  int64_t wake = std::min(next, *deadline);
  uint64_t seen = emu::internal::ChangeGeneration();
  lock.unlock();
  emu::internal::WaitForChangeUntilUs(wake, seen);
  lock.lock();
  return TheWorld().shared || NowUs() >= wake;
}

}  // namespace

extern "C" {

int hid_init(void) {
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
  return HidStartRefused() ? -1 : 0;
}

int hid_exit(void) {
  Lock lock(TheWorld().mutex);
  emu::internal::EnsureLoaded();
  emu::internal::WriteProcessOutputs();
  return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
  if (HidStartRefused())
    return nullptr;
  AdvanceAll();
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const DeviceState& d : w.devices) {
    if (!d.present || (vendor_id && vendor_id != d.vendorId) ||
        (product_id && product_id != d.productId)) {
      continue;
    }
    *tail = emu::internal::NewInfo(d);
    if (*tail)
      tail = &(*tail)->next;
  }
  if (!head)
    w.globalError = L"No HID devices found in the system.";
  return head;
}

void hid_free_enumeration(hid_device_info* devs) {
  emu::internal::FreeInfoList(devs);
}

hid_device* hid_open_path(const char* path) {
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
  if (HidStartRefused())
    return nullptr;
  AdvanceAll();
  for (size_t i = 0; path && i < w.devices.size(); ++i) {
    if (w.devices[i].present && w.devices[i].path == path)
      return OpenDevice(i);
  }
  w.globalError = L"Failed to open a device with path: No such file or directory";
  errno = ENOENT;
  return nullptr;
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t*) {
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
  if (HidStartRefused())
    return nullptr;
  AdvanceAll();
  for (const DeviceState& d : w.devices) {
    if (d.present && d.vendorId == vendor_id && (!product_id || d.productId == product_id)) {
      return hid_open_path(d.path.c_str());
    }
  }
  w.globalError = L"Device not found";
  return nullptr;
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  World& w = TheWorld();
  bool hidraw = false;
  {
    Lock lock(w.mutex);
    AdvanceAll();
    hidraw = Alive(dev) && emu::internal::HidrawPath(w.devices[dev->device].path);
  }
  // Not under the lock: HostWrite lets go of it while it waits for the
  // device's next slot, so other processes on a shared bus go on meanwhile.
  return emu::internal::HostWrite(dev, data, length, hidraw);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  World& w = TheWorld();
  std::unique_lock<std::recursive_mutex> lock(w.mutex);
  if (!data)
    return -1;
  int64_t deadline = milliseconds < 0 ? kNever : NowUs() + int64_t{milliseconds} * 1000;
  for (;;) {
    AdvanceAll();
    if (!Alive(dev))
      return Gone(dev);
    emu::internal::DropUndeclaredReports(dev, w.devices[dev->device]);
    if (!dev->readable.empty())
      return length == 0 ? 0 : TakeReport(dev, data, length);
    if (milliseconds == 0 || !WaitForReport(lock, w.devices[dev->device], milliseconds, &deadline))
      return 0;
  }
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
  bool nonblocking = false;
  {
    Lock lock(TheWorld().mutex);
    nonblocking = Known(dev) && dev->nonblocking;
  }
  // Not under the lock: the read lets it go while it waits.
  return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int hid_set_nonblocking(hid_device* dev, int nonblock) {
  Lock lock(TheWorld().mutex);
  if (!Known(dev))
    return -1;
  dev->nonblocking = nonblock != 0;
  return 0;
}

void hid_close(hid_device* dev) {
  Lock lock(TheWorld().mutex);
  if (!Known(dev))
    return;
  emu::internal::CloseHandle(dev);
  emu::internal::WriteRecordSoFar();
}

const wchar_t* hid_error(hid_device* dev) {
  World& w = TheWorld();
  Lock lock(w.mutex);
  if (Known(dev))
    return dev->error.empty() ? L"Success" : dev->error.c_str();
  return w.globalError.empty() ? L"Success" : w.globalError.c_str();
}

}  // extern "C"
