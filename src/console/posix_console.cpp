// The console of a Linux (or other POSIX) terminal, or of a pipe.
//
// Standard input that is a terminal is read in raw, unechoed mode from the
// password gate on, keys and lines alike (lines through the line editor); the
// terminal's own settings come back on every way the process can end or
// stop. A terminal that cannot move its cursor (TERM dumb and the like) gets
// no escape sequences: its lines are drawn plainly, and nothing is cleared.
// Text crosses in the locale's character set: a GBK locale gets
// the program's bytes as they are, GB2312 and GB18030 locales get them
// converted (the three disagree on some bytes), and every other locale gets
// UTF-8.
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>

#include "console/backend.h"
#include "console/console.h"
#include "terminal/key_codes.h"
#include "console/locale_charset.h"
#include "messages/messages.h"
#include "terminal/line_reader.h"
#include "console/posix_input.h"
#include "terminal/typed_bytes.h"
#include "terminal/posix_terminal.h"
#include "terminal/posix_terminal_io.h"
#include "console/transcoder.h"

namespace console {
namespace {

constexpr std::size_t kReadSize = std::size_t{64} * 1024;
constexpr std::size_t kLineShownLimit = 4096;
// How long a pipe's reader may take to show a prompt before the line after it.
constexpr int kPipeReadWaitMs = 1000;
constexpr int kPipeShowGraceMs = 10;

// Terminals that cannot move the cursor or clear the screen: an editor's
// shell buffer, a glass terminal, or one nobody named.
bool cannot_move_cursor(const char* term) {
  if (term == nullptr || *term == '\0') return true;
  for (const char* name : {"dumb", "cons25", "emacs"}) {
    if (std::strcmp(term, name) == 0) return true;
  }
  return false;
}

// An editor's shell buffer (Emacs's shell mode: INSIDE_EMACS set, a dumb
// terminal, its echo off) lets the person type the line in the buffer, shows
// it there, and sends it whole at Enter: the program draws none of it again.
// A terminal left without echo by another program is no such buffer.
bool editor_shows_lines(bool dumb) {
  const char* inside_emacs = std::getenv("INSIDE_EMACS");
  if (!dumb || inside_emacs == nullptr || *inside_emacs == '\0') return false;
  struct termios settings {};
  return tcgetattr(STDIN_FILENO, &settings) == 0 && (settings.c_lflag & ECHO) == 0;
}

// Appends output to what stands on the screen row; a backspace steps back
// over the last byte, as it does over a star of the password.
void append_shown(std::string& row, std::string_view gbk) {
  for (char c : gbk) {
    if (c != '\b') {
      row.push_back(c);
    } else if (!row.empty()) {
      row.pop_back();
    }
  }
}

bool is_pipe(int fd) {
  struct stat about {};
  return fstat(fd, &about) == 0 && S_ISFIFO(about.st_mode);
}

// Output nobody can see makes the rest of the session pointless, and a
// status of 0 would report it as done: say so and end.
[[noreturn]] void output_failed(int error) {
  posix::say_on_stderr(message("cannot write to standard output: %s", {std::strerror(error)}));
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
        on_terminal_(isatty(STDOUT_FILENO) == 1),
        output_piped_(is_pipe(STDOUT_FILENO)),
        dumb_(cannot_move_cursor(std::getenv("TERM"))),
        charset_(locale_charset()) {
    choose_reader_language();
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
      terminal_.emplace();
      // The line editor draws the line after the prompt it was shown with.
      // Where the prompt went elsewhere (a pipe to tee, a file, another
      // terminal), nobody knows for sure what stands before the line on the
      // row: the line is drawn plainly there, as on a dumb terminal, and
      // never steps back over what it did not draw itself.
      bool shares_rows = terminal_->echoes_on_standard_output();
      lines_.emplace(*terminal_, charset_.iconv_name,
                     line_style{.plain = dumb_ || !shares_rows, .can_clear = !dumb_, .silent = editor_shows_lines(dumb_)});
      // A pipe's reader (tee) shows the prompt on this terminal; a file or
      // another terminal never does.
      prompt_on_terminal_ = shares_rows || output_piped_;
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
    note_shown(gbk);
    show(gbk);
  }

  void write_error(std::string_view bytes) override {
    std::string_view left = bytes;
    if (terminal_) terminal_->about_to_draw();
    while (!left.empty()) {
      ssize_t n = ::write(STDERR_FILENO, left.data(), left.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;  // nowhere left to say it
      left.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  void write_platform_output(std::string_view bytes) override { show_raw(bytes); }

  std::string platform_text(std::string_view gbk) override {
    if (!output_) return std::string(gbk);
    std::string converted;
    output_->convert(gbk, converted, true);
    return converted;
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
  // something else (an end-of-file mark, an echo of its own, a character's
  // byte erased alone).
  void enter_key_mode() override {
    if (!key_mode_) key_mode_ = terminal::enter_key_mode();
  }
  void leave_key_mode() override {}

  void clear_screen() override {
    row_shown_.clear();
    last_row_.clear();
    if (on_terminal_ && !dumb_) show_raw(ansi_clear);
  }

  void sleep_ms(int milliseconds) override {
    struct timespec left {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

 private:
  // Shows GBK text, converted to the terminal's set.
  void show(std::string_view gbk) {
    if (!output_) {
      show_raw(gbk);
      return;
    }
    converted_.clear();
    output_->convert(gbk, converted_, false);
    show_raw(converted_);
  }

  void show_raw(std::string_view bytes) {
    if (terminal_ && on_terminal_) terminal_->about_to_draw();
    write_all(STDOUT_FILENO, bytes);
    written_ += bytes.size();
  }

  // Lines typed at a terminal: Ctrl-D on an empty line ends the input.
  bool read_typed_line(std::string& gbk) {
    if (typed_input_ended_) return false;
    std::string line;
    if (!read_edited_line(line)) {
      typed_input_ended_ = true;
      return false;
    }
    row_shown_.clear();
    line.push_back('\n');
    input_->convert(line, gbk, false);
    return true;
  }

  // Through the line editor, the terminal in key mode meanwhile; the line
  // follows the prompt.
  bool read_edited_line(std::string& line) {
    enter_key_mode();
    wait_for_prompt_shown();
    return lines_->read_line(line, shown_on_terminal(row_shown_), prompt_on_terminal_);
  }

  // Standard output a pipe: its reader shows the prompt on this terminal
  // when it gets to it, and a line typed ahead would be drawn before the
  // prompt it answers. Once the reader has taken everything in, it is given
  // a moment to write it out.
  // A reader that has not read for the whole wait (stopped, or never
  // reading, as `| sleep 600`) is not waited for again until it has read
  // something, so that a pasted session is not held a second a line.
  void wait_for_prompt_shown() {
    if (!output_piped_) return;
    int unread = 0;
    if (ioctl(STDOUT_FILENO, FIONREAD, &unread) != 0) unread = 0;
    unsigned long long taken = written_ - static_cast<unsigned long long>(unread);
    if (reader_stalled_ && taken == taken_when_stalled_) return;
    reader_stalled_ = false;
    for (int waited = 0; unread > 0; waited += 2) {
      if (waited >= kPipeReadWaitMs) {
        reader_stalled_ = true;
        taken_when_stalled_ = written_ - static_cast<unsigned long long>(unread);
        return;
      }
      sleep_ms(2);
      if (ioctl(STDOUT_FILENO, FIONREAD, &unread) != 0) unread = 0;
    }
    struct pollfd typed {STDIN_FILENO, POLLIN, 0};
    if (posix::byte_waiting() || poll(&typed, 1, 0) > 0) sleep_ms(kPipeShowGraceMs);
  }

  // GBK text as the terminal shows it.
  std::string shown_on_terminal(const std::string& gbk) {
    std::string converted;
    if (!output_) return gbk;
    output_->convert(gbk, converted, false);
    return converted;
  }

  // Keeps the screen's last row since the last line break, which a line
  // typed there follows, and the last whole row before it: both are drawn
  // again after a stop.
  void note_shown(std::string_view gbk) {
    std::size_t last_break = gbk.rfind('\n');
    if (last_break == std::string_view::npos) {
      if (row_shown_.size() < kLineShownLimit) append_shown(row_shown_, gbk);
      return;
    }
    std::size_t row_start = last_break == 0 ? std::string_view::npos : gbk.rfind('\n', last_break - 1);
    if (row_start == std::string_view::npos) {
      append_shown(row_shown_, gbk.substr(0, last_break));
      last_row_ = std::move(row_shown_);
    } else {
      last_row_.assign(gbk.substr(row_start + 1, last_break - row_start - 1));
    }
    row_shown_.clear();
    append_shown(row_shown_, gbk.substr(last_break + 1));
  }

  // After a stop, a key prompt comes back: the password prompt with a star
  // for each key held, or the whole row that asks for a key.
  // It goes to the terminal typed at, whatever standard output is.
  void draw_key_prompt_again() {
    std::string again = "\r\n" + (row_shown_.empty() ? last_row_ + "\r\n" : row_shown_);
    terminal_->write(shown_on_terminal(again));
  }

  // Reads one key press and queues the codes it gives. False at end of input.
  bool read_key_codes() {
    // Brought back between a key's bytes: the key prompt again at once.
    redraw_while_reading redraw(*terminal_, [this] { draw_key_prompt_again(); });
    unsigned char first = 0;
    for (;;) {
      TerminalIo::wait got = terminal_->read_byte(-1, first);
      if (got == TerminalIo::wait::byte) break;
      if (got == TerminalIo::wait::continued) {
        draw_key_prompt_again();
      } else if (got != TerminalIo::wait::resized) {
        return false;
      }
    }
    if (first == 0x1b) {
      std::string sequence = read_escape_sequence(*terminal_);
      if (sequence.size() == 1 && static_cast<unsigned char>(sequence[0]) >= 0x80) {
        codes_.push_back(first);  // Alt and a whole character: none of it is left for a later read
        queue_character(static_cast<unsigned char>(sequence[0]));
      } else {
        for (int code : escape_key_codes(sequence)) codes_.push_back(code);
      }
    } else if (first >= 0x80) {
      queue_character(first);
    } else {
      codes_.push_back(plain_key_code(first));
      if (first == '\r') take_line_feed_with(*terminal_);
    }
    return true;
  }

  // A character of several bytes gives one code per byte of its GBK form.
  void queue_character(unsigned char first) {
    std::string raw(1, static_cast<char>(first));
    std::string gbk;
    keys_->convert(raw, gbk, false);
    while (gbk.empty() && keys_->holds_partial()) {
      unsigned char next = 0;
      bool more = terminal_->read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte;
      keys_->convert(more ? std::string(1, static_cast<char>(next)) : std::string(), gbk, !more);
    }
    for (char byte : gbk) codes_.push_back(static_cast<unsigned char>(byte));
  }

  bool keyboard_;
  bool on_terminal_;  // standard output is a terminal
  bool output_piped_;
  bool dumb_;
  bool prompt_on_terminal_ = true;
  bool key_mode_ = false;
  LocaleCharset charset_;
  std::optional<Transcoder> input_;   // standard input's lines
  std::optional<Transcoder> keys_;    // characters typed as keys
  std::optional<Transcoder> output_;  // absent where GBK goes out as it is
  std::string converted_;
  std::deque<int> codes_;
  std::optional<posix::PosixTerminalIo> terminal_;  // at a terminal only
  std::optional<LineReader> lines_;                 // at a terminal only
  std::string row_shown_;  // GBK, since the last line break
  std::string last_row_;   // GBK, the whole row before it
  bool typed_input_ended_ = false;
  unsigned long long written_ = 0;  // to standard output, all told
  bool reader_stalled_ = false;     // the pipe's reader did not read for a whole wait
  unsigned long long taken_when_stalled_ = 0;
};

}  // namespace

std::unique_ptr<Backend> make_system_backend() {
  return std::make_unique<PosixConsole>();
}

}  // namespace console
