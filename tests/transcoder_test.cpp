// Conversions at the console boundary and the choice of character set from
// the locale.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <random>

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
  EXPECT_EQ(convert("UTF-8", "GBK", "ab\x80" "cd"), "ab?cd") << "ASCII but for one byte";
}

TEST(Transcoder, ACharacterSplitBetweenCallsIsJoined) {
  Transcoder to_gbk("UTF-8", "GBK");
  std::string out;
  to_gbk.convert(kUtf8.substr(0, 2), out, false);
  EXPECT_TRUE(to_gbk.holds_partial());
  to_gbk.convert(kUtf8.substr(2), out, false);
  EXPECT_EQ(out, kGbk);
  to_gbk.convert("\xe4\xb8", out, true);
  EXPECT_EQ(out, kGbk + "?") << "an unfinished character at the very end is one '?'";
  EXPECT_FALSE(to_gbk.holds_partial());
}

// The conversion as the program defines it: each character of the source to
// UTF-32 (an invalid byte, or a character cut off at the very end, becomes
// one '?'), then each to the target (one it lacks becomes '?').
std::string through_unicode(const char* from, const char* to, std::string in) {
  iconv_t decoder = iconv_open("UTF-32LE", from), encoder = iconv_open(to, "UTF-32LE");
  std::string wide;
  char* src = in.data();
  std::size_t left = in.size();
  while (left > 0) {
    char buffer[4];
    char* dst = buffer;
    std::size_t room = sizeof buffer;
    std::size_t rc = iconv(decoder, &src, &left, &dst, &room);
    if (room == 0) {
      wide.append(buffer, 4);
      continue;
    }
    if (rc != static_cast<std::size_t>(-1)) break;
    wide.append("?\0\0\0", 4);
    std::size_t skip = errno == EINVAL ? left : 1;
    src += skip;
    left -= skip;
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
  }
  std::string out;
  for (std::size_t i = 0; i < wide.size(); i += 4) {
    char one[4];
    std::copy_n(wide.data() + i, 4, one);
    char* from_char = one;
    std::size_t one_left = 4;
    char buffer[8];
    char* dst = buffer;
    std::size_t room = sizeof buffer;
    if (iconv(encoder, &from_char, &one_left, &dst, &room) == static_cast<std::size_t>(-1)) {
      out += std::string_view(to) == "UTF-32LE" ? std::string("?\0\0\0", 4) : std::string("?");
      iconv(encoder, nullptr, nullptr, nullptr, nullptr);
    } else {
      out.append(buffer, sizeof buffer - room);
    }
  }
  iconv_close(decoder);
  iconv_close(encoder);
  return out;
}

TEST(Transcoder, AgreesWithTheConversionThroughUnicodeWhateverTheInputAndHowItArrives) {
  // Characters every set or only some sets hold (GBK's and GB2312's middle
  // dots and dashes differ), bytes no set reads, and characters cut short.
  const std::u32string characters = U"a\n\t中文·・―€é：😀𠀀\u0080";
  const std::vector<std::pair<const char*, const char*>> pairs = {
      {"GBK", "UTF-8"}, {"GBK", "EUC-CN"}, {"GBK", "GB18030"}, {"UTF-8", "GBK"}, {"EUC-CN", "GBK"},
      {"GB18030", "GBK"}, {"UTF-8", "UTF-32LE"}, {"GBK", "UTF-32LE"}, {"GB18030", "UTF-32LE"}};
  std::mt19937 random(2026);
  for (const auto& [from, to] : pairs) {
    std::vector<std::string> pieces = {"\x80", "\xff", "\xa1", "\xe4\xb8", "\x95\x32", "\x81"};
    for (char32_t c : characters) {
      std::string wide(reinterpret_cast<const char*>(&c), 4);
      std::string encoded = through_unicode("UTF-32LE", from, wide);
      if (encoded != "?" || c == U'?') pieces.push_back(encoded);
    }
    for (int round = 0; round < 1000; ++round) {
      std::string in;
      for (int n = static_cast<int>(random() % 10); n > 0; --n) in += pieces[random() % pieces.size()];
      std::string expected = through_unicode(from, to, in);
      Transcoder whole(from, to);
      std::string out;
      whole.convert(in, out, true);
      ASSERT_EQ(out, expected) << from << " to " << to << ": " << ::testing::PrintToString(in);
      Transcoder pieces_at_a_time(from, to);
      out.clear();
      for (std::size_t at = 0; at < in.size();) {
        std::size_t n = std::min<std::size_t>(1 + random() % 4, in.size() - at);
        pieces_at_a_time.convert(std::string_view(in).substr(at, n), out, false);
        at += n;
      }
      pieces_at_a_time.convert({}, out, true);
      ASSERT_EQ(out, expected) << from << " to " << to << " in pieces: " << ::testing::PrintToString(in);
    }
  }
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
