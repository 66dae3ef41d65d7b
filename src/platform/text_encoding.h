// Conversion between character encodings (iconv names: "UTF-8", "GBK",
// "WCHAR_T"), for console texts and device strings.
#ifndef QUORVEL_PLATFORM_TEXT_ENCODING_H_
#define QUORVEL_PLATFORM_TEXT_ENCODING_H_

#include <cstddef>
#include <string>

// Converts size bytes at text from one encoding to the other into *out.
// False, with *out unchanged, when the converter is not available or the
// text holds a character the target encoding lacks (or an invalid sequence).
bool ConvertEncoding(const char* from, const char* to, const void* text, size_t size,
                     std::string* out);

#endif  // QUORVEL_PLATFORM_TEXT_ENCODING_H_
