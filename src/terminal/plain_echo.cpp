#include "terminal/plain_echo.h"

#include "terminal/line_layout.h"

namespace console {
namespace {

std::size_t common_prefix(const std::vector<typed_char>& a, const std::vector<typed_char>& b) {
  std::size_t same = 0;
  while (same < a.size() && same < b.size() && a[same].bytes == b[same].bytes && a[same].shown == b[same].shown) {
    ++same;
  }
  return same;
}

std::string back(int columns) { return std::string(static_cast<std::size_t>(columns), '\b'); }

}  // namespace

void PlainEcho::start(int start_column) {
  shown_.clear();
  shown_cursor_ = 0;
  start_column_ = start_column;
  at_ = place{0, start_column};
}

// Where the cursor stands once the first `count` characters are printed.
PlainEcho::place PlainEcho::after(const std::vector<typed_char>& chars, std::size_t count, int columns) const {
  layout at = lay_out(std::span(chars).first(count), count, start_column_, columns);
  return {at.end_row, at.end_column};
}

// Rows are ended by line breaks of the program's own, as the other way of
// drawing ends them, so no terminal's wrapping is relied on.
void PlainEcho::print(const std::vector<typed_char>& chars, std::size_t from, std::size_t to, int columns,
                      std::string& out) {
  for (std::size_t i = from; i < to; ++i) {
    if (at_.column > 0 && at_.column + chars[i].width > columns) {
      out += "\r\n";
      ++at_.row;
      at_.column = 0;
    }
    out += chars[i].shown;
    at_.column += chars[i].width;
  }
  if (at_.column >= columns) {
    out += "\r\n";
    ++at_.row;
    at_.column = 0;
  }
}

bool PlainEcho::update(const std::vector<typed_char>& chars, std::size_t cursor, int columns, std::string& out) {
  std::size_t same = common_prefix(shown_, chars);
  place changed = after(chars, same, columns);
  place old_end = after(shown_, shown_.size(), columns);
  place new_end = after(chars, chars.size(), columns);
  bool shrinks = old_end.row > new_end.row || (old_end.row == new_end.row && old_end.column > new_end.column);
  if ((shown_cursor_ > same && at_.row != changed.row) || (shrinks && old_end.row != new_end.row)) return false;

  if (shown_cursor_ > same) {
    out += back(at_.column - changed.column);
    at_ = changed;
  } else {
    print(shown_, shown_cursor_, same, columns, out);
  }
  print(chars, same, chars.size(), columns, out);
  if (shrinks) {
    int left_over = old_end.column - new_end.column;
    out += std::string(static_cast<std::size_t>(left_over), ' ') + back(left_over);
  }
  shown_ = chars;
  shown_cursor_ = chars.size();
  layout at = lay_out(chars, cursor, start_column_, columns);
  if (cursor < chars.size() && at.cursor_row == at_.row) {
    out += back(at_.column - at.cursor_column);
    at_ = place{at.cursor_row, at.cursor_column};
    shown_cursor_ = cursor;
  }
  return true;
}

bool PlainEcho::to_end(int columns, std::string& out) {
  print(shown_, shown_cursor_, shown_.size(), columns, out);
  shown_cursor_ = shown_.size();
  return at_.column == 0;
}

}  // namespace console
