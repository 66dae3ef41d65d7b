// The encodings the program converts between, as Windows code pages: UTF-8
// is 65001, GBK is 936 and WCHAR_T is UTF-16, Windows' own wide text.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/text_encoding.h"
#include "platform/wide_text_win32.h"

namespace {

constexpr unsigned kWide = 0;  // not a code page: UTF-16 as it is

bool CodePageOf(const char* name, unsigned* codePage) {
  if (std::strcmp(name, "UTF-8") == 0) {
    *codePage = CP_UTF8;
  } else if (std::strcmp(name, "GBK") == 0) {
    *codePage = kGbkCodePage;
  } else if (std::strcmp(name, "WCHAR_T") == 0) {
    *codePage = kWide;
  } else {
    return false;
  }
  return true;
}

// Refuses invalid sequences, as iconv does, instead of inserting U+FFFD.
bool ToWide(unsigned codePage, const char* text, size_t size, std::wstring* wide) {
  if (size > 0x7FFFFFFF)
    return false;
  if (size == 0) {
    wide->clear();
    return true;
  }
  const int length =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, static_cast<int>(size), nullptr, 0);
  if (length <= 0)
    return false;
  wide->assign(static_cast<size_t>(length), L'\0');
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, static_cast<int>(size),
                             &(*wide)[0], length) == length;
}

}  // namespace

bool ConvertEncoding(const char* from, const char* to, const void* text, size_t size,
                     std::string* out) {
  unsigned fromPage = 0;
  unsigned toPage = 0;
  if (!CodePageOf(from, &fromPage) || !CodePageOf(to, &toPage))
    return false;
  std::wstring wide;
  if (fromPage == kWide) {
    if (size % sizeof(wchar_t) != 0)
      return false;
    wide.assign(static_cast<const wchar_t*>(text), size / sizeof(wchar_t));
  } else if (!ToWide(fromPage, static_cast<const char*>(text), size, &wide)) {
    return false;
  }
  if (toPage == kWide) {
    out->assign(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    return true;
  }
  // WideToCodePage stops at a terminator; text with an embedded one is not
  // device or message text.
  if (wide.find(L'\0') != std::wstring::npos)
    return false;
  return WideToCodePage(wide.c_str(), toPage, out);
}
