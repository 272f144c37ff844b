// A typed line shown on a terminal by printing alone: characters, Backspace
// to step back a column, and line breaks. That is all a terminal that cannot
// move its cursor understands, and all that is safe where the program cannot
// know what stands before the line (its prompt came through a pipe to tee,
// or went into a file). A change steps back to where the line changed and
// prints it again from there, blanking what is left over; no terminal steps
// back over the start of a row, so a change on an earlier row than the
// cursor's cannot be shown this way, and the caller draws the line again on a
// fresh row.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "terminal/terminal_charset.h"

namespace console {

class PlainEcho {
 public:
  // A line begins, empty, at `start_column` of the row the cursor is on.
  void start(int start_column);

  // Appends to `out` what brings the screen from the line it shows to
  // `chars`, with the cursor before chars[cursor] where it can be placed
  // (after the last character otherwise). False, appending nothing, when
  // that needs a step back over the start of a row.
  bool update(const std::vector<typed_char>& chars, std::size_t cursor, int columns, std::string& out);

  // Prints the rest of the line shown, so that the cursor stands after it;
  // true when that is at the start of a row.
  bool to_end(int columns, std::string& out);

 private:
  struct place {
    int row = 0, column = 0;
  };
  place after(const std::vector<typed_char>& chars, std::size_t count, int columns) const;
  void print(const std::vector<typed_char>& chars, std::size_t from, std::size_t to, int columns, std::string& out);

  std::vector<typed_char> shown_;
  std::size_t shown_cursor_ = 0;  // the character the terminal's cursor stands before
  place at_;                      // and where that is, rows counted from the line's first
  int start_column_ = 0;
};

}  // namespace console
