#include "files/lock_holder.h"

#include "console/console.h"

namespace files {

// Anyone who may write the roster may write its lock file: what it says is
// shown with every control character (C0, DEL, C1, and bytes that are no
// UTF-8, such as a lone 0x9B, which some terminals take for a CSI) as '?',
// and cut short, so that it can neither drive the reader's terminal nor
// bury the message.
std::string shown_safely(std::string_view text) {
  constexpr std::size_t kLongest = 80;
  std::string shown;
  for (std::size_t i = 0; i < text.size() && shown.size() < kLongest;) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t length = byte < 0x80 ? 1 : byte >= 0xc2 && byte <= 0xdf ? 2 : byte >= 0xe0 && byte <= 0xef ? 3
                       : byte >= 0xf0 && byte <= 0xf4 ? 4 : 0;
    bool whole = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) whole = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
    bool control = byte < 0x20 || byte == 0x7f || (byte == 0xc2 && whole && static_cast<unsigned char>(text[i + 1]) < 0xa0);
    if (!whole || control) {
      shown.push_back('?');
      i += whole ? length : 1;
      continue;
    }
    shown.append(text.substr(i, length));
    i += length;
  }
  return shown;
}

std::string lock_holder_lines(std::string_view user, std::string_view host, std::string_view started) {
  std::string lines;
  for (std::string_view line : {user, host, started}) lines.append(line).push_back('\n');
  return lines;
}

std::string lock_holder_said(std::string_view lines) {
  std::string field[3];
  std::size_t at = 0;
  for (std::string& one : field) {
    std::size_t end = lines.find('\n', at);
    if (end == std::string_view::npos) return console::message("who and since when is not known");
    one = shown_safely(lines.substr(at, end - at));
    at = end + 1;
  }
  return console::message("%s on %s, since %s", {field[0], field[1], field[2]});
}

}  // namespace files
