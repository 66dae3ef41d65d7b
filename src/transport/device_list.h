// The two process-wide lists of HID interfaces, CurrentDevices (what the
// last scan found) and KnownDevices (what was on the bus before), and the
// list operations that tell a newly attached interface from those already
// seen. Entries are compared as devices: path, USB port and serial number.
#ifndef QUORVEL_TRANSPORT_DEVICE_LIST_H_
#define QUORVEL_TRANSPORT_DEVICE_LIST_H_

#include <cstdint>
#include <list>
#include <string>

struct DeviceEntry {
  bool hasDisplayName = false;
  std::string displayName;
  bool hasPath = false;
  std::string path;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  int32_t interfaceNumber = -1;
  bool hasManufacturer = false;
  std::string manufacturer;  // console encoding
  bool hasProduct = false;
  std::string product;  // console encoding
  bool hasSerial = false;
  std::string serial;      // console encoding
  std::string port;        // USB port chain ("1-2.3"); empty when not known
  uint16_t usagePage = 0;  // the top-level collection's usage page; 0 when not known
};

struct DeviceList {
  uint16_t vendorId = 0;         // filter; 0 = any
  uint16_t productId = 0;        // filter; 0 = any
  int32_t interfaceNumber = -1;  // filter; negative = any
  std::list<DeviceEntry> entries;
};

extern DeviceList CurrentDevices;
extern DeviceList KnownDevices;

// Empties the entries (the filter stays); a null list is ignored.
void ClearDevices(DeviceList* list);
// Appends a copy of the entry; returns 1.
int AppendDevice(DeviceList* list, const DeviceEntry& entry);
// Removes the first entry with that path; nothing for a null list or path.
void RemoveDeviceByPath(DeviceList* list, const char* path);
// Appends every entry of CurrentDevices to KnownDevices.
void MergeCurrentIntoKnown();
// Whether both entries are the same device: the same path, USB port and
// serial number (an unknown port or an absent serial counts as a value of
// its own). False when either has no path.
bool SameDevice(const DeviceEntry& a, const DeviceEntry& b);
// Removes from CurrentDevices each entry that is the same device as one in
// KnownDevices (one per KnownDevices entry): a known path whose port or
// serial changed is another device, and stays.
void DropKnownFromCurrent();
// Removes from KnownDevices the first entry that is no longer the same
// device as any in CurrentDevices (one per call).
void PruneVanishedKnown();

#endif  // QUORVEL_TRANSPORT_DEVICE_LIST_H_
