#include "model/host_write.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <mutex>

#include "model/changes.h"
#include "model/clock.h"
#include "model/commands.h"
#include "model/faults.h"
#include "model/handle.h"
#include "model/presence.h"
#include "model/requests.h"
#include "model/world.h"

namespace emu {
namespace internal {
namespace {

// Windows: the HID class driver takes only reports of the interface's exact
// length, led by its report ID (0 when it has none).
bool WindowsFrameAccepted(const DeviceState& d, const unsigned char* data, size_t length) {
  if (d.collection)
    return length == kReportSize && data[0] == kLead;
  return length == kReportSize + 1 && data[0] == 0x00;
}

// Where the request starts in a report that reached the device through
// hidraw, which passes on whatever the host wrote (a report ID 0 included);
// null when the device has no such report. A device without report IDs gets
// the 64 bytes behind the 0 a USB host drops, or 64 bytes as they are; a
// device with report ID 0x0A reads the first byte as the report ID.
const unsigned char* HidrawRequest(DeviceState& d, const unsigned char* data, size_t length) {
  if (d.collection && length == kReportSize && data[0] == kLead)
    return data;
  if (!d.collection && length == kReportSize + 1 && data[0] == 0x00)
    return data + 1;
  if (!d.collection && length == kReportSize)
    return data;
  char text[96];
  std::snprintf(text, sizeof text, "output report of %zu bytes led by 0x%02X not taken", length,
                data[0]);
  ProtocolError(d, text);
  return nullptr;
}

void LogWrite(DeviceState& d, int64_t at, const unsigned char* data, size_t length, int result) {
  if (!TheWorld().recordWrites)
    return;
  Bytes bytes = data ? Bytes(data, data + length) : Bytes();
  d.writeLog.push_back({at, length, std::move(bytes), result});
}

// A write refused by an injected fault or by the host stack's framing rules:
// true, with the handle's error, errno and the record set.
bool Refused(hid_device* dev, DeviceState& d, int64_t now, const unsigned char* data, size_t length,
             bool hidraw) {
  ++d.writes;
  bool injectedFailure = WriteFails(d);
  // hidraw refuses only reports too short to hold a report ID and one byte.
  bool accepted = data != nullptr && (hidraw ? length >= 2 : WindowsFrameAccepted(d, data, length));
  if (!injectedFailure && accepted)
    return false;
  LogWrite(d, now, data, length, -1);
  dev->error = injectedFailure ? L"Broken pipe" : L"Invalid argument";
  errno = injectedFailure ? EPIPE : EINVAL;
  return true;
}

}  // namespace

bool HidrawPath(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

int HostWrite(hid_device* dev, const unsigned char* data, size_t length, bool hidraw) {
  World& w = TheWorld();
  std::unique_lock<std::recursive_mutex> lock(w.mutex);
  AdvanceAll();
  if (!Alive(dev))
    return Gone(dev);
  DeviceState& d = w.devices[dev->device];
  int64_t now = NowUs();
  if (Refused(dev, d, now, data, length, hidraw))
    return -1;
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

void DropUndeclaredReports(hid_device* h, const DeviceState& d) {
  if (!d.collection || !HidrawPath(d.path))
    return;
  // The kernel passes on only input reports whose first byte is a report ID
  // the descriptor declares.
  std::deque<Bytes>& queue = h->readable;
  queue.erase(
      std::remove_if(queue.begin(), queue.end(),
                     [](const Bytes& report) { return report.empty() || report[0] != kLead; }),
      queue.end());
}

}  // namespace internal
}  // namespace emu
