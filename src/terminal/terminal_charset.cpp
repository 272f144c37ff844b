#include "terminal/terminal_charset.h"

#include <clocale>
#include <cwchar>

namespace console {
namespace {

// East Asian wide ranges, for a C library without a UTF-8 locale to ask.
int fallback_width(char32_t c) {
  bool wide = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xac00 && c <= 0xd7a3) ||
              (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
              (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
  return wide ? 2 : 1;
}

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }

typed_char shown_as_question_marks(std::string bytes, int count) {
  return {std::move(bytes), std::string(static_cast<std::size_t>(count), '?'), count};
}

}  // namespace

int column_width(char32_t code_point) {
  // Widths do not depend on the character set, so a UTF-8 locale answers for
  // every terminal, whatever locale the program runs under.
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (is_control(code_point)) return -1;
  if (utf8 == static_cast<locale_t>(nullptr)) return fallback_width(code_point);
  locale_t previous = uselocale(utf8);
  int width = wcwidth(static_cast<wchar_t>(code_point));
  uselocale(previous);
  return width;
}

TerminalCharset::TerminalCharset(const std::string& charset)
    : utf8_(charset == "UTF-8"), gb18030_(charset == "GB18030"), to_utf32_(charset.c_str(), "UTF-32LE") {}

std::size_t TerminalCharset::length(unsigned char first, std::optional<unsigned char> second) const {
  if (utf8_) return first >= 0xf0 ? 4 : first >= 0xe0 ? 3 : first >= 0xc0 ? 2 : 1;
  if (first < 0x81 || first > 0xfe) return 1;
  if (gb18030_ && second && *second >= 0x30 && *second <= 0x39) return 4;
  return 2;
}

bool TerminalCharset::continues(unsigned char byte) const {
  return utf8_ ? (byte & 0xc0) == 0x80 : byte >= 0x30 && byte != 0x7f && byte != 0xff;
}

typed_char TerminalCharset::character(std::string bytes) {
  if (bytes.size() == 1) {
    auto c = static_cast<unsigned char>(bytes[0]);
    if (c == '\t') return {std::move(bytes), " ", 1};
    if (c < 0x20 || c == 0x7f) return {"?", "?", 1};  // never stored raw either
    if (c < 0x80) return {bytes, bytes, 1};
  }
  std::string wide;
  to_utf32_.convert(bytes, wide, true);
  bool one_character = wide.size() == 4 && !(wide[0] == '?' && wide[1] == 0 && wide[2] == 0 && wide[3] == 0);
  if (!one_character) {
    int count = static_cast<int>(bytes.size());
    return shown_as_question_marks(std::move(bytes), count);
  }
  char32_t code_point = 0;
  for (int i = 3; i >= 0; --i) {
    code_point = (code_point << 8) | static_cast<unsigned char>(wide[static_cast<std::size_t>(i)]);
  }
  int width = column_width(code_point);
  if (width < 0) return shown_as_question_marks(std::move(bytes), 1);  // C1 controls and the like
  std::string shown = bytes;
  return {std::move(bytes), std::move(shown), width};
}

std::vector<typed_char> TerminalCharset::split(std::string_view text) {
  std::vector<typed_char> chars;
  std::size_t i = 0;
  while (i < text.size()) {
    auto first = static_cast<unsigned char>(text[i]);
    std::size_t end = i + 1;
    std::optional<unsigned char> second;
    while (end < text.size() && end - i < length(first, second) &&
           continues(static_cast<unsigned char>(text[end]))) {
      if (!second) second = static_cast<unsigned char>(text[end]);
      ++end;
    }
    chars.push_back(character(std::string(text.substr(i, end - i))));
    i = end;
  }
  return chars;
}

}  // namespace console
