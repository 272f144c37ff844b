// How many bytes the character at the start of some UTF-8 or GBK text takes,
// for stepping over one that cannot be converted: a byte that starts no
// whole character counts as one.
#pragma once

#include <cstddef>

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

}  // namespace files
