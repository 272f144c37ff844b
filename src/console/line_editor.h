// One line being typed at a terminal: its characters, the cursor among them,
// the lines typed earlier in this run for recall, and the escape sequences
// that show it. Characters are whole, in the terminal's own character set, so
// that Backspace never splits a Chinese character. Nothing here touches the
// terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace console {

struct typed_char {
  std::string bytes;  // as typed, and as stored
  std::string shown;  // as drawn (a '?' for what cannot be shown)
  int width = 1;      // screen columns
};

class LineEditor {
 public:
  // A line holds at most this many bytes, as the kernel's own line editor.
  static constexpr std::size_t kMaxBytes = 4095;

  // A fresh, empty line, drawn from column `start_column` on.
  void start(int start_column);

  // Typing: false when the line is full and the character was not taken.
  bool insert(const typed_char& character);
  void erase_before();       // Backspace
  void erase_at();           // Delete
  void erase_word_before();  // Ctrl-W: spaces, then the word before them
  void clear();              // Esc, Ctrl-U
  void left();
  void right();
  void home();
  void end();
  void recall_older();  // Up
  void recall_newer();  // Down: past the newest, the line being typed

  bool empty() const { return chars_.empty(); }
  // The line's bytes. It joins the lines that Up recalls.
  std::string accept();

  // The sequence that draws the line anew: back to where it starts (the
  // prompt before it stays), the whole line, then the cursor to its place.
  std::string redraw(int screen_width);
  // The sequence for a character just inserted at the end of the line: the
  // character alone where that is enough, the whole line otherwise.
  std::string show_inserted(int screen_width);
  // After the screen was cleared or the line drawn on a fresh row: the line
  // is no longer on the screen, and redraw() starts from the cursor's row.
  void forget_screen() { cursor_row_ = 0; }

 private:
  void recount();

  std::vector<typed_char> chars_;
  std::size_t bytes_ = 0;  // of all the characters
  std::size_t cursor_ = 0;
  int start_column_ = 0;
  int cursor_row_ = 0;  // the screen row of the cursor, from the line's first
  int end_row_ = 0;     // where the drawn line ends
  int end_column_ = 0;
  int drawn_width_ = 0;  // the screen width of the last draw

  std::vector<std::vector<typed_char>> history_;
  std::size_t recalled_ = 0;  // history_.size() while no line is recalled
  std::vector<typed_char> unsent_;  // the line being typed before recall
};

}  // namespace console
