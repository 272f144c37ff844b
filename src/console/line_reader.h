// Lines typed at a terminal in key mode: the keys decoded, the line edited by
// whole characters in the terminal's own character set, and the echo drawn.
// The terminal itself is reached through a TerminalIo.
#pragma once

#include <string>
#include <string_view>

#include "console/line_editor.h"
#include "console/terminal_charset.h"
#include "console/terminal_io.h"

namespace console {

class LineReader {
 public:
  // `charset`: the terminal's set, as iconv names it.
  LineReader(TerminalIo& io, const std::string& charset);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads one line into `line`, in the terminal's set and without its line
  // break. `prompt` is what stands on the screen row before the line, as the
  // terminal shows it: the line is drawn after it, and it is drawn again
  // after Ctrl-L, a stop or a resize. False when the input ends: Ctrl-D on
  // an empty line, or a hang-up.
  bool read_line(std::string& line, std::string_view prompt);

 private:
  typed_char read_character(unsigned char first);
  // Esc and what followed it. False when it changed nothing on the line.
  bool escape_key();
  void draw(const std::string& bytes) { io_.write(bytes); }

  TerminalIo& io_;
  TerminalCharset charset_;
  LineEditor editor_;
};

}  // namespace console
