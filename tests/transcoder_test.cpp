// Conversions at the console boundary and the choice of character set from
// the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "console/locale_charset.h"
#include "console/transcoder.h"

namespace {

using console::Transcoder;

// 中文 in each encoding.
const std::string kUtf8 = "\xe4\xb8\xad\xe6\x96\x87";
const std::string kGbk = "\xd6\xd0\xce\xc4";

std::string convert(const char* from, const char* to, std::string_view in) {
  Transcoder transcoder(from, to);
  std::string out;
  transcoder.convert(in, out, true);
  return out;
}

TEST(Transcoder, ConvertsBothWays) {
  EXPECT_EQ(convert("UTF-8", "GBK", "A" + kUtf8 + "\n"), "A" + kGbk + "\n");
  EXPECT_EQ(convert("GBK", "UTF-8", kGbk + "\t1"), kUtf8 + "\t1");
  EXPECT_EQ(convert("GBK", "GBK", kGbk), kGbk);
}

TEST(Transcoder, ACharacterGbkLacksBecomesOneQuestionMark) {
  EXPECT_EQ(convert("UTF-8", "GBK", "a\xf0\x9f\x98\x80" "b"), "a?b");  // an emoji
  EXPECT_EQ(convert("GB18030", "GBK", "\x95\x32\x82\x36" "b"), "?b");   // a four-byte character
}

TEST(Transcoder, InvalidBytesBecomeQuestionMarksAndNothingAfterThemIsLost) {
  EXPECT_EQ(convert("UTF-8", "GBK", "a\xff" "b\xe4\xb8\n"), "a?b??\n");
  EXPECT_EQ(convert("GBK", "GBK", "a\xd6\nb"), "a?\nb") << "half a GBK character before a line break";
  EXPECT_EQ(convert("GBK", "UTF-8", "\xffx"), "?x");
}

TEST(Transcoder, ACharacterSplitBetweenCallsIsJoined) {
  Transcoder to_gbk("UTF-8", "GBK");
  std::string out;
  to_gbk.convert(kUtf8.substr(0, 2), out, false);
  EXPECT_TRUE(to_gbk.holds_partial());
  to_gbk.convert(kUtf8.substr(2), out, false);
  EXPECT_EQ(out, kGbk);
  to_gbk.convert("\xe4", out, true);
  EXPECT_EQ(out, kGbk + "?") << "an unfinished character at the very end";
  EXPECT_FALSE(to_gbk.holds_partial());
}

TEST(LocaleCharset, TheGbFamilyKeepsItsOwnAndEverythingElseIsUtf8) {
  EXPECT_TRUE(console::charset_for_codeset("GBK").is_gbk());
  EXPECT_TRUE(console::charset_for_codeset("gbk").is_gbk());
  EXPECT_TRUE(console::charset_for_codeset("CP936").is_gbk());
  EXPECT_EQ(console::charset_for_codeset("GB2312").iconv_name, "EUC-CN");
  EXPECT_EQ(console::charset_for_codeset("GB18030").iconv_name, "GB18030");
  for (const char* codeset : {"UTF-8", "utf8", "ANSI_X3.4-1968", "ISO-8859-1", ""}) {
    EXPECT_EQ(console::charset_for_codeset(codeset).iconv_name, "UTF-8") << codeset;
  }
  EXPECT_EQ(console::codeset_of_locale_name("zh_CN.GBK"), "GBK");
  EXPECT_EQ(console::codeset_of_locale_name("zh_CN.GB18030@euro"), "GB18030");
  EXPECT_EQ(console::codeset_of_locale_name("C"), "");
}

TEST(LocaleCharset, ALocaleNotInstalledCountsByLcAllThenLcCtypeThenLang) {
  struct variables {
    const char* lc_all;
    const char* lc_ctype;
    const char* lang;
    const char* charset;
  };
  const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const variables& v : {variables{"xx_XX.GB18030", "xx_XX.GBK", "xx_XX.UTF-8", "GB18030"},
                             variables{"", "xx_XX.GBK", "xx_XX.GB18030", "GBK"},
                             variables{"", "", "xx_XX.GB2312", "EUC-CN"}}) {
    const char* values[] = {v.lc_all, v.lc_ctype, v.lang};
    for (int i = 0; i < 3; ++i) setenv(names[i], values[i], 1);
    EXPECT_EQ(console::locale_charset().iconv_name, v.charset) << v.lc_all << v.lc_ctype << v.lang;
  }
  for (const char* name : names) unsetenv(name);
  std::setlocale(LC_CTYPE, "C");
}

}  // namespace
