// UTF-8 and GBK through the C library's iconv.
#include <iconv.h>

#include <cerrno>

#include "files/character_length.h"
#include "files/file_system.h"

namespace files {
namespace {

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
