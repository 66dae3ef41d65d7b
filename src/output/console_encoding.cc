#include "output/console_encoding.h"

#include <map>
#include <utility>

#include "output/log_printers.h"
#include "platform/platform.h"
#include "platform/text_encoding.h"

namespace {

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80)
      return false;
  }
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
  if (!ConvertEncoding("UTF-8", "GBK", utf8.data(), utf8.size(), &gbk))
    gbk = utf8;
  cache.emplace(utf8, gbk);
  return gbk;
}

std::string Text(Msg id) {
  return ToConsoleEncoding(MessageUtf8(id, UiLanguage != 0));
}

bool TextOutputSuppressed = false;

void WriteOut(const std::string& bytes) {
  if (TextOutputSuppressed)
    return;
  g_platform.writeOut(bytes.data(), bytes.size());
}

void WriteResultLine(const std::string& bytes) {
  std::string line = bytes + "\n";
  g_platform.writeOut(line.data(), line.size());
  g_platform.flushOut();
}

void FlushOut() {
  g_platform.flushOut();
}

void WriteErrorLine(const std::string& text) {
  std::string line = text + "\n";
  g_platform.writeErr(line.data(), line.size());
}

void WriteLine(const std::string& bytes) {
  WriteOut(bytes);
  WriteOut("\n");
  FlushOut();
}
