// The one HID link: opening and closing it under the named device lock that
// keeps a second running instance of the program off an interface this one
// holds, outgoing data cut into 64-byte output reports, input read in 64-byte
// units within a total time-out, and stale input thrown away after
// connecting.
#include "transport/hid_link.h"

#include <hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/ascii.h"
#include "platform/platform.h"
#include "transport/report_descriptor.h"

HidLinkRecord HidLink;

namespace {

constexpr int32_t kReportDataBytes = 64;
// Report ID byte plus the data bytes.
constexpr size_t kNormalReportBytes = kReportDataBytes + 1;
constexpr size_t kCollectionReportBytes = kReportDataBytes;
// The drain reads for longer than this, so that whatever the device queued
// before it was connected is gone before the first request.
constexpr int32_t kDrainMs = 50;

size_t FindHidIgnoringCase(const std::string& path) {
  return LowerAscii(path).find("hid");
}

// Linux device paths do not say whether the interface numbers its reports;
// its report descriptor does. hidraw hands the first byte of a write to the
// device as the report ID, so a device with report ID 0x0A must get its
// 64-byte report led by 0x0A, not a 0 in front of it: a leading 0 reaches
// such a device as a report it does not have.
bool InterfaceNumbersReports(const char* path) {
  std::vector<uint8_t> descriptor;
  if (g_platform.reportDescriptor == nullptr || !g_platform.reportDescriptor(path, &descriptor))
    return false;
  return DescriptorNumbersReports(descriptor.data(), descriptor.size());
}

void DropDeviceLock() {
  if (!HidLink.hasDeviceLock)
    return;
  g_platform.releaseDeviceLock(HidLink.deviceLock);
  HidLink.hasDeviceLock = false;
  HidLink.deviceLock = 0;
}

void CloseDevice() {
  if (HidLink.device == nullptr)
    return;
  hid_close(HidLink.device);
  HidLink.device = nullptr;
}

// Milliseconds since start, correct across a wrap of the 32-bit clock.
int32_t ElapsedSince(int32_t start) {
  return static_cast<int32_t>(static_cast<uint32_t>(NowMs()) - static_cast<uint32_t>(start));
}

bool WriteOneReport(const uint8_t* chunk, int32_t size) {
  uint8_t report[kNormalReportBytes] = {};
  size_t reportBytes;
  if (HidLink.collectionMode) {
    // The device's reports carry no separate report ID: the caller's first
    // byte goes in that position.
    memcpy(report, chunk, static_cast<size_t>(size));
    reportBytes = kCollectionReportBytes;
  } else {
    memcpy(report + 1, chunk, static_cast<size_t>(size));
    reportBytes = kNormalReportBytes;
  }
  int written;
  {
    std::lock_guard<std::mutex> guard(HidLink.ioLock);
    written = hid_write(HidLink.device, report, reportBytes);
  }
  return written == static_cast<int>(reportBytes);
}

// One read of up to chunk bytes under the I/O lock, waiting up to waitMs;
// hidapi's result. An error (rather than a time-out) is noted in
// lastReadFailed.
int ReadChunk(uint8_t* into, int32_t chunk, int32_t waitMs) {
  int n;
  {
    std::lock_guard<std::mutex> guard(HidLink.ioLock);
    n = hid_read_timeout(HidLink.device, into, static_cast<size_t>(chunk), waitMs);
  }
  if (n < 0)
    HidLink.lastReadFailed = true;
  return n;
}

}  // namespace

bool DeviceLockName(const std::string& path, std::string* name) {
  size_t start = FindHidIgnoringCase(path);
  if (start == std::string::npos)
    return false;
  name->clear();
  for (size_t i = start; i < path.size(); ++i) {
    // Windows device paths are full of backslashes, which a lock name must
    // not contain; dropping them keeps the name the same on every platform.
    if (path[i] != '\\')
      name->push_back(path[i]);
  }
  return true;
}

int LockDevice(const char* path) {
  if (path == nullptr)
    return 0;
  std::string name;
  if (!DeviceLockName(path, &name))
    return 0;
  // Our own earlier lock goes first, so that reopening the interface this
  // process already holds does not look like another process holding it.
  DropDeviceLock();
  // A path naming one top-level collection ("...&col02...") addresses a
  // device whose reports carry no separate report-ID byte.
  HidLink.collectionMode = name.find("col") != std::string::npos;
  intptr_t handle = 0;
  switch (g_platform.acquireDeviceLock(name, &handle)) {
    case DeviceLockResult::kTaken:
      HidLink.deviceLock = handle;
      HidLink.hasDeviceLock = true;
      return 1;
    case DeviceLockResult::kHeldElsewhere:
      HidLink.lastOpenHeldElsewhere = true;
      return 0;
    case DeviceLockResult::kFailed:
      // A lock that cannot be created does not keep us off the device.
      return 1;
  }
  return 1;
}

