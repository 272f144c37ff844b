// Which character set the user's terminal speaks, from the locale.
#pragma once

#include <string>
#include <string_view>

namespace console {

struct LocaleCharset {
  std::string iconv_name;  // the set as iconv names it

  // The program's own bytes can go out unchanged.
  bool is_gbk() const { return iconv_name == "GBK"; }
};

// The set a locale's codeset stands for here: GBK, GB2312 and GB18030 keep
// their own, anything else (C and POSIX included) is UTF-8.
LocaleCharset charset_for_codeset(std::string_view codeset);

// The codeset part of a locale name: "zh_CN.GBK@x" gives "GBK".
std::string_view codeset_of_locale_name(std::string_view name);

// Sets LC_CTYPE from the environment and reports its character set. A locale
// that is not installed still counts by the codeset in its name.
LocaleCharset locale_charset();

}  // namespace console
