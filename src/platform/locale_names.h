// Pure helpers that read a POSIX locale name such as "zh_CN.GBK@euro".
#ifndef QUORVEL_PLATFORM_LOCALE_NAMES_H_
#define QUORVEL_PLATFORM_LOCALE_NAMES_H_

#include <string>

#include "platform/platform.h"

// The language part: the text before the first "_", "." or "@", lowercased.
std::string LocaleLanguagePart(const std::string& localeName);

// GBK for the codesets GBK, GB2312, GB18030, CP936 and EUC-CN (compared
// without regard to case, "-" and "_"); UTF-8 for anything else.
ConsoleEncoding LocaleEncoding(const std::string& localeName);

#endif  // QUORVEL_PLATFORM_LOCALE_NAMES_H_
