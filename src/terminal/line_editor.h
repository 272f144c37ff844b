// One line being typed at a terminal: its characters, the cursor among them,
// the lines typed earlier in this run for recall, and the escape sequences
// that show it. Characters are whole, in the terminal's own character set, so
// that Backspace never splits a Chinese character. Nothing here touches the
// terminal.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/plain_echo.h"
#include "terminal/terminal_charset.h"

namespace console {

class LineEditor {
 public:
  // A line holds at most this many bytes, as the kernel's own line editor.
  static constexpr std::size_t kMaxBytes = 4095;
  // Lines kept for recall; older ones are forgotten.
  static constexpr std::size_t kHistoryLines = 200;

  using splitter = std::function<std::vector<typed_char>(std::string_view)>;
  // `split` cuts a recalled line's bytes into characters again: the history
  // keeps bytes only.
  explicit LineEditor(splitter split) : split_(std::move(split)) {}

  // Drawn plainly (plain_echo.h) rather than with the cursor moved about.
  void set_plain(bool plain) { plain_ = plain; }

  // A fresh, empty line, typed after `prompt`, which stands on the screen
  // with the cursor at its end; or, where it is not `shown` there (it went
  // into a file), the line starts the cursor's row and the prompt is drawn
  // only with the line again.
  void start(std::vector<typed_char> prompt, bool shown = true);

  // Typing: false when the line is full and the character was not taken.
  bool insert(const typed_char& character);
  void erase_before();       // Backspace
  void erase_at();           // Delete
  void erase_word_before();  // Ctrl-W: blanks, then the word before them
  void erase_to_word_start();  // Alt-Backspace
  void erase_to_word_end();    // Alt-D
  void clear();              // Esc, Ctrl-U
  void left();
  void right();
  void word_left();   // Alt-B
  void word_right();  // Alt-F
  void home();
  void end();
  void recall_older();  // Up
  void recall_newer();  // Down: past the newest, the line being typed

  bool empty() const { return chars_.empty(); }
  std::size_t cursor() const { return cursor_; }
  // The line's bytes as they stand.
  std::string text() const;
  // The line's bytes. It joins the lines that Up recalls.
  std::string accept();

  // --- Drawing ---------------------------------------------------------------
  // Each returns the bytes that bring the screen up to date, for a screen of
  // `columns` by `rows` (0 rows: as many as the line needs). Rows of the line
  // are ended with line breaks, so no terminal's own wrapping is relied on. A
  // line taller than the screen shows the rows around the cursor.

  // The line drawn anew where it stands. After the width changed, it is drawn
  // with its prompt again on a fresh row.
  std::string redraw(int columns, int rows);
  // After a character was inserted: the character alone where that is
  // enough, the whole line otherwise.
  std::string show_inserted(int columns, int rows);
  // The prompt and the line, from the cursor's place at the start of a row:
  // after the screen was cleared, or on a fresh row.
  std::string draw_with_prompt(int columns, int rows);
  // Enter: the whole line, then the cursor at the start of the row after it.
  std::string finish(int columns, int rows);

 private:
  void recount();
  std::size_t word_start() const;
  std::size_t word_end() const;
  void erase(std::size_t from, std::size_t to);
  void recall(std::size_t index);
  std::string enter_region(int columns);
  std::string draw(int columns, int rows);
  std::string fresh_row();
  std::string draw_plainly(int columns);

  splitter split_;
  std::vector<typed_char> chars_;
  std::size_t bytes_ = 0;  // of all the characters
  std::size_t cursor_ = 0;

  std::deque<std::string> history_;
  std::size_t recalled_ = 0;  // history_.size() while no line is recalled
  std::string unsent_;        // the line being typed before recall

  // The prompt, and where the line's screen region stands. The region starts
  // on the prompt's last row, after its tail, and grows down.
  std::vector<typed_char> prompt_;
  bool prompt_shown_ = true;      // the prompt stands before the line
  bool plain_ = false;
  PlainEcho echo_;
  bool region_started_ = false;
  bool prompt_intact_ = true;     // the prompt's tail still stands on the region's first row
  bool on_fresh_row_ = false;     // the prompt ended at the margin: the line starts a row
  std::size_t tail_from_ = 0;     // the first prompt character on its last row
  int start_column_ = 0;
  int layout_columns_ = 0;
  int layout_rows_ = 0;
  int view_top_ = 0;     // the line's row shown on the region's first row
  int cursor_row_ = 0;   // the region's row the cursor is on
  int end_row_ = 0;      // the line's row and column where it ends
  int end_column_ = 0;
};

}  // namespace console
