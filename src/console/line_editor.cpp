#include "console/line_editor.h"

namespace console {
namespace {

std::string csi(int count, char command) { return "\x1b[" + std::to_string(count) + command; }

std::string joined(const std::vector<typed_char>& chars) {
  std::string line;
  for (const typed_char& c : chars) line += c.bytes;
  return line;
}

}  // namespace

void LineEditor::start(int start_column) {
  chars_.clear();
  bytes_ = 0;
  cursor_ = 0;
  start_column_ = start_column;
  cursor_row_ = end_row_ = 0;
  end_column_ = start_column;
  drawn_width_ = 0;  // nothing drawn yet: the first character draws it all
  recalled_ = history_.size();
  unsent_.clear();
}

void LineEditor::recount() {
  bytes_ = 0;
  for (const typed_char& c : chars_) bytes_ += c.bytes.size();
}

bool LineEditor::insert(const typed_char& character) {
  if (bytes_ + character.bytes.size() > kMaxBytes) return false;
  chars_.insert(chars_.begin() + static_cast<std::ptrdiff_t>(cursor_), character);
  bytes_ += character.bytes.size();
  ++cursor_;
  return true;
}

void LineEditor::erase_before() {
  if (cursor_ == 0) return;
  bytes_ -= chars_[--cursor_].bytes.size();
  chars_.erase(chars_.begin() + static_cast<std::ptrdiff_t>(cursor_));
}

void LineEditor::erase_at() {
  if (cursor_ == chars_.size()) return;
  bytes_ -= chars_[cursor_].bytes.size();
  chars_.erase(chars_.begin() + static_cast<std::ptrdiff_t>(cursor_));
}

void LineEditor::erase_word_before() {
  std::size_t from = cursor_;
  while (from > 0 && chars_[from - 1].bytes == " ") --from;
  while (from > 0 && chars_[from - 1].bytes != " ") --from;
  chars_.erase(chars_.begin() + static_cast<std::ptrdiff_t>(from),
               chars_.begin() + static_cast<std::ptrdiff_t>(cursor_));
  cursor_ = from;
  recount();
}

void LineEditor::clear() {
  chars_.clear();
  cursor_ = 0;
  bytes_ = 0;
}

void LineEditor::left() {
  if (cursor_ > 0) --cursor_;
}
void LineEditor::right() {
  if (cursor_ < chars_.size()) ++cursor_;
}
void LineEditor::home() { cursor_ = 0; }
void LineEditor::end() { cursor_ = chars_.size(); }

void LineEditor::recall_older() {
  if (recalled_ == 0) return;
  if (recalled_ == history_.size()) unsent_ = chars_;
  chars_ = history_[--recalled_];
  cursor_ = chars_.size();
  recount();
}

void LineEditor::recall_newer() {
  if (recalled_ >= history_.size()) return;
  ++recalled_;
  chars_ = recalled_ == history_.size() ? unsent_ : history_[recalled_];
  cursor_ = chars_.size();
  recount();
}

std::string LineEditor::accept() {
  std::string line = joined(chars_);
  // Like the home console, a line typed twice in a row is kept once.
  if (!line.empty() && (history_.empty() || joined(history_.back()) != line)) history_.push_back(chars_);
  return line;
}

// A character that does not fit in what is left of a row starts the next one,
// written as a line break so that no terminal's own wrapping is relied on; a
// line that ends exactly at the margin moves on to the next row the same way.
std::string LineEditor::redraw(int screen_width) {
  int width = screen_width > 0 ? screen_width : 80;
  drawn_width_ = width;
  int start = start_column_ % width;
  std::string out;
  if (cursor_row_ > 0) out += csi(cursor_row_, 'A');
  out += '\r';
  if (start > 0) out += csi(start, 'C');
  out += "\x1b[J";
  int row = 0, column = start;
  int cursor_row = 0, cursor_column = start;
  for (std::size_t i = 0; i < chars_.size(); ++i) {
    if (column + chars_[i].width > width) {
      out += "\r\n";
      ++row;
      column = 0;
    }
    if (i == cursor_) {
      cursor_row = row;
      cursor_column = column;
    }
    out += chars_[i].shown;
    column += chars_[i].width;
  }
  if (column >= width) {
    out += "\r\n";
    ++row;
    column = 0;
  }
  if (cursor_ == chars_.size()) {
    cursor_row = row;
    cursor_column = column;
  }
  end_row_ = row;
  end_column_ = column;
  if (row > cursor_row) out += csi(row - cursor_row, 'A');
  out += '\r';
  if (cursor_column > 0) out += csi(cursor_column, 'C');
  cursor_row_ = cursor_row;
  return out;
}

std::string LineEditor::show_inserted(int screen_width) {
  int width = screen_width > 0 ? screen_width : 80;
  const typed_char& last = chars_.back();
  bool at_end = cursor_ == chars_.size() && cursor_row_ == end_row_;
  if (!at_end || width != drawn_width_ || end_column_ + last.width > width) return redraw(screen_width);
  end_column_ += last.width;
  std::string out = last.shown;
  if (end_column_ == width) {
    out += "\r\n";
    ++end_row_;
    end_column_ = 0;
  }
  cursor_row_ = end_row_;
  return out;
}

}  // namespace console
