// Names made from a roster file's name (its lock, its temporary file, its
// backups) must fit where the name itself just fits: a folder entry holds
// 255 bytes at most (255 UTF-16 units on Windows, never fewer than bytes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace files {

inline constexpr std::size_t kLongestName = 255;

// FNV-1a: a short, stable fingerprint of a text (no security in it).
inline std::uint64_t fingerprint(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

// `stem` shortened, where `before` + it + `after` would not fit in one
// folder entry, to as many whole characters as leave room for "~" and eight
// hexadecimal digits of a hash of the whole stem: two long names that begin
// alike still give different names. Unchanged where they fit.
std::string fitting_stem(std::string_view before, std::string_view stem, std::string_view after);

}  // namespace files
