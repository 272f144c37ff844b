// The console of a Linux (or other POSIX) terminal, or of a pipe.
//
// Standard input that is a terminal is read in raw, unechoed mode from the
// password gate on, keys and lines alike (lines through the line editor); the
// terminal's own settings come back on every way the process can end or
// stop. Text crosses in the locale's character set: a GBK
// locale gets the program's bytes as they are, GB2312 and GB18030 locales get
// them converted (the three disagree on some bytes), and every other locale
// gets UTF-8.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>

#include "console/backend.h"
#include "console/key_codes.h"
#include "console/locale_charset.h"
#include "console/posix_input.h"
#include "console/posix_line_reader.h"
#include "console/posix_terminal.h"
#include "console/transcoder.h"

namespace console {
namespace {

constexpr std::size_t kReadSize = std::size_t{64} * 1024;
constexpr std::size_t kLineShownLimit = 4096;

// The screen columns GBK text takes: two for a double-byte character.
int gbk_width(std::string_view gbk) {
  int width = 0;
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c >= 0x81 && c <= 0xfe && i + 1 < gbk.size()) {
      width += 2;
      ++i;
    } else if (c == '\r') {
      width = 0;
    } else if (c == '\t') {
      width = (width / 8 + 1) * 8;
    } else if (c >= 0x20) {
      ++width;
    }
  }
  return width;
}

// Output nobody can see makes the rest of the session pointless, and a
// status of 0 would report it as done: say so and end.
[[noreturn]] void output_failed(int error) {
  posix::say_on_stderr("cannot write to standard output", error);
  std::exit(output_failed_status);
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        posix::wait_until_ready(fd, POLLOUT);
        continue;
      }
      output_failed(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

class PosixConsole final : public Backend {
 public:
  PosixConsole()
      : keyboard_(isatty(STDIN_FILENO) == 1),
        screen_(isatty(STDOUT_FILENO) == 1),
        charset_(locale_charset()) {
    input_.emplace(charset_.iconv_name.c_str(), "GBK");
    if (!input_->usable()) {  // a set this C library cannot convert: speak UTF-8
      charset_ = charset_for_codeset("UTF-8");
      input_.emplace(charset_.iconv_name.c_str(), "GBK");
    }
    const char* name = charset_.iconv_name.c_str();
    keys_.emplace(name, "GBK");
    if (!charset_.is_gbk()) output_.emplace("GBK", name);
    if (keyboard_) {
      terminal::install_guards();
      lines_.emplace(charset_.iconv_name);
    }
  }

  ~PosixConsole() override {
    if (key_mode_) terminal::leave_key_mode();
  }

  bool read_input(std::string& gbk) override {
    if (keyboard_) return read_typed_line(gbk);
    char buffer[kReadSize];
    for (;;) {
      ssize_t n = posix::read_standard_input(buffer, sizeof buffer);
      if (n == 0) {
        if (!input_->holds_partial()) return false;
        input_->convert({}, gbk, true);
        return true;
      }
      std::size_t before = gbk.size();
      input_->convert(std::string_view(buffer, static_cast<std::size_t>(n)), gbk, false);
      if (gbk.size() > before) return true;
    }
  }

  void write_output(std::string_view gbk) override {
    note_line_shown(gbk);
    if (!output_) {
      write_all(STDOUT_FILENO, gbk);
      return;
    }
    converted_.clear();
    output_->convert(gbk, converted_, false);
    write_all(STDOUT_FILENO, converted_);
  }

  bool has_keyboard() const override { return keyboard_; }

  int read_key() override {
    while (codes_.empty()) {
      if (!read_key_codes()) return -1;
    }
    int code = codes_.front();
    codes_.pop_front();
    return code;
  }

  void wait_for_key() override {
    codes_.clear();
    while (codes_.empty() && read_key_codes()) {
    }
    codes_.clear();
  }

  // Once on, key mode stays on until the program ends (or stops): lines are
  // read in it too, and whatever is typed at any moment then reaches the
  // program as typed, never turned by the terminal's own line editing into
  // something else (an end-of-file mark, an echo of its own).
  void enter_key_mode() override {
    if (!key_mode_) key_mode_ = terminal::enter_key_mode();
  }
  void leave_key_mode() override {}

  void clear_screen() override {
    line_shown_.clear();
    if (screen_) write_all(STDOUT_FILENO, ansi_clear);
  }

  void sleep_ms(int milliseconds) override {
    struct timespec left {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

 private:
  // At a terminal, lines are typed into the line editor, the terminal in key
  // mode meanwhile. Ctrl-D on an empty line ends the input.
  bool read_typed_line(std::string& gbk) {
    if (typed_input_ended_) return false;
    enter_key_mode();
    std::string prompt;
    if (output_) {
      output_->convert(line_shown_, prompt, false);
    } else {
      prompt = line_shown_;
    }
    std::string line;
    bool typed = lines_->read_line(line, prompt, gbk_width(line_shown_));
    if (!typed) {
      typed_input_ended_ = true;
      return false;
    }
    line_shown_.clear();
    line.push_back('\n');
    input_->convert(line, gbk, false);
    return true;
  }

  // Keeps what stands on the screen's last row, which a line typed there
  // follows: the line editor draws it again after Ctrl-L or a stop.
  void note_line_shown(std::string_view gbk) {
    std::size_t line_break = gbk.rfind('\n');
    if (line_break != std::string_view::npos) {
      line_shown_.assign(gbk.substr(line_break + 1));
    } else if (line_shown_.size() < kLineShownLimit) {
      line_shown_.append(gbk);
    }
  }

  // Reads one key press and queues the codes it gives. False at end of input.
  bool read_key_codes() {
    std::optional<unsigned char> first = posix::read_byte(-1);
    if (!first) return false;
    if (*first == 0x1b) {
      queue_escape_key();
    } else if (*first >= 0x80) {
      queue_character(*first);
    } else {
      codes_.push_back(plain_key_code(*first));
    }
    return true;
  }

  // Arrows, Home, F1 and the like arrive as escape sequences.
  void queue_escape_key() {
    for (int code : escape_key_codes(posix::read_escape_sequence())) codes_.push_back(code);
  }

  // A character of several bytes gives one code per byte of its GBK form.
  void queue_character(unsigned char first) {
    std::string raw(1, static_cast<char>(first));
    std::string gbk;
    keys_->convert(raw, gbk, false);
    while (gbk.empty() && keys_->holds_partial()) {
      std::optional<unsigned char> next = posix::read_byte(posix::kKeyRestWaitMs);
      std::string more = next ? std::string(1, static_cast<char>(*next)) : std::string();
      keys_->convert(more, gbk, !next);
    }
    for (char byte : gbk) codes_.push_back(static_cast<unsigned char>(byte));
  }

  bool keyboard_;
  bool screen_;
  bool key_mode_ = false;
  LocaleCharset charset_;
  std::optional<Transcoder> input_;   // standard input's lines
  std::optional<Transcoder> keys_;    // characters typed as keys
  std::optional<Transcoder> output_;  // absent where GBK goes out as it is
  std::string converted_;
  std::deque<int> codes_;
  std::optional<posix::LineReader> lines_;  // at a terminal only
  std::string line_shown_;                  // GBK, since the last line break
  bool typed_input_ended_ = false;
};

}  // namespace

std::unique_ptr<Backend> make_system_backend() {
  return std::make_unique<PosixConsole>();
}

}  // namespace console
