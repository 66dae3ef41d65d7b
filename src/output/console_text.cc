#include "output/console_text.h"

#include <iconv.h>

#include <map>
#include <utility>

#include "output/log_output.h"
#include "platform/platform.h"

namespace {

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80)
      return false;
  }
  return true;
}

bool ConvertUtf8ToGbk(const std::string& utf8, std::string* gbk) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1))
    return false;
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* outPtr = &out[0];
  size_t outLeft = out.size();
  size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (result == static_cast<size_t>(-1))
    return false;
  out.resize(out.size() - outLeft);
  *gbk = std::move(out);
  return true;
}

}  // namespace

std::string ToConsoleEncoding(const std::string& utf8) {
  if (IsAscii(utf8) || g_platform.consoleEncoding() == ConsoleEncoding::kUtf8)
    return utf8;
  // The same few texts are printed over and over (progress labels above all).
  static std::map<std::string, std::string> cache;
  auto it = cache.find(utf8);
  if (it != cache.end())
    return it->second;
  std::string gbk;
  if (!ConvertUtf8ToGbk(utf8, &gbk))
    gbk = utf8;
  cache.emplace(utf8, gbk);
  return gbk;
}

std::string Text(Msg id) {
  return ToConsoleEncoding(MessageUtf8(id, UiLanguage != 0));
}

void WriteOut(const std::string& bytes) {
  g_platform.writeOut(bytes.data(), bytes.size());
}

void FlushOut() {
  g_platform.flushOut();
}

void WriteLine(const std::string& bytes) {
  WriteOut(bytes);
  WriteOut("\n");
  FlushOut();
}
