// Discovery of HID interfaces and the two process-wide device lists that tell
// newly attached interfaces from those already seen.
#ifndef QUORVEL_TRANSPORT_DEVICE_LIST_H_
#define QUORVEL_TRANSPORT_DEVICE_LIST_H_

#include <cstdint>
#include <list>
#include <string>

struct hid_device_info;

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
};

struct DeviceList {
  uint16_t vendorId = 0;         // filter; 0 = any
  uint16_t productId = 0;        // filter; 0 = any
  int32_t interfaceNumber = -1;  // filter; negative = any
  std::list<DeviceEntry> entries;
  int32_t count = 0;
};

extern DeviceList CurrentDevices;
extern DeviceList KnownDevices;

// hidapi's list after the settle time (the caller frees it with
// hid_free_enumeration).
hid_device_info* EnumerateHidDevices(uint16_t vendorId, uint16_t productId, int32_t settleMs);
int RefreshDevices(DeviceList* list, bool useFilter);
void ClearDevices(DeviceList* list);
int AppendDevice(DeviceList* list, const DeviceEntry& entry);
void RemoveDeviceByPath(DeviceList* list, const char* path);
void MergeCurrentIntoKnown();
void DropKnownFromCurrent();
void PruneVanishedKnown();
std::string BuildDisplayName(const hid_device_info& record);

// A device string in the console's narrow encoding; false when the string is
// absent or cannot be converted.
bool NarrowDeviceText(const wchar_t* text, std::string* narrow);

#endif  // QUORVEL_TRANSPORT_DEVICE_LIST_H_
