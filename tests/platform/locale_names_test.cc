// Reading the language and the console encoding from POSIX locale names.
#include "platform/locale_names.h"

#include <gtest/gtest.h>

namespace {

TEST(LocaleNames, LanguagePart) {
  EXPECT_EQ(LocaleLanguagePart("zh_CN.UTF-8"), "zh");
  EXPECT_EQ(LocaleLanguagePart("ZH.GBK"), "zh");
  EXPECT_EQ(LocaleLanguagePart("zh@latin"), "zh");
  EXPECT_EQ(LocaleLanguagePart("C"), "c");
  EXPECT_EQ(LocaleLanguagePart("POSIX"), "posix");
  EXPECT_EQ(LocaleLanguagePart("en_US"), "en");
  EXPECT_EQ(LocaleLanguagePart(""), "");
}

TEST(LocaleNames, GbkFamilyCodesetsGiveGbk) {
  for (const char* name : {"zh_CN.GBK", "zh_CN.gb2312", "zh_CN.GB-18030", "zh_CN.cp936",
                           "zh_CN.EUC-CN", "zh_CN.euc_cn@x"}) {
    EXPECT_EQ(LocaleEncoding(name), ConsoleEncoding::kGbk) << name;
  }
  for (const char* name :
       {"zh_CN.UTF-8", "zh_CN", "C", "", "en_US.ISO-8859-1", "zh_TW.BIG5", "gbk"}) {
    EXPECT_EQ(LocaleEncoding(name), ConsoleEncoding::kUtf8) << name;
  }
}

}  // namespace
