// Windows' wide text (UTF-16) and its code pages, to and from the UTF-8 that
// the program keeps all text in: file names, arguments, input lines, device
// strings. Windows only (wide_text_win32.cc).
#ifndef QUORVEL_PLATFORM_WIDE_TEXT_WIN32_H_
#define QUORVEL_PLATFORM_WIDE_TEXT_WIN32_H_

#include <string>

// The code page of GBK, the simplified Chinese console's.
constexpr unsigned kGbkCodePage = 936;

// The UTF-8 text as UTF-16. Empty for empty text and when the system converts
// none of it; an invalid sequence is replaced, not refused.
std::wstring Utf8ToWide(const std::string& utf8);
// The wide text, up to its first NUL, as UTF-8. Empty when the text is empty
// or holds a broken surrogate pair.
std::string WideToUtf8(const std::wstring& wide);
// Writes the NUL-terminated wide text in that code page to narrow and returns
// true; false, leaving narrow alone, when a character has no form there
// (no "?" stands in for it) or a surrogate pair is broken.
bool WideToCodePage(const wchar_t* wide, unsigned codePage, std::string* narrow);
// Whether the bytes are valid UTF-8; empty bytes are.
bool IsValidUtf8(const std::string& bytes);
// A line read from redirected input, in UTF-8: the bytes as they are when
// they are UTF-8 already (or cannot be read in the code page), else read as
// text in that code page.
std::string InputBytesToUtf8(const std::string& bytes, unsigned codePage);

#endif  // QUORVEL_PLATFORM_WIDE_TEXT_WIN32_H_
