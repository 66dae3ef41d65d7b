#include "model/wide_text.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>

namespace emu {
namespace internal {

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

}  // namespace internal
}  // namespace emu
