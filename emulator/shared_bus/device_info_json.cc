#include "shared_bus/device_info_json.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "model/wide_text.h"

namespace emu {
namespace wire {
namespace {

using internal::Utf8;
using internal::WideDup;
using nlohmann::json;

json OptText(const wchar_t* text) {
  std::optional<std::string> utf8 = Utf8(text);
  return utf8 ? json(*utf8) : json(nullptr);
}

std::optional<std::string> OptString(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_string())
    return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

json InfoListToJson(const hid_device_info* list) {
  json out = json::array();
  for (const hid_device_info* i = list; i; i = i->next) {
    out.push_back({{"path", i->path ? json(i->path) : json(nullptr)},
                   {"vendorId", i->vendor_id},
                   {"productId", i->product_id},
                   {"serial", OptText(i->serial_number)},
                   {"release", i->release_number},
                   {"manufacturer", OptText(i->manufacturer_string)},
                   {"product", OptText(i->product_string)},
                   {"usagePage", i->usage_page},
                   {"usage", i->usage},
                   {"interface", i->interface_number},
                   {"busType", static_cast<int>(i->bus_type)}});
  }
  return out;
}

hid_device_info* InfoListFromJson(const json& list) {
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  if (!list.is_array())
    return nullptr;
  for (const json& j : list) {
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (!info)
      break;
    std::optional<std::string> path = OptString(j, "path");
    info->path = path ? strdup(path->c_str()) : nullptr;
    info->vendor_id = j.value("vendorId", 0);
    info->product_id = j.value("productId", 0);
    info->serial_number = WideDup(OptString(j, "serial"));
    info->release_number = j.value("release", 0);
    info->manufacturer_string = WideDup(OptString(j, "manufacturer"));
    info->product_string = WideDup(OptString(j, "product"));
    info->usage_page = j.value("usagePage", 0);
    info->usage = j.value("usage", 0);
    info->interface_number = j.value("interface", -1);
    info->bus_type = static_cast<hid_bus_type>(j.value("busType", 0));
    *tail = info;
    tail = &info->next;
  }
  return head;
}

}  // namespace wire
}  // namespace emu
