// A terminal emulator (libvterm) fed with what the program wrote, so that a
// test sees the screen a person would see: the rows as they read, and where
// the cursor stands.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>
#include <vector>

struct VTerm;

namespace testing_support {

class Screen {
 public:
  // `charset`: what the program writes in (converted to UTF-8 for the emulator).
  Screen(int rows, int columns, const char* charset = "UTF-8");
  ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // Feeds what `output` holds beyond what was fed before.
  void catch_up(const std::string& output);
  // The terminal changed size: the rows are cut or padded, not reflowed.
  void resize(int rows, int columns);

  // A row as it reads, in UTF-8, without trailing blanks.
  std::string row(int index) const;
  // Every row, and the rows joined by line breaks (trailing empty rows left out).
  std::vector<std::string> rows() const;
  std::string text() const;
  int cursor_row() const;
  int cursor_column() const;

 private:
  VTerm* vterm_;
  iconv_t to_utf8_;
  std::string held_;  // a character cut off at the end of the last feed
  std::size_t fed_ = 0;
  int rows_;
  int columns_;
};

}  // namespace testing_support
