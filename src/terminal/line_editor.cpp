#include "terminal/line_editor.h"

#include <algorithm>
#include <climits>

#include "terminal/line_layout.h"

namespace console {
namespace {

std::string csi(int count, char command) { return "\x1b[" + std::to_string(count) + command; }

std::string joined(const std::vector<typed_char>& chars, std::size_t from, std::size_t to) {
  std::string text;
  for (std::size_t i = from; i < to; ++i) text += chars[i].bytes;
  return text;
}

std::string shown(const std::vector<typed_char>& chars, std::size_t from, std::size_t to) {
  std::string text;
  for (std::size_t i = from; i < to; ++i) text += chars[i].shown;
  return text;
}

bool is_blank(const typed_char& c) { return c.bytes == " " || c.bytes == "\t"; }

// Letters, digits and every character beyond ASCII (Chinese ones above all).
bool in_word(const typed_char& c) {
  if (c.bytes.size() != 1) return true;
  auto byte = static_cast<unsigned char>(c.bytes[0]);
  return byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

}  // namespace

void LineEditor::start(std::vector<typed_char> prompt, bool shown) {
  prompt_shown_ = shown;
  chars_.clear();
  bytes_ = 0;
  cursor_ = 0;
  recalled_ = history_.size();
  unsent_.clear();
  prompt_ = std::move(prompt);
  region_started_ = false;
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

void LineEditor::erase(std::size_t from, std::size_t to) {
  chars_.erase(chars_.begin() + static_cast<std::ptrdiff_t>(from), chars_.begin() + static_cast<std::ptrdiff_t>(to));
  cursor_ = from;
  recount();
}

void LineEditor::erase_before() {
  if (cursor_ > 0) erase(cursor_ - 1, cursor_);
}

void LineEditor::erase_at() {
  if (cursor_ < chars_.size()) erase(cursor_, cursor_ + 1);
}

void LineEditor::erase_word_before() {
  std::size_t from = cursor_;
  while (from > 0 && is_blank(chars_[from - 1])) --from;
  while (from > 0 && !is_blank(chars_[from - 1])) --from;
  erase(from, cursor_);
}

std::size_t LineEditor::word_start() const {
  std::size_t at = cursor_;
  while (at > 0 && !in_word(chars_[at - 1])) --at;
  while (at > 0 && in_word(chars_[at - 1])) --at;
  return at;
}

std::size_t LineEditor::word_end() const {
  std::size_t at = cursor_;
  while (at < chars_.size() && !in_word(chars_[at])) ++at;
  while (at < chars_.size() && in_word(chars_[at])) ++at;
  return at;
}

void LineEditor::erase_to_word_start() { erase(word_start(), cursor_); }
void LineEditor::erase_to_word_end() {
  std::size_t to = word_end();
  erase(cursor_, to);
}
void LineEditor::word_left() { cursor_ = word_start(); }
void LineEditor::word_right() { cursor_ = word_end(); }

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

void LineEditor::recall(std::size_t index) {
  recalled_ = index;
  chars_ = split_(recalled_ == history_.size() ? unsent_ : history_[recalled_]);
  cursor_ = chars_.size();
  recount();
}

void LineEditor::recall_older() {
  if (recalled_ == 0) return;
  if (recalled_ == history_.size()) unsent_ = text();
  recall(recalled_ - 1);
}

void LineEditor::recall_newer() {
  if (recalled_ < history_.size()) recall(recalled_ + 1);
}

std::string LineEditor::text() const { return joined(chars_, 0, chars_.size()); }

std::string LineEditor::accept() {
  std::string line = text();
  // Like the home console, a line typed twice in a row is kept once.
  if (!line.empty() && (history_.empty() || history_.back() != line)) {
    history_.push_back(line);
    if (history_.size() > kHistoryLines) history_.pop_front();
  }
  return line;
}

// Where the prompt really ends at this width, wide characters that did not
// fit wrapped as the terminal wraps them. A prompt that ends exactly at the
// margin leaves the terminal about to wrap: the line then starts a row of its
// own, so that no redraw can land on the prompt's row.
std::string LineEditor::enter_region(int columns) {
  int column = 0;
  tail_from_ = 0;
  for (std::size_t i = 0; prompt_shown_ && i < prompt_.size(); ++i) {
    const typed_char& c = prompt_[i];
    if (c.bytes == "\t") {
      if (column < columns) column = std::min((column / 8 + 1) * 8, columns - 1);
      continue;
    }
    if (column > 0 && column + c.width > columns) {
      column = 0;
      tail_from_ = i;
    }
    column = std::min(column + c.width, columns);
  }
  std::string out;
  on_fresh_row_ = column >= columns;
  if (!prompt_shown_) tail_from_ = prompt_.size();
  if (on_fresh_row_) {
    out = "\r\n";
    column = 0;
    tail_from_ = prompt_.size();
  }
  start_column_ = column;
  layout_columns_ = columns;
  region_started_ = true;
  prompt_intact_ = true;
  view_top_ = cursor_row_ = 0;
  echo_.start(start_column_);
  return out;
}

// The start of the row after the line, where it is drawn again. Plainly
// that is reached only past the line's end.
std::string LineEditor::fresh_row() {
  std::string out;
  if (!plain_ || !echo_.to_end(layout_columns_, out)) out += "\r\n";
  return out;
}

// Plainly, a change that cannot be shown where the line stands is shown on
// a fresh row, with the prompt again.
std::string LineEditor::draw_plainly(int columns) {
  std::string out;
  if (echo_.update(chars_, cursor_, columns, out)) return out;
  return fresh_row() + draw_with_prompt(columns, 0);
}

std::string LineEditor::draw(int columns, int rows) {
  std::string out;
  if (cursor_row_ > 0) out += csi(cursor_row_, 'A');
  out += '\r';
  layout at = lay_out(chars_, cursor_, start_column_, columns);
  int total = at.end_row + 1;
  int shown_rows = rows > 0 ? std::min(total, rows) : total;
  view_top_ = std::clamp(view_top_, at.cursor_row - shown_rows + 1, at.cursor_row);
  view_top_ = std::clamp(view_top_, 0, total - shown_rows);
  if (view_top_ == 0 && prompt_intact_) {
    if (start_column_ > 0) out += csi(start_column_, 'C');
    out += "\x1b[J";
  } else {
    out += "\x1b[J";
    if (view_top_ == 0) out += shown(prompt_, tail_from_, prompt_.size());
    prompt_intact_ = view_top_ == 0 || tail_from_ == prompt_.size();
  }
  int last = view_top_ + shown_rows - 1;
  for (int row = view_top_; row <= last; ++row) {
    if (row > view_top_) out += "\r\n";
    std::size_t from = at.row_starts[static_cast<std::size_t>(row)];
    std::size_t to = static_cast<std::size_t>(row) + 1 < at.row_starts.size()
                         ? at.row_starts[static_cast<std::size_t>(row) + 1]
                         : chars_.size();
    out += shown(chars_, from, to);
  }
  if (last > at.cursor_row) out += csi(last - at.cursor_row, 'A');
  out += '\r';
  if (at.cursor_column > 0) out += csi(at.cursor_column, 'C');
  cursor_row_ = at.cursor_row - view_top_;
  end_row_ = at.end_row;
  end_column_ = at.end_column;
  layout_rows_ = rows;
  return out;
}

std::string LineEditor::redraw(int columns, int rows) {
  columns = columns > 0 ? columns : 80;
  if (!region_started_) {
    std::string out = enter_region(columns);
    return out + (plain_ ? draw_plainly(columns) : draw(columns, rows));
  }
  if (columns != layout_columns_) return fresh_row() + draw_with_prompt(columns, rows);
  return plain_ ? draw_plainly(columns) : draw(columns, rows);
}

std::string LineEditor::draw_with_prompt(int columns, int rows) {
  columns = columns > 0 ? columns : 80;
  prompt_shown_ = true;
  std::string out = shown(prompt_, 0, prompt_.size());
  out += enter_region(columns);
  if (plain_) {
    echo_.update(chars_, cursor_, columns, out);  // from an empty line it always can
    return out;
  }
  out += draw(columns, rows);
  return out;
}

std::string LineEditor::show_inserted(int columns, int rows) {
  if (plain_) return redraw(columns, rows);
  const typed_char& last = chars_.back();
  bool at_end = region_started_ && cursor_ == chars_.size() && cursor_row_ == end_row_ - view_top_;
  bool same_screen = columns == layout_columns_ && rows == layout_rows_;
  if (!at_end || !same_screen || end_column_ + last.width > columns) return redraw(columns, rows);
  end_column_ += last.width;
  std::string out = last.shown;
  if (end_column_ == columns) {
    out += "\r\n";
    ++end_row_;
    end_column_ = 0;
    // A region as tall as the screen scrolls it: its first row goes.
    if (rows > 0 && end_row_ - view_top_ + 1 > rows) {
      ++view_top_;
      prompt_intact_ = tail_from_ == prompt_.size();
    }
  }
  cursor_row_ = end_row_ - view_top_;
  return out;
}

std::string LineEditor::finish(int columns, int rows) {
  end();
  std::string out = redraw(columns, rows);
  bool on_empty_row = plain_ ? echo_.to_end(columns, out) && (!chars_.empty() || on_fresh_row_)
                             : end_column_ == 0 && (end_row_ > 0 || on_fresh_row_);
  if (!on_empty_row) out += "\r\n";
  return out;
}

}  // namespace console
