// Names made from a roster file's name (its lock, its temporary file, its
// backups) must fit where the name itself just fits: a folder entry holds
// 255 bytes at most (255 UTF-16 units on Windows, never fewer than bytes).
#pragma once

#include <string>
#include <string_view>

namespace files {

inline constexpr std::size_t kLongestName = 255;

// `stem` shortened, where `before` + it + `after` would not fit in one
// folder entry, to as many whole characters as leave room for "~" and eight
// hexadecimal digits of a hash of the whole stem: two long names that begin
// alike still give different names. Unchanged where they fit.
std::string fitting_stem(std::string_view before, std::string_view stem, std::string_view after);

}  // namespace files
