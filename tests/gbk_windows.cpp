#include <windows.h>

#include "test_support.h"

namespace testing_support {

std::string gbk(std::string_view utf8) {
  if (utf8.empty()) return {};
  int size = static_cast<int>(utf8.size());
  int wide_length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wide_length);
  int length = WideCharToMultiByte(936, 0, wide.data(), wide_length, nullptr, 0, "?", nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(936, 0, wide.data(), wide_length, out.data(), length, "?", nullptr);
  return out;
}

}  // namespace testing_support
