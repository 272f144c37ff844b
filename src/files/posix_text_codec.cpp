// UTF-8 and GBK through the C library's iconv.
#include <iconv.h>

#include <cerrno>

#include "files/file_system.h"

namespace files {
namespace {

std::size_t utf8_character_length(const unsigned char* at, std::size_t left) {
  std::size_t length = at[0] >= 0xF0 ? 4 : at[0] >= 0xE0 ? 3 : at[0] >= 0xC0 ? 2 : 1;
  if (length > left) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((at[i] & 0xC0) != 0x80) return 1;
  }
  return length;
}

std::size_t gbk_character_length(const unsigned char* at, std::size_t left) {
  bool pair = at[0] >= 0x81 && at[0] <= 0xFE && left >= 2 && at[1] >= 0x40 && at[1] <= 0xFE && at[1] != 0x7F;
  return pair ? 2 : 1;
}

// Converts with `converter`; each character it cannot convert becomes '?',
// skipping the `character_length` bytes it takes.
bool convert(iconv_t converter, std::string_view in, std::string& out,
             std::size_t (*character_length)(const unsigned char*, std::size_t)) {
  if (converter == reinterpret_cast<iconv_t>(-1)) {  // a C library without GBK
    out.append(in);
    return false;
  }
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* from = const_cast<char*>(in.data());
  std::size_t left = in.size();
  bool clean = true;
  char buffer[4096];
  while (left > 0) {
    char* to = buffer;
    std::size_t room = sizeof buffer;
    std::size_t result = iconv(converter, &from, &left, &to, &room);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
    if (result != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    clean = false;
    out.push_back('?');
    std::size_t skip = character_length(reinterpret_cast<unsigned char*>(from), left);
    from += skip;
    left -= skip;
  }
  return clean;
}

}  // namespace

bool gbk_to_utf8(std::string_view gbk, std::string& utf8) {
  static iconv_t converter = iconv_open("UTF-8", "GBK");
  return convert(converter, gbk, utf8, gbk_character_length);
}

bool utf8_to_gbk(std::string_view utf8, std::string& gbk) {
  static iconv_t converter = iconv_open("GBK", "UTF-8");
  return convert(converter, utf8, gbk, utf8_character_length);
}

}  // namespace files
