// Where the characters of a typed line fall on the screen's rows, for both
// ways of drawing it: with the cursor moved about, and plainly.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "terminal/terminal_charset.h"

namespace console {

struct layout {
  std::vector<std::size_t> row_starts;  // the first character of each row
  int cursor_row = 0, cursor_column = 0;
  int end_row = 0, end_column = 0;
};

// The line laid out from `start_column` of its first row. A character that
// does not fit in what is left of a row starts the next one; a line that ends
// exactly at the margin leaves its cursor on the next row.
layout lay_out(std::span<const typed_char> chars, std::size_t cursor, int start_column, int columns);

}  // namespace console
