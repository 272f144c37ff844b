#include "console/locale_charset.h"

#include <langinfo.h>

#include <clocale>
#include <cstdlib>

namespace console {
namespace {

std::string simplified(std::string_view codeset) {
  std::string plain;
  for (char c : codeset) {
    if (c == '-' || c == '_') continue;
    plain.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return plain;
}

const char* environment_locale_name() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

LocaleCharset charset_for_codeset(std::string_view codeset) {
  std::string plain = simplified(codeset);
  if (plain == "GBK" || plain == "CP936") return {"GBK"};
  if (plain == "GB2312" || plain == "EUCCN") return {"EUC-CN"};
  if (plain == "GB18030") return {"GB18030"};
  return {"UTF-8"};
}

std::string_view codeset_of_locale_name(std::string_view name) {
  std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) return {};
  std::string_view codeset = name.substr(dot + 1);
  return codeset.substr(0, codeset.find('@'));
}

LocaleCharset locale_charset() {
  if (std::setlocale(LC_CTYPE, "") != nullptr) {
    return charset_for_codeset(nl_langinfo(CODESET));
  }
  return charset_for_codeset(codeset_of_locale_name(environment_locale_name()));
}

}  // namespace console
