#include "screen.h"

#include <vterm.h>

#include <cerrno>
#include <stdexcept>

namespace testing_support {
namespace {

void append_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

}  // namespace

Screen::Screen(int rows, int columns, const char* charset)
    : vterm_(vterm_new(rows, columns)), to_utf8_(iconv_open("UTF-8", charset)), rows_(rows), columns_(columns) {
  if (to_utf8_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  vterm_set_utf8(vterm_, 1);
  vterm_screen_reset(vterm_obtain_screen(vterm_), 1);
}

Screen::~Screen() {
  vterm_free(vterm_);
  iconv_close(to_utf8_);
}

void Screen::catch_up(const std::string& output) {
  std::string in = held_ + output.substr(std::min(fed_, output.size()));
  fed_ = output.size();
  held_.clear();
  std::string out(in.size() * 4 + 16, '\0');
  char* src = in.data();
  std::size_t src_left = in.size();
  char* dst = out.data();
  std::size_t dst_left = out.size();
  while (src_left > 0) {
    if (iconv(to_utf8_, &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1)) break;
    if (errno == EINVAL) {  // completed by the next feed
      held_.assign(src, src_left);
      break;
    }
    *dst++ = '?';  // what the set cannot read shows as the terminal would, one mark
    --dst_left;
    ++src;
    --src_left;
  }
  vterm_input_write(vterm_, out.data(), static_cast<std::size_t>(dst - out.data()));
}

void Screen::resize(int rows, int columns) {
  rows_ = rows;
  columns_ = columns;
  vterm_set_size(vterm_, rows, columns);
}

std::string Screen::row(int index) const {
  std::string text;
  VTermScreen* screen = vterm_obtain_screen(vterm_);
  for (int column = 0; column < columns_; ++column) {
    VTermScreenCell cell{};
    vterm_screen_get_cell(screen, VTermPos{index, column}, &cell);
    if (cell.chars[0] == 0 || cell.chars[0] == static_cast<uint32_t>(-1)) {
      text += ' ';
    } else {
      for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; ++i) append_utf8(text, cell.chars[i]);
    }
    if (cell.width == 2) ++column;
  }
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

std::vector<std::string> Screen::rows() const {
  std::vector<std::string> all;
  for (int index = 0; index < rows_; ++index) all.push_back(row(index));
  return all;
}

std::string Screen::text() const {
  std::vector<std::string> all = rows();
  while (!all.empty() && all.back().empty()) all.pop_back();
  std::string joined;
  for (const std::string& r : all) joined += r + "\n";
  return joined;
}

int Screen::cursor_row() const {
  VTermPos at{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &at);
  return at.row;
}

int Screen::cursor_column() const {
  VTermPos at{};
  vterm_state_get_cursorpos(vterm_obtain_state(vterm_), &at);
  return at.col;
}

}  // namespace testing_support
