// Lines typed at a terminal, read in key mode and edited by whole characters
// in the terminal's own character set, with the echo drawn here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "console/line_editor.h"
#include "console/transcoder.h"

namespace console::posix {

class LineReader {
 public:
  // `charset`: the terminal's set, as iconv names it.
  explicit LineReader(const std::string& charset);

  // Reads one line into `line`, in the terminal's set and without its line
  // break; the terminal must be in key mode. `prompt` is what stands on the
  // screen row before the line, as the terminal shows it, and is drawn
  // again after Ctrl-L or a stop; `prompt_width` is its width in columns.
  // False when the input ends: Ctrl-D on an empty line, or a hang-up.
  bool read_line(std::string& line, std::string_view prompt, int prompt_width);

 private:
  std::optional<unsigned char> next_byte(std::string_view prompt);
  typed_char read_character(unsigned char first);
  std::size_t character_length(unsigned char first, std::optional<unsigned char> second) const;
  void show(std::string_view bytes) const;
  void draw_again(std::string_view prompt);
  int screen_width() const;

  LineEditor editor_;
  std::string charset_;
  Transcoder to_utf32_;
  std::optional<unsigned char> held_;  // read ahead while taking a character
  int echo_fd_;
  int seen_continued_ = 0;
};

// The screen columns a character takes, by the C library's width tables.
int column_width(char32_t code_point);

}  // namespace console::posix
