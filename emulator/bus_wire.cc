// Framing of the shared bus's messages and the conversions they need.
#include "bus_wire.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace emu {
namespace wire {
namespace {

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

std::optional<std::string> Utf8(const wchar_t* text) {
  if (!text)
    return std::nullopt;
  std::string out;
  for (; *text; ++text) {
    uint32_t cp = static_cast<uint32_t>(*text);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::wstring Wide(const std::string& s) {
  std::wstring wide;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    wide += static_cast<wchar_t>(cp);
  }
  return wide;
}

wchar_t* WideDup(const std::optional<std::string>& utf8) {
  if (!utf8)
    return nullptr;
  std::wstring wide = Wide(*utf8);
  wchar_t* out = static_cast<wchar_t*>(std::calloc(wide.size() + 1, sizeof(wchar_t)));
  if (out)
    std::wmemcpy(out, wide.c_str(), wide.size());
  return out;
}

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
