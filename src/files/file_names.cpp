#include "files/file_names.h"

#include <cstdio>

#include "files/character_length.h"

namespace files {

std::string fitting_stem(std::string_view before, std::string_view stem, std::string_view after) {
  if (before.size() + stem.size() + after.size() <= kLongestName) return std::string(stem);
  char mark[16];
  std::snprintf(mark, sizeof mark, "~%08x", static_cast<unsigned>(fingerprint(stem) & 0xffffffffu));
  std::size_t fixed = before.size() + after.size() + std::string_view(mark).size();
  std::size_t room = fixed < kLongestName ? kLongestName - fixed : 0;
  // Whole characters only: UTF-8 where the name is UTF-8, else GBK (a name
  // typed in a GBK locale).
  bool utf8 = is_valid_utf8(stem);
  auto bytes = reinterpret_cast<const unsigned char*>(stem.data());
  std::size_t kept = 0;
  while (kept < stem.size()) {
    std::size_t length = utf8 ? utf8_character_length(bytes + kept, stem.size() - kept)
                              : gbk_character_length(bytes + kept, stem.size() - kept);
    if (kept + length > room) break;
    kept += length;
  }
  return std::string(stem.substr(0, kept)) + mark;
}

}  // namespace files
