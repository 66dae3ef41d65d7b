#include "support/code_page.h"

#include <iconv.h>

namespace e2e {

std::string ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1))
    return "<no GBK converter>";
  std::string in = utf8;
  std::string out(in.size() * 2 + 8, '\0');
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1))
    return "<not convertible to GBK>";
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace e2e
