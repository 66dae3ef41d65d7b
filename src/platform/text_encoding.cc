#include "platform/text_encoding.h"

#include <iconv.h>

#include <cstdint>
#include <utility>

bool ConvertEncoding(const char* from, const char* to, const void* text, size_t size,
                     std::string* out) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)))
    return false;
  // Twice the input and a little covers UTF-8, GBK and wide characters alike.
  std::string converted(size * 2 + 4, '\0');
  char* in = const_cast<char*>(static_cast<const char*>(text));
  size_t inLeft = size;
  char* outAt = &converted[0];
  size_t outLeft = converted.size();
  bool ok = iconv(converter, &in, &inLeft, &outAt, &outLeft) != static_cast<size_t>(-1) &&
            iconv(converter, nullptr, nullptr, &outAt, &outLeft) != static_cast<size_t>(-1);
  iconv_close(converter);
  if (!ok)
    return false;
  converted.resize(converted.size() - outLeft);
  *out = std::move(converted);
  return true;
}
