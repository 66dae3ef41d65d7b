// The name a device is shown under when it is connected, and the conversion
// of hidapi's wide device strings to the console's encoding.
#include "transport/display_name.h"

#include <hidapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"

namespace {

// The name is built in a fixed budget; a piece that would overflow it is
// left out rather than cut.
constexpr size_t kNameBudget = 256;

const char* ConsoleCharset() {
  return g_platform.consoleEncoding() == ConsoleEncoding::kGbk ? "GBK" : "UTF-8";
}

size_t FindIgnoringCase(const std::string& text, const char* needle) {
  size_t length = strlen(needle);
  for (size_t i = 0; i + length <= text.size(); ++i) {
    size_t k = 0;
    while (k < length && LowerAscii(text[i + k]) == LowerAscii(needle[k]))
      ++k;
    if (k == length)
      return i;
  }
  return std::string::npos;
}

void AppendIfFits(std::string* name, const std::string& piece) {
  if (name->size() + piece.size() + 1 <= kNameBudget)
    name->append(piece);
}

// The marker is written in one fixed spelling; the two characters after it
// are taken as the path has them.
void AppendMarker(std::string* name, const std::string& path, const char* marker) {
  size_t at = FindIgnoringCase(path, marker);
  if (at == std::string::npos)
    return;
  AppendIfFits(name, marker + path.substr(at + strlen(marker), 2));
}

}  // namespace

bool NarrowDeviceText(const wchar_t* text, std::string* narrow) {
  if (text == nullptr)
    return false;
  return ConvertEncoding("WCHAR_T", ConsoleCharset(), text, wcslen(text) * sizeof(wchar_t), narrow);
}

std::string BuildDisplayName(const hid_device_info& record) {
  std::string name;
  std::string text;
  if (NarrowDeviceText(record.manufacturer_string, &text) && text.size() + 1 <= kNameBudget - 1) {
    name = text;
    if (!text.empty())
      name += ' ';
  }
  if (NarrowDeviceText(record.product_string, &text) &&
      text.size() + 1 < kNameBudget - name.size()) {
    name += text;
  }
  char ids[64];
  snprintf(ids, sizeof(ids), "(HID\\VID_%04X&PID_%04X&REV_%04X", record.vendor_id,
           record.product_id, record.release_number);
  AppendIfFits(&name, ids);
  std::string path = record.path != nullptr ? record.path : "";
  AppendMarker(&name, path, "&MI_");
  AppendMarker(&name, path, "&Col");
  AppendIfFits(&name, ")");
  return name;
}
