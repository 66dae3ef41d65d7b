// The one process-wide connection to a HID interface: the open hidapi device,
// the named device lock that keeps a second running instance off it, the I/O
// lock around every single report, report framing and timed reads.
#ifndef QUORVEL_TRANSPORT_HID_LINK_H_
#define QUORVEL_TRANSPORT_HID_LINK_H_

#include <cstdint>
#include <mutex>
#include <string>

struct hid_device_;

struct HidLinkRecord {
  hid_device_* device = nullptr;
  bool hasDeviceLock = false;
  intptr_t deviceLock = 0;
  std::mutex ioLock;
  bool collectionMode = false;
  bool hasPath = false;
  std::string path;
  // Set by OpenLink when the operating system refused to open the interface
  // for lack of access rights (EACCES or EPERM), so that the connection wait
  // can tell the user how to grant them; cleared by every other outcome.
  bool lastOpenDenied = false;
  // Set by OpenLink when another running instance of this program holds the
  // interface's device lock; cleared by every other outcome.
  bool lastOpenHeldElsewhere = false;
  // Set by ReadReports when the interface reported an error rather than a
  // time-out (on Linux hidraw: it has left the bus); cleared at the start of
  // every ReadReports.
  bool lastReadFailed = false;
};

extern HidLinkRecord HidLink;

// Returns 1 when the link is open on that interface, 0 when not. A null path
// is absent.
int OpenLink(const char* path);
void CloseLink();
// 1: lock taken; 0: no lock name in the path, or another process holds it.
int LockDevice(const char* path);
// 1: every byte sent; 0: bad arguments, no device or a failed write (the
// link is then closed).
int WriteReports(const uint8_t* data, int32_t length);
// 1: length bytes read; -1: time-out or no device; 0: bad arguments. Input
// already queued when the time-out passes is still read.
int ReadReports(uint8_t* buffer, int32_t length, int32_t timeoutMs);
void DrainInput();

// The lock name derived from a path (from the first "hid", any case, to the
// end, backslashes removed); false when the path holds no "hid".
bool DeviceLockName(const std::string& path, std::string* name);

#endif  // QUORVEL_TRANSPORT_HID_LINK_H_