int OpenLink(const char* path) {
  HidLink.lastOpenDenied = false;
  HidLink.lastOpenHeldElsewhere = false;
  if (path == nullptr)
    return 0;
  if (LockDevice(path) == 0)
    return 0;
  CloseDevice();
  // hidapi reports why an open failed only through errno (and a text meant
  // for people); a stale value must not look like a fresh refusal.
  errno = 0;
  HidLink.device = hid_open_path(path);
  // On failure the lock stays held until the next OpenLink or CloseLink.
  if (HidLink.device == nullptr) {
    // Without a udev rule a hidraw node is readable by root only.
    HidLink.lastOpenDenied = errno == EACCES || errno == EPERM;
    return 0;
  }
  if (!HidLink.collectionMode)
    HidLink.collectionMode = InterfaceNumbersReports(path);
  HidLink.path = path;
  HidLink.hasPath = true;
  return 1;
}

void CloseLink() {
  CloseDevice();
  DropDeviceLock();
  HidLink.path.clear();
  HidLink.hasPath = false;
}

int WriteReports(const uint8_t* data, int32_t length) {
  if (data == nullptr || length <= 0)
    return 0;
  int32_t offset = 0;
  for (;;) {
    int32_t chunk = std::min(kReportDataBytes, length - offset);
    if (HidLink.device == nullptr)
      return 0;
    if (!WriteOneReport(data + offset, chunk)) {
      // A rejected or short write means the interface is gone or is not the
      // device we speak to: nothing further can be sent on it.
      CloseLink();
      return 0;
    }
    offset += chunk;
    if (offset >= length)
      return 1;
    // The device gets at least one clock tick per report; a busy wait keeps
    // that pause as short as the clock allows, where a sleep would cost a
    // whole scheduler slice per report.
    SpinUntilMs(NowMs() + 1);
  }
}

int ReadReports(uint8_t* buffer, int32_t length, int32_t timeoutMs) {
  if (buffer == nullptr || length <= 0)
    return 0;
  HidLink.lastReadFailed = false;
  const int32_t start = NowMs();
  int32_t received = 0;
  for (;;) {
    StopIfRequested();
    if (HidLink.device == nullptr)
      return -1;
    const int32_t chunk = std::min(kReportDataBytes, length - received);
    // Once the time-out has passed, whatever is already queued is still
    // read, without waiting: a loaded machine may run this thread only after
    // the deadline, when the reply has long arrived, and it must not count as
    // lost. Each such read takes one complete unit or ends the loop.
    const int32_t elapsed = ElapsedSince(start);
    const bool pastDeadline = elapsed >= timeoutMs;
    const int32_t wait = pastDeadline ? 0 : timeoutMs - elapsed;
    const int32_t before = NowMs();
    const int n = ReadChunk(buffer + received, chunk, wait);
    if (n == chunk) {
      received += chunk;
      if (received >= length)
        return 1;
      continue;
    }
    if (pastDeadline)
      return -1;
    // A read that fails at once (device gone, short report) is retried until
    // the time-out like any other; the 1 ms spin between retries lets that
    // time-out come even when time only moves as the program waits, as it
    // does under a virtual clock.
    if (NowMs() == before)
      SpinUntilMs(before + 1);
  }
}

void DrainInput() {
  if (HidLink.device == nullptr)
    return;
  const int32_t start = NowMs();
  std::lock_guard<std::mutex> guard(HidLink.ioLock);
  uint8_t scratch[kReportDataBytes];
  for (;;) {
    int n = hid_read_timeout(HidLink.device, scratch, sizeof(scratch), 0);
    // Whatever keeps arriving in full reports is still stale, however long
    // the drain has run.
    if (n == kReportDataBytes)
      continue;
    if (ElapsedSince(start) > kDrainMs)
      return;
    // A zero-time-out read returns at once without moving the clock. On the
    // real clock this spin is the busy loop the drain has to be anyway; on a
    // virtual clock it is what lets the 50 ms pass at all.
    SpinUntilMs(NowMs() + 1);
  }
}
