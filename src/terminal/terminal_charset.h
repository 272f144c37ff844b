// How the terminal's character set cuts typed bytes into characters, and how
// each character shows: its columns, and a '?' for what must not reach the
// screen raw. Nothing here touches the terminal.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/transcoder.h"

namespace console {

struct typed_char {
  std::string bytes;  // as typed, and as stored
  std::string shown;  // as drawn (a '?' for what cannot be shown)
  int width = 1;      // screen columns
};

class TerminalCharset {
 public:
  // `charset`: the terminal's set as iconv names it (UTF-8, GBK, GB18030, EUC-CN).
  explicit TerminalCharset(const std::string& charset);

  // How many bytes the character that `first` begins takes, as far as its
  // first byte (and, for GB18030, its second) tells.
  std::size_t length(unsigned char first, std::optional<unsigned char> second = std::nullopt) const;
  // True for a byte that can stand inside a character after its first.
  bool continues(unsigned char byte) const;

  // One character from its bytes. Bytes that make no character of the set
  // are kept as they are and shown as one '?' each; control characters (C0
  // and C1) show as one '?'. A Tab is kept and shown as a space.
  typed_char character(std::string bytes);

  // A whole text cut into characters, as they would have been typed.
  std::vector<typed_char> split(std::string_view text);

 private:
  bool utf8_;
  bool gb18030_;
  Transcoder to_utf32_;
};

// The screen columns a character takes, by the C library's width tables; -1
// for one that is not printable.
int column_width(char32_t code_point);

}  // namespace console
