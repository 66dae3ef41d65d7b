// hidapi, as the program sees it, in front of the emulated devices: the same
// C functions with the same results, framing rules and time-outs that the
// hidraw backend gives with real hardware.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bus_client.h"
#include "bus_wire.h"
#include "commands.h"
#include "device_model.h"

using emu::internal::AdvanceAll;
using emu::internal::AdvanceDevice;
using emu::internal::Bytes;
using emu::internal::DeviceState;
using emu::internal::kNever;
using emu::internal::kReportSize;
using emu::internal::NowUs;
using emu::internal::SleepUntilUs;
using emu::internal::TheWorld;
using emu::internal::World;
using emu::wire::WideDup;

namespace {

// hid_read without a time-out returns after this long when no report is due.
constexpr int64_t kBlockingReadLimitUs = 1000000;

using Lock = std::lock_guard<std::recursive_mutex>;
namespace client = emu::client;

hid_device_info* NewInfo(const DeviceState& d) {
  hid_device_info* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
  if (!info)
    return nullptr;
  info->path = strdup(d.path.c_str());
  info->vendor_id = d.vendorId;
  info->product_id = d.productId;
  info->release_number = d.cfg.release;
  info->manufacturer_string = WideDup(d.cfg.manufacturer);
  info->product_string = WideDup(d.cfg.product);
  info->serial_number = WideDup(d.serial);
  info->interface_number = d.cfg.interfaceNumber;
  info->bus_type = HID_API_BUS_USB;
  return info;
}

bool Known(hid_device* h) {
  return h && TheWorld().handles.count(h) != 0;
}

// The handle's device is still the one it was opened on.
bool Alive(hid_device* h) {
  World& w = TheWorld();
  if (!Known(h) || h->dead || h->device < 0 || h->device >= static_cast<int>(w.devices.size())) {
    return false;
  }
  const DeviceState& d = w.devices[h->device];
  return d.present && d.incarnation == h->incarnation;
}

int Gone(hid_device* h) {
  if (Known(h))
    h->error = L"Device disconnected";
  errno = ENODEV;
  return -1;
}

// A path of the Linux hidraw kind ("/dev/hidraw3"), as opposed to a Windows
// device path. The two host stacks treat reports differently.
bool HidrawPath(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

// Windows: the HID class driver takes only reports of the interface's exact
// length, led by its report ID (0 when it has none).
bool WindowsFrameAccepted(const DeviceState& d, const unsigned char* data, size_t length) {
  if (d.collection)
    return length == kReportSize && data[0] == emu::internal::kLead;
  return length == kReportSize + 1 && data[0] == 0x00;
}

// Where the request starts in a report that reached the device through
// hidraw, which passes on whatever the host wrote (a report ID 0 included);
// null when the device has no such report. A device without report IDs gets
// the 64 bytes behind the 0 a USB host drops, or 64 bytes as they are; a
// device with report ID 0x0A reads the first byte as the report ID.
const unsigned char* HidrawRequest(DeviceState& d, const unsigned char* data, size_t length) {
  if (d.collection && length == kReportSize && data[0] == emu::internal::kLead)
    return data;
  if (!d.collection && length == kReportSize + 1 && data[0] == 0x00)
    return data + 1;
  if (!d.collection && length == kReportSize)
    return data;
  char text[96];
  std::snprintf(text, sizeof text, "output report of %zu bytes led by 0x%02X not taken", length,
                data[0]);
  emu::internal::ProtocolError(d, text);
  return nullptr;
}

void LogWrite(DeviceState& d, int64_t at, const unsigned char* data, size_t length, int result) {
  if (!TheWorld().recordWrites)
    return;
  Bytes bytes = data ? Bytes(data, data + length) : Bytes();
  d.writeLog.push_back({at, length, std::move(bytes), result});
}

// The kernel passes on only input reports whose first byte is a report ID
// the descriptor declares: hidraw never shows the host a report of a device
// with report ID 0x0A that starts with another byte.
void DropUndeclaredReports(hid_device* h, const DeviceState& d) {
  if (!d.collection || !HidrawPath(d.path))
    return;
  std::deque<Bytes>& queue = h->readable;
  queue.erase(std::remove_if(queue.begin(), queue.end(),
                             [](const Bytes& report) {
                               return report.empty() || report[0] != emu::internal::kLead;
                             }),
              queue.end());
}

int TakeReport(hid_device* h, unsigned char* data, size_t length) {
  size_t n = std::min(length, kReportSize);  // the rest of the report is lost, as in hidapi
  std::memcpy(data, h->readable.front().data(), n);
  h->readable.pop_front();
  return static_cast<int>(n);
}

}  // namespace

namespace emu {
namespace internal {

int HostWrite(hid_device* dev, const unsigned char* data, size_t length, bool hidraw) {
  World& w = TheWorld();
  std::unique_lock<std::recursive_mutex> lock(w.mutex);
  AdvanceAll();
  if (!Alive(dev))
    return Gone(dev);
  DeviceState& d = w.devices[dev->device];
  int64_t now = NowUs();
  ++d.writes;
  bool injectedFailure = WriteFails(d);
  // hidraw refuses only reports too short to hold a report ID and one byte.
  bool accepted = data != nullptr && (hidraw ? length >= 2 : WindowsFrameAccepted(d, data, length));
  if (injectedFailure || !accepted) {
    LogWrite(d, now, data, length, -1);
    dev->error = injectedFailure ? L"Broken pipe" : L"Invalid argument";
    errno = injectedFailure ? EPIPE : EINVAL;
    return -1;
  }
  int64_t slot = NextOutSlot(d, now);
  if (slot > now) {
    // Other processes on a shared bus go on meanwhile (a caller that holds
    // the lock itself keeps it: the mutex is recursive).
    lock.unlock();
    SleepUntilUs(slot);
    lock.lock();
    AdvanceAll();
    if (!Alive(dev))
      return Gone(dev);
  }
  LogWrite(d, slot, data, length, static_cast<int>(length));
  const unsigned char* request =
      hidraw ? HidrawRequest(d, data, length) : (d.collection ? data : data + 1);
  if (request != nullptr)
    HandleRequest(d, request, slot);
  NoteChange();
  return static_cast<int>(length);
}

}  // namespace internal
}  // namespace emu

extern "C" {

int hid_init(void) {
  if (client::Active())
    return client::Init();
  Lock lock(TheWorld().mutex);
  emu::internal::EnsureLoaded();
  return 0;
}

int hid_exit(void) {
  if (client::Active())
    return client::Exit();
  Lock lock(TheWorld().mutex);
  emu::internal::EnsureLoaded();
  emu::internal::WriteProcessOutputs();
  return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  if (client::Active())
    return client::Enumerate(vendor_id, product_id);
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
  AdvanceAll();
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const DeviceState& d : w.devices) {
    if (!d.present || (vendor_id && vendor_id != d.vendorId) ||
        (product_id && product_id != d.productId)) {
      continue;
    }
    *tail = NewInfo(d);
    if (*tail)
      tail = &(*tail)->next;
  }
  if (!head)
    w.globalError = L"No HID devices found in the system.";
  return head;
}

void hid_free_enumeration(hid_device_info* devs) {
  while (devs) {
    hid_device_info* next = devs->next;
    std::free(devs->path);
    std::free(devs->serial_number);
    std::free(devs->manufacturer_string);
    std::free(devs->product_string);
    std::free(devs);
    devs = next;
  }
}

hid_device* hid_open_path(const char* path) {
  if (client::Active())
    return client::OpenPath(path);
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
  AdvanceAll();
  for (size_t i = 0; path && i < w.devices.size(); ++i) {
    DeviceState& d = w.devices[i];
    if (!d.present || d.path != path)
      continue;
    if (d.cfg.openError == "permission") {
      w.globalError = L"Failed to open a device with path: Permission denied";
      errno = EACCES;
      return nullptr;
    }
    if (d.cfg.openError == "busy") {
      w.globalError = L"Failed to open a device with path: Device or resource busy";
      errno = EBUSY;
      return nullptr;
    }
    hid_device* h = new hid_device_();
    h->device = static_cast<int>(i);
    h->incarnation = d.incarnation;
    w.handles.insert(h);
    w.globalError.clear();
    h->openRecord = static_cast<int>(d.opens.size());
    d.opens.push_back({NowUs(), std::nullopt, emu::internal::CallerPid(), d.path});
    AdvanceDevice(static_cast<int>(i), NowUs());  // input held for a listener arrives now
    return h;
  }
  w.globalError = L"Failed to open a device with path: No such file or directory";
  errno = ENOENT;
  return nullptr;
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t*) {
  if (client::Active())
    return client::Open(vendor_id, product_id);
  World& w = TheWorld();
  Lock lock(w.mutex);
  emu::internal::EnsureLoaded();
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
  if (client::Active())
    return client::Write(dev, data, length);
  World& w = TheWorld();
  bool hidraw = false;
  {
    Lock lock(w.mutex);
    AdvanceAll();
    hidraw = Alive(dev) && HidrawPath(w.devices[dev->device].path);
  }
  // Not under the lock: HostWrite lets go of it while it waits for the
  // device's next slot, so other processes on a shared bus go on meanwhile.
  return emu::internal::HostWrite(dev, data, length, hidraw);
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  if (client::Active())
    return client::Read(dev, data, length, milliseconds);
  World& w = TheWorld();
  std::unique_lock<std::recursive_mutex> lock(w.mutex);
  if (!data)
    return -1;
  int64_t deadline = milliseconds < 0 ? kNever : NowUs() + int64_t{milliseconds} * 1000;
  for (;;) {
    AdvanceAll();
    if (!Alive(dev))
      return Gone(dev);
    DropUndeclaredReports(dev, w.devices[dev->device]);
    if (!dev->readable.empty())
      return length == 0 ? 0 : TakeReport(dev, data, length);
    if (milliseconds == 0)
      return 0;
    int64_t now = NowUs();
    int64_t next = emu::internal::NextEventUs(w.devices[dev->device], now);
    if (milliseconds < 0 && next == kNever)
      deadline = std::min(deadline, now + kBlockingReadLimitUs);
    if (now >= deadline)
      return 0;
    int64_t wake = std::min(next, deadline);
    // The lock is let go while waiting: on a shared bus other processes'
    // calls go on, and one of them may make this device answer sooner.
    uint64_t seen = emu::internal::ChangeGeneration();
    lock.unlock();
    emu::internal::WaitForChangeUntilUs(wake, seen);
    lock.lock();
    if (!w.shared && NowUs() < wake)
      return 0;  // a clock that does not move cannot deliver anything
  }
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
  if (client::Active())
    return client::Read(dev, data, length, client::Nonblocking(dev) ? 0 : -1);
  bool nonblocking = false;
  {
    Lock lock(TheWorld().mutex);
    nonblocking = Known(dev) && dev->nonblocking;
  }
  // Not under the lock: the read lets it go while it waits.
  return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int hid_set_nonblocking(hid_device* dev, int nonblock) {
  if (client::Active())
    return client::SetNonblocking(dev, nonblock);
  Lock lock(TheWorld().mutex);
  if (!Known(dev))
    return -1;
  dev->nonblocking = nonblock != 0;
  return 0;
}

void hid_close(hid_device* dev) {
  if (client::Active()) {
    client::Close(dev);
    return;
  }
  World& w = TheWorld();
  Lock lock(w.mutex);
  if (!Known(dev))
    return;
  w.handles.erase(dev);
  if (!dev->dead && dev->device >= 0 && dev->device < static_cast<int>(w.devices.size()) &&
      dev->openRecord >= 0) {
    std::vector<emu::internal::OpenRecord>& opens = w.devices[dev->device].opens;
    if (dev->openRecord < static_cast<int>(opens.size()))
      opens[dev->openRecord].closedAtUs = NowUs();
  }
  hid_free_enumeration(dev->info);
  delete dev;
  emu::internal::WriteRecordSoFar();
}

const wchar_t* hid_error(hid_device* dev) {
  if (client::Active())
    return client::Error(dev);
  World& w = TheWorld();
  Lock lock(w.mutex);
  if (Known(dev))
    return dev->error.empty() ? L"Success" : dev->error.c_str();
  return w.globalError.empty() ? L"Success" : w.globalError.c_str();
}

}  // extern "C"
