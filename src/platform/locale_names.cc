#include "platform/locale_names.h"

#include "platform/ascii.h"

std::string LocaleLanguagePart(const std::string& localeName) {
  return LowerAscii(localeName.substr(0, localeName.find_first_of("_.@")));
}

ConsoleEncoding LocaleEncoding(const std::string& localeName) {
  size_t dot = localeName.find('.');
  if (dot == std::string::npos)
    return ConsoleEncoding::kUtf8;
  std::string codeset;
  for (size_t i = dot + 1; i < localeName.size() && localeName[i] != '@'; ++i) {
    char c = localeName[i];
    if (c == '-' || c == '_')
      continue;
    codeset.push_back(LowerAscii(c));
  }
  static const char* const kGbkCodesets[] = {"gbk", "gb2312", "gb18030", "cp936", "euccn"};
  for (const char* gbk : kGbkCodesets) {
    if (codeset == gbk)
      return ConsoleEncoding::kGbk;
  }
  return ConsoleEncoding::kUtf8;
}
