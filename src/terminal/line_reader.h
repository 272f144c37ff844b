// Lines typed at a terminal in key mode: the keys decoded, the line edited by
// whole characters in the terminal's own character set, and the echo drawn.
// The terminal itself is reached through a TerminalIo.
#pragma once

#include <string>
#include <string_view>

#include "terminal/line_editor.h"
#include "terminal/terminal_charset.h"
#include "terminal/terminal_io.h"

namespace console {

// How a line is drawn: with the cursor moved about where the program shares
// the screen's rows with what it shows; plainly where the terminal cannot
// move its cursor or the prompt went another way (plain_echo.h).
struct line_style {
  bool plain = false;
  bool can_clear = true;  // Ctrl-L clears the screen (a dumb terminal's is never cleared)
  // Nothing is drawn at all: the terminal shows the line itself, as an
  // editor's shell buffer does, which sends it whole at Enter.
  bool silent = false;
};

class LineReader {
 public:
  // `charset`: the terminal's set, as iconv names it.
  LineReader(TerminalIo& io, const std::string& charset, line_style how = {});
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads one line into `line`, in the terminal's set and without its line
  // break. `prompt` is what stands on the screen row before the line, as the
  // terminal shows it: the line is drawn after it, and it is drawn again
  // after Ctrl-L, a stop or a resize; where it is not `prompt_shown` (it went
  // into a file), the line starts the cursor's row. False when the input
  // ends: Ctrl-D on an empty line, or a hang-up.
  bool read_line(std::string& line, std::string_view prompt, bool prompt_shown = true);

 private:
  typed_char read_character(unsigned char first);
  // Esc and what followed it. False when it changed nothing on the line.
  bool escape_key();
  void draw(const std::string& bytes) {
    if (!style_.silent) io_.write(bytes);
  }

  TerminalIo& io_;
  line_style style_;
  TerminalCharset charset_;
  LineEditor editor_;
};

}  // namespace console
