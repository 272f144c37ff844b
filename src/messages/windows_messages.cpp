#include <windows.h>

#include "messages/message_catalog.h"
#include "messages/messages.h"

namespace console {

extern const std::string_view chinese_catalog;  // built from the zh_CN catalog

namespace {

// The user's interface language decides; where it cannot be read, the
// console's code page (936 on a Simplified Chinese Windows).
bool chinese_reader() {
  LANGID language = GetUserDefaultUILanguage();
  if (language == 0) return GetConsoleOutputCP() == 936 || GetACP() == 936;
  WORD dialect = SUBLANGID(language);
  return PRIMARYLANGID(language) == LANG_CHINESE &&
         (dialect == SUBLANG_CHINESE_SIMPLIFIED || dialect == SUBLANG_CHINESE_SINGAPORE);
}

const message_catalog& catalog() {
  static const message_catalog chinese(chinese_reader() ? chinese_catalog : std::string_view());
  return chinese;
}

}  // namespace

void choose_reader_language() { catalog(); }

const char* translate(const char* english) {
  const char* found = catalog().find(english);
  return found != nullptr && *found != '\0' ? found : english;
}

}  // namespace console
