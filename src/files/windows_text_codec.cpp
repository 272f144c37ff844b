// UTF-8 and GBK (code page 936) through the system's conversions.
#include <windows.h>

#include <string>

#include "files/character_length.h"
#include "files/file_system.h"

namespace files {
namespace {

constexpr UINT kGbk = 936;

// UTF-16 for `text`, strictly: false when any byte is not valid in `code_page`.
bool to_wide(std::string_view text, UINT code_page, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                      length);
  return true;
}

// UTF-16 for `text`, character by character where the whole is not valid;
// each invalid one becomes '?'.
bool to_wide_forgiving(std::string_view text, UINT code_page, std::wstring& wide,
                       std::size_t (*character_length)(const unsigned char*, std::size_t)) {
  if (to_wide(text, code_page, wide)) return true;
  wide.clear();
  std::wstring one;
  while (!text.empty()) {
    std::size_t length = character_length(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    wide += to_wide(text.substr(0, length), code_page, one) ? one : std::wstring(1, L'?');
    text.remove_prefix(length);
  }
  return false;
}

}  // namespace

bool gbk_to_utf8(std::string_view gbk, std::string& utf8) {
  std::wstring wide;
  bool clean = to_wide_forgiving(gbk, kGbk, wide, gbk_character_length);
  if (wide.empty()) return clean;
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::size_t before = utf8.size();
  utf8.resize(before + static_cast<std::size_t>(length));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data() + before, length, nullptr,
                      nullptr);
  return clean;
}

bool utf8_to_gbk(std::string_view utf8, std::string& gbk) {
  std::wstring wide;
  bool clean = to_wide_forgiving(utf8, CP_UTF8, wide, utf8_character_length);
  if (wide.empty()) return clean;
  BOOL defaulted = FALSE;
  int length = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr,
                                   0, "?", &defaulted);
  std::size_t before = gbk.size();
  gbk.resize(before + static_cast<std::size_t>(length));
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), gbk.data() + before,
                      length, "?", &defaulted);
  return clean && !defaulted;
}

}  // namespace files
