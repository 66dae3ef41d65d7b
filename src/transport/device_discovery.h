// Listing the HID interfaces present through hidapi, after the pause a
// re-attached device needs.
#ifndef QUORVEL_TRANSPORT_DEVICE_DISCOVERY_H_
#define QUORVEL_TRANSPORT_DEVICE_DISCOVERY_H_

#include <cstdint>

#include "transport/device_list.h"

struct hid_device_info;

// Sleeps settleMs, then returns hidapi's list of the interfaces of that
// vendor and product (0 = any); the caller frees it with
// hid_free_enumeration. Null when there are none or hidapi failed.
hid_device_info* EnumerateHidDevices(uint16_t vendorId, uint16_t productId, int32_t settleMs);
// Whether a listing keeps to the list's own filter (vendor, product and
// interface number) or takes every interface present.
enum class DeviceFilter { kEveryInterface, kListFilter };
// Empties the list and fills it with the interfaces present, as the filter
// says. Returns the number of entries (0 also for a null list).
int RefreshDevices(DeviceList* list, DeviceFilter filter);
// The list's own filter, listed at once: no re-scan request and no settle
// pause, for a watcher that lists again and again and opens nothing. Same
// results.
int ListDevicesNow(DeviceList* list);

#endif  // QUORVEL_TRANSPORT_DEVICE_DISCOVERY_H_
