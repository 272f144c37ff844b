// Conversions at the console boundary and the choice of character set from
// the locale.
#include <gtest/gtest.h>

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

TEST(LocaleCharset, TheGbkFamilyKeepsGbkAndEverythingElseIsUtf8) {
  EXPECT_TRUE(console::charset_for_codeset("GBK").gbk_family);
  EXPECT_TRUE(console::charset_for_codeset("gbk").gbk_family);
  EXPECT_TRUE(console::charset_for_codeset("GB2312").gbk_family);
  EXPECT_TRUE(console::charset_for_codeset("GB18030").gbk_family);
  EXPECT_TRUE(console::charset_for_codeset("CP936").gbk_family);
  for (const char* codeset : {"UTF-8", "utf8", "ANSI_X3.4-1968", "ISO-8859-1", ""}) {
    console::LocaleCharset charset = console::charset_for_codeset(codeset);
    EXPECT_FALSE(charset.gbk_family) << codeset;
    EXPECT_EQ(charset.iconv_name, "UTF-8") << codeset;
  }
  EXPECT_EQ(console::codeset_of_locale_name("zh_CN.GBK"), "GBK");
  EXPECT_EQ(console::codeset_of_locale_name("zh_CN.GB18030@euro"), "GB18030");
  EXPECT_EQ(console::codeset_of_locale_name("C"), "");
}

}  // namespace
