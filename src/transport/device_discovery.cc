// Each listing of the HID interfaces present is hidapi's enumeration after a
// settle pause, turned into device entries.
#include "transport/device_discovery.h"

#include <hidapi.h>

#include "platform/platform.h"
#include "transport/display_name.h"

namespace {

// A device that has just re-attached needs this long before its interfaces
// are listed.
constexpr int32_t kSettleMs = 200;
// Device strings longer than this (terminator included) are left out.
constexpr size_t kMaxTextBytes = 255;

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
  StoreText(record.serial_number, &entry.hasSerial, &entry.serial);
  if (entry.hasPath)
    entry.port = g_platform.usbPort(entry.path);
  entry.vendorId = record.vendor_id;
  entry.productId = record.product_id;
  entry.interfaceNumber = record.interface_number;
  entry.usagePage = record.usage_page;
  return entry;
}

}  // namespace

hid_device_info* EnumerateHidDevices(uint16_t vendorId, uint16_t productId, int32_t settleMs) {
  // The re-scan runs in the background; the pause lets it, and a returning
  // device, finish attaching.
  if (settleMs > 0) {
    g_platform.rescanDevices();
    SleepMs(settleMs);
  }
  return hid_enumerate(vendorId, productId);
}

namespace {

int FillDevices(DeviceList* list, DeviceFilter filter, int32_t settleMs) {
  if (list == nullptr)
    return 0;
  ClearDevices(list);
  const bool useFilter = filter == DeviceFilter::kListFilter;
  uint16_t vendorId = useFilter ? list->vendorId : 0;
  uint16_t productId = useFilter ? list->productId : 0;
  int32_t interfaceNumber = useFilter ? list->interfaceNumber : -1;
  hid_device_info* records = EnumerateHidDevices(vendorId, productId, settleMs);
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

}  // namespace

int RefreshDevices(DeviceList* list, DeviceFilter filter) {
  return FillDevices(list, filter, kSettleMs);
}

int ListDevicesNow(DeviceList* list) {
  return FillDevices(list, DeviceFilter::kListFilter, 0);
}
