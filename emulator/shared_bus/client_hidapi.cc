// hidapi in a process on the shared bus: the same C functions as in front of
// in-process devices, each one a call to the bus process, which holds the
// one set of devices that all processes see.
#include <hidapi/hidapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "model/device_info.h"
#include "model/hex.h"
#include "model/wide_text.h"
#include "shared_bus/client_connection.h"
#include "shared_bus/device_info_json.h"

using emu::client::Call;
using emu::client::Known;
using nlohmann::json;

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

int Unsupported(hid_device* dev) {
  if (Known(dev))
    dev->error = L"Operation not supported by the device";
  errno = EPIPE;
  return -1;
}

// The bytes of a read's reply, at most length and the reply's result.
int CopyRead(const json& reply, unsigned char* data, size_t length, int result) {
  emu::internal::Bytes bytes;
  std::string hex = reply.value("hex", "");
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  size_t n = std::min({bytes.size(), length, static_cast<size_t>(result)});
  if (n > 0)  // an empty read (time-out) has no bytes to copy from
    std::memcpy(data, bytes.data(), n);
  return static_cast<int>(n);
}

int String(hid_device* dev, const char* which, wchar_t* out, size_t maxlen) {
  if (!Known(dev) || !out || maxlen == 0)
    return -1;
  json reply = Call({{"call", "string"}, {"handle", dev->busHandle}, {"which", which}});
  if (reply.value("result", -1) < 0)
    return -1;
  std::wstring text = emu::internal::Wide(reply.value("text", ""));
  size_t n = std::min(text.size(), maxlen - 1);
  std::wmemcpy(out, text.c_str(), n);
  out[n] = L'\0';
  return 0;
}

}  // namespace

extern "C" {

int hid_init(void) {
  Call({{"call", "init"}});
  return 0;
}

int hid_exit(void) {
  Call({{"call", "exit"}});
  return 0;
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  json reply = Call({{"call", "enumerate"}, {"vendorId", vendor_id}, {"productId", product_id}});
  hid_device_info* list = emu::wire::InfoListFromJson(reply.value("devices", json::array()));
  Lock lock(emu::client::Mutex());
  if (!list)
    emu::client::GlobalError() = L"No HID devices found in the system.";
  return list;
}

void hid_free_enumeration(hid_device_info* devs) {
  emu::internal::FreeInfoList(devs);
}

hid_device* hid_open_path(const char* path) {
  if (!path) {
    errno = EINVAL;
    return nullptr;
  }
  return emu::client::AdoptHandle(Call({{"call", "open"}, {"path", path}}));
}

hid_device* hid_open(unsigned short vendor_id, unsigned short product_id, const wchar_t*) {
  return emu::client::AdoptHandle(
      Call({{"call", "openIds"}, {"vendorId", vendor_id}, {"productId", product_id}}));
}

int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  if (!Known(dev) || !data) {
    errno = EINVAL;
    return -1;
  }
  std::string hex = emu::internal::HexText(data, length);
  json reply = Call({{"call", "write"}, {"handle", dev->busHandle}, {"hex", hex}});
  int result = reply.value("result", -1);
  if (result < 0)
    emu::client::TakeError(reply, dev);
  return result;
}

int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  if (!Known(dev) || !data)
    return -1;
  json reply = Call({{"call", "read"},
                     {"handle", dev->busHandle},
                     {"length", length},
                     {"milliseconds", milliseconds}});
  int result = reply.value("result", -1);
  if (result < 0) {
    emu::client::TakeError(reply, dev);
    return -1;
  }
  return CopyRead(reply, data, length, result);
}

int hid_read(hid_device* dev, unsigned char* data, size_t length) {
  bool nonblocking = Known(dev) && dev->nonblocking;
  return hid_read_timeout(dev, data, length, nonblocking ? 0 : -1);
}

int hid_set_nonblocking(hid_device* dev, int nonblock) {
  if (!Known(dev))
    return -1;
  dev->nonblocking = nonblock != 0;
  return 0;
}

void hid_close(hid_device* dev) {
  if (!Known(dev))
    return;
  Call({{"call", "close"}, {"handle", dev->busHandle}});
  emu::client::ForgetHandle(dev);
}

const wchar_t* hid_error(hid_device* dev) {
  Lock lock(emu::client::Mutex());
  if (Known(dev))
    return dev->error.empty() ? L"Success" : dev->error.c_str();
  std::wstring& error = emu::client::GlobalError();
  return error.empty() ? L"Success" : error.c_str();
}

int hid_send_feature_report(hid_device* dev, const unsigned char*, size_t) {
  return Unsupported(dev);
}

int hid_get_feature_report(hid_device* dev, unsigned char*, size_t) {
  return Unsupported(dev);
}

int hid_get_input_report(hid_device* dev, unsigned char*, size_t) {
  return Unsupported(dev);
}

int hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return String(dev, "manufacturer", string, maxlen);
}

int hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return String(dev, "product", string, maxlen);
}

int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  return String(dev, "serial", string, maxlen);
}

int hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t) {
  return Unsupported(dev);
}

hid_device_info* hid_get_device_info(hid_device* dev) {
  if (!Known(dev))
    return nullptr;
  if (!dev->info) {
    json reply = Call({{"call", "deviceInfo"}, {"handle", dev->busHandle}});
    dev->info = emu::wire::InfoListFromJson(reply.value("devices", json::array()));
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
