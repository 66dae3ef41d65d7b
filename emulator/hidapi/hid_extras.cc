// The rest of hidapi's interface. The devices have no feature reports, and
// the strings come from the scenario; these exist so that a program calling
// them never reaches the real library with an emulated handle.
#include <hidapi/hidapi.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <optional>
#include <string>

#include "model/device_info.h"
#include "model/handle.h"
#include "model/world.h"

using emu::internal::DeviceState;
using emu::internal::TheWorld;
using emu::internal::World;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const DeviceState* DeviceOf(hid_device* dev) {
  World& w = TheWorld();
  if (!dev || !w.handles.count(dev) || dev->dead || dev->device < 0 ||
      dev->device >= static_cast<int>(w.devices.size())) {
    return nullptr;
  }
  return &w.devices[dev->device];
}

int CopyWide(const std::optional<std::string>& text, wchar_t* out, size_t maxlen) {
  if (!out || maxlen == 0)
    return -1;
  size_t n = 0;
  if (text) {
    for (unsigned char c : *text) {
      if (n + 1 >= maxlen)
        break;
      out[n++] = static_cast<wchar_t>(c < 0x80 ? c : L'?');
    }
  }
  out[n] = L'\0';
  return 0;
}

int Unsupported(hid_device* dev) {
  if (DeviceOf(dev) != nullptr)
    dev->error = L"Operation not supported by the device";
  errno = EPIPE;
  return -1;
}

}  // namespace

extern "C" {

int hid_send_feature_report(hid_device* dev, const unsigned char*, size_t) {
  Lock lock(TheWorld().mutex);
  return Unsupported(dev);
}

int hid_get_feature_report(hid_device* dev, unsigned char*, size_t) {
  Lock lock(TheWorld().mutex);
  return Unsupported(dev);
}

int hid_get_input_report(hid_device* dev, unsigned char*, size_t) {
  Lock lock(TheWorld().mutex);
  return Unsupported(dev);
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  Lock lock(TheWorld().mutex);
  const DeviceState* d = DeviceOf(dev);
  return d ? CopyWide(d->cfg.manufacturer, string, maxlen) : -1;
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  Lock lock(TheWorld().mutex);
  const DeviceState* d = DeviceOf(dev);
  return d ? CopyWide(d->cfg.product, string, maxlen) : -1;
}

int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  Lock lock(TheWorld().mutex);
  const DeviceState* d = DeviceOf(dev);
  return d ? CopyWide(d->serial, string, maxlen) : -1;
}

int hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t) {
  Lock lock(TheWorld().mutex);
  return Unsupported(dev);
}

hid_device_info* hid_get_device_info(hid_device* dev) {
  Lock lock(TheWorld().mutex);
  const DeviceState* d = DeviceOf(dev);
  if (!d)
    return nullptr;
  if (!dev->info) {
    hid_device_info* all = hid_enumerate(d->vendorId, d->productId);
    // Keep the entry of this device, free the others.
    hid_device_info** link = &all;
    while (*link && std::strcmp((*link)->path, d->path.c_str()) != 0)
      link = &(*link)->next;
    if (*link) {
      dev->info = *link;
      *link = dev->info->next;
      dev->info->next = nullptr;
    }
    emu::internal::FreeInfoList(all);
  }
  return dev->info;
}

const struct hid_api_version* hid_version(void) {
  static const hid_api_version version = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                          HID_API_VERSION_PATCH};
  return &version;
}

const char* hid_version_str(void) {
  return HID_API_VERSION_STR;
}

}  // extern "C"
