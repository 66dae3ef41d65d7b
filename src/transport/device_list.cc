// Discovery of the HID interfaces present and the two process-wide device
// lists: each listing is hidapi's enumeration after a settle pause, and the
// lists are compared by path so that an interface that has just attached
// stands out from those already seen.
#include "transport/device_list.h"

#include <hidapi.h>

#include "platform/platform.h"

DeviceList CurrentDevices;
DeviceList KnownDevices;

namespace {

// A device that has just re-attached needs this long before its interfaces
// are listed.
constexpr int32_t kSettleMs = 200;
// Device strings longer than this (terminator included) are left out.
constexpr size_t kMaxTextBytes = 255;

bool SamePath(const DeviceEntry& entry, const char* path) {
  return entry.hasPath && entry.path == path;
}

bool PathListed(const DeviceList& list, const DeviceEntry& wanted) {
  if (!wanted.hasPath)
    return false;
  for (const DeviceEntry& entry : list.entries) {
    if (SamePath(entry, wanted.path.c_str()))
      return true;
  }
  return false;
}

void CountOneRemoved(DeviceList* list) {
  if (list->count > 0)
    --list->count;
}

void StoreText(const wchar_t* source, bool* present, std::string* text) {
  std::string narrow;
  if (!NarrowDeviceText(source, &narrow))
    return;
  if (narrow.empty() || narrow.size() + 1 > kMaxTextBytes)
    return;
  *text = narrow;
  *present = true;
}

DeviceEntry EntryFromRecord(const hid_device_info& record) {
  DeviceEntry entry;
  entry.displayName = BuildDisplayName(record);
  entry.hasDisplayName = !entry.displayName.empty();
  if (record.path != nullptr && record.path[0] != '\0') {
    entry.path = record.path;
    entry.hasPath = true;
  }
  StoreText(record.manufacturer_string, &entry.hasManufacturer, &entry.manufacturer);
  StoreText(record.product_string, &entry.hasProduct, &entry.product);
  entry.vendorId = record.vendor_id;
  entry.productId = record.product_id;
  entry.interfaceNumber = record.interface_number;
  return entry;
}

}  // namespace

void ClearDevices(DeviceList* list) {
  if (list == nullptr)
    return;
  list->entries.clear();
  list->count = 0;
}

int AppendDevice(DeviceList* list, const DeviceEntry& entry) {
  bool wasEmpty = list->entries.empty();
  list->entries.push_back(entry);
  list->count = wasEmpty ? 1 : list->count + 1;
  return 1;
}

void RemoveDeviceByPath(DeviceList* list, const char* path) {
  if (list == nullptr || path == nullptr || list->entries.empty())
    return;
  for (auto it = list->entries.begin(); it != list->entries.end(); ++it) {
    if (SamePath(*it, path)) {
      list->entries.erase(it);
      CountOneRemoved(list);
      return;
    }
  }
}

void MergeCurrentIntoKnown() {
  for (const DeviceEntry& entry : CurrentDevices.entries)
    AppendDevice(&KnownDevices, entry);
}

void DropKnownFromCurrent() {
  for (const DeviceEntry& known : KnownDevices.entries) {
    RemoveDeviceByPath(&CurrentDevices, known.hasPath ? known.path.c_str() : nullptr);
  }
}

void PruneVanishedKnown() {
  // One entry per call: a pass of the connection wait forgets at most one
  // vanished interface.
  for (auto it = KnownDevices.entries.begin(); it != KnownDevices.entries.end(); ++it) {
    if (!PathListed(CurrentDevices, *it)) {
      KnownDevices.entries.erase(it);
      CountOneRemoved(&KnownDevices);
      return;
    }
  }
}

hid_device_info* EnumerateHidDevices(uint16_t vendorId, uint16_t productId, int32_t settleMs) {
  // The re-scan runs in the background; the pause lets it, and a returning
  // device, finish attaching.
  if (settleMs > 0) {
    g_platform.rescanDevices();
    SleepMs(settleMs);
  }
  return hid_enumerate(vendorId, productId);
}

int RefreshDevices(DeviceList* list, bool useFilter) {
  if (list == nullptr)
    return 0;
  ClearDevices(list);
  uint16_t vendorId = useFilter ? list->vendorId : 0;
  uint16_t productId = useFilter ? list->productId : 0;
  int32_t interfaceNumber = useFilter ? list->interfaceNumber : -1;
  hid_device_info* records = EnumerateHidDevices(vendorId, productId, kSettleMs);
  if (records == nullptr)
    return 0;
  int appended = 0;
  for (const hid_device_info* record = records; record != nullptr; record = record->next) {
    if (interfaceNumber >= 0 && interfaceNumber != record->interface_number)
      continue;
    AppendDevice(list, EntryFromRecord(*record));
    ++appended;
  }
  hid_free_enumeration(records);
  return appended;
}
