#include <windows.h>

#include "console/console.h"
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

std::string windows_error_text(unsigned long code) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string said;
  if (length > 0) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    said.resize(static_cast<std::size_t>(size > 0 ? size : 0));
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), said.data(), size, nullptr, nullptr);
  }
  if (text != nullptr) LocalFree(text);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.' || said.back() == ' ')) {
    said.pop_back();
  }
  if (said.empty()) {
    std::string number = std::to_string(code);
    const char* english = translatable("Windows error %s");
    said = translate(english);
    said.replace(said.find("%s"), 2, number);
  }
  return said;
}

const char* translate(const char* english) {
  const char* found = catalog().find(english);
  return found != nullptr && *found != '\0' ? found : english;
}

}  // namespace console
