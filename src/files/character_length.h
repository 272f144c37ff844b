// UTF-8 and GBK characters in text: how many bytes the one at the start takes,
// for stepping over one that cannot be converted (a byte that starts no whole
// character counts as one), and whether text is well-formed UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

namespace files {

inline std::size_t utf8_character_length(const unsigned char* at, std::size_t left) {
  std::size_t length = at[0] >= 0xF0 ? 4 : at[0] >= 0xE0 ? 3 : at[0] >= 0xC0 ? 2 : 1;
  if (length > left) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((at[i] & 0xC0) != 0x80) return 1;
  }
  return length;
}

inline std::size_t gbk_character_length(const unsigned char* at, std::size_t left) {
  bool pair = at[0] >= 0x81 && at[0] <= 0xFE && left >= 2 && at[1] >= 0x40 && at[1] <= 0xFE && at[1] != 0x7F;
  return pair ? 2 : 1;
}

// Well-formed UTF-8 throughout: no overlong forms, surrogates, or code points
// beyond U+10FFFF.
inline bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4                 ? 4
                                                                        : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    auto second = static_cast<unsigned char>(text[i + 1 < text.size() ? i + 1 : i]);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second > 0x8F)) {
      return false;  // overlong forms, surrogates, beyond U+10FFFF
    }
    i += length;
  }
  return true;
}

}  // namespace files
