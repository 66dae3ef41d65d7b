// UTF-16 and code page conversions through MultiByteToWideChar and
// WideCharToMultiByte.
#include "platform/wide_text_win32.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <utility>

std::wstring Utf8ToWide(const std::string& utf8) {
  if (utf8.empty())
    return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (length <= 0)
    return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], length);
  return wide;
}

std::string WideToUtf8(const std::wstring& wide) {
  std::string narrow;
  WideToCodePage(wide.c_str(), CP_UTF8, &narrow);
  return narrow;
}

bool WideToCodePage(const wchar_t* wide, unsigned codePage, std::string* narrow) {
  const int size = static_cast<int>(wcslen(wide));
  if (size == 0) {
    narrow->clear();
    return true;
  }
  // A character with no form in the code page fails the conversion instead
  // of turning into "?": UTF-8 refuses broken surrogates, other code pages
  // report that they used the default character.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultAt = utf8 ? nullptr : &usedDefault;
  const int length =
      WideCharToMultiByte(codePage, flags, wide, size, nullptr, 0, nullptr, usedDefaultAt);
  if (length <= 0 || usedDefault)
    return false;
  std::string out(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(codePage, flags, wide, size, &out[0], length, nullptr, usedDefaultAt) !=
          length ||
      usedDefault) {
    return false;
  }
  *narrow = std::move(out);
  return true;
}

bool IsValidUtf8(const std::string& bytes) {
  return bytes.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                              static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

std::string InputBytesToUtf8(const std::string& bytes, unsigned codePage) {
  if (IsValidUtf8(bytes))
    return bytes;
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0)
    return bytes;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, &wide[0], length);
  return WideToUtf8(wide);
}
