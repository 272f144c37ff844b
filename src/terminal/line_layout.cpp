#include "terminal/line_layout.h"

namespace console {

layout lay_out(std::span<const typed_char> chars, std::size_t cursor, int start_column, int columns) {
  layout at;
  at.row_starts.push_back(0);
  int row = 0, column = start_column;
  for (std::size_t i = 0; i < chars.size(); ++i) {
    if (column > 0 && column + chars[i].width > columns) {
      ++row;
      column = 0;
      at.row_starts.push_back(i);
    }
    if (i == cursor) {
      at.cursor_row = row;
      at.cursor_column = column;
    }
    column += chars[i].width;
  }
  if (column >= columns) {
    ++row;
    column = 0;
    at.row_starts.push_back(chars.size());
  }
  if (cursor == chars.size()) {
    at.cursor_row = row;
    at.cursor_column = column;
  }
  at.end_row = row;
  at.end_column = column;
  return at;
}

}  // namespace console
