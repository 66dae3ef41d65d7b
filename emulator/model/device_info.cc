#include "model/device_info.h"

#include <cstdlib>
#include <cstring>

#include "model/wide_text.h"

namespace emu {
namespace internal {

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

void FreeInfoList(hid_device_info* list) {
  while (list) {
    hid_device_info* next = list->next;
    std::free(list->path);
    std::free(list->serial_number);
    std::free(list->manufacturer_string);
    std::free(list->product_string);
    std::free(list);
    list = next;
  }
}

}  // namespace internal
}  // namespace emu
