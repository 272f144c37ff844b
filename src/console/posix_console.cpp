// The console of a Linux (or other POSIX) terminal, or of a pipe.
//
// Standard input that is a terminal gives keys straight from the keyboard in
// raw, unechoed mode, for as long as a key read or the password gate needs
// it; the terminal's own settings come back when that ends and on every way
// the process can end. Text crosses in the locale's character set: a GBK
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
#include "console/posix_terminal.h"
#include "console/transcoder.h"

namespace console {
namespace {

constexpr std::size_t kReadSize = std::size_t{64} * 1024;
constexpr int kEscapeWaitMs = 50;

// Waits until `fd` is ready for `events`, for a descriptor someone made
// non-blocking.
void wait_until_ready(int fd, short events) {
  struct pollfd ready {fd, events, 0};
  while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
}

void say_on_stderr(const char* what, int error) {
  std::string line = std::string("roster: ") + what + ": " + std::strerror(error) + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;  // nowhere left to say it
}

// Output nobody can see makes the rest of the session pointless, and a
// status of 0 would report it as done: say so and end.
[[noreturn]] void output_failed(int error) {
  say_on_stderr("cannot write to standard output", error);
  std::exit(output_failed_status);
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wait_until_ready(fd, POLLOUT);
        continue;
      }
      output_failed(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Reads what standard input has, waiting where it is non-blocking. 0 at its
// end; an input that cannot be read (closed, a directory) is said once on
// standard error and then counts as ended.
ssize_t read_input_bytes(void* buffer, std::size_t size) {
  static bool reported = false;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_until_ready(STDIN_FILENO, POLLIN);
      continue;
    }
    if (!reported) say_on_stderr("cannot read standard input", errno);
    reported = true;
    return 0;
  }
}

// One byte from the keyboard; with a timeout, nothing if none comes in time.
std::optional<unsigned char> read_byte(int timeout_ms) {
  if (timeout_ms >= 0) {
    struct pollfd ready {STDIN_FILENO, POLLIN, 0};
    int rc;
    while ((rc = poll(&ready, 1, timeout_ms)) < 0 && errno == EINTR) {
    }
    if (rc <= 0) return std::nullopt;
  }
  unsigned char byte;
  if (read_input_bytes(&byte, 1) != 1) return std::nullopt;
  return byte;
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
    if (keyboard_) terminal::install_guards();
  }

  ~PosixConsole() override {
    if (key_mode_) terminal::leave_key_mode();
  }

  bool read_input(std::string& gbk) override {
    char buffer[kReadSize];
    for (;;) {
      ssize_t n = read_input_bytes(buffer, sizeof buffer);
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

  void enter_key_mode() override { key_mode_ = terminal::enter_key_mode(); }

  void leave_key_mode() override {
    if (key_mode_) terminal::leave_key_mode();
    key_mode_ = false;
  }

  void clear_screen() override {
    if (screen_) write_all(STDOUT_FILENO, ansi_clear);
  }

  void sleep_ms(int milliseconds) override {
    struct timespec left {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

 private:
  // Reads one key press and queues the codes it gives. False at end of input.
  bool read_key_codes() {
    std::optional<unsigned char> first = read_byte(-1);
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
    std::string sequence;
    std::optional<unsigned char> next = read_byte(kEscapeWaitMs);
    if (!next) {
      codes_.push_back(0x1b);  // Esc on its own
      return;
    }
    sequence.push_back(static_cast<char>(*next));
    if (*next == '[' || *next == 'O') {
      // Parameters and intermediates, up to the final byte.
      while ((next = read_byte(kEscapeWaitMs))) {
        sequence.push_back(static_cast<char>(*next));
        bool bracket_after_csi = sequence.size() == 2 && sequence == "[[";
        if (*next >= 0x40 && *next <= 0x7e && !bracket_after_csi) break;
      }
    }
    for (int code : escape_key_codes(sequence)) codes_.push_back(code);
  }

  // A character of several bytes gives one code per byte of its GBK form.
  void queue_character(unsigned char first) {
    std::string raw(1, static_cast<char>(first));
    std::string gbk;
    keys_->convert(raw, gbk, false);
    while (gbk.empty() && keys_->holds_partial()) {
      std::optional<unsigned char> next = read_byte(kEscapeWaitMs);
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
};

}  // namespace

std::unique_ptr<Backend> make_system_backend() {
  return std::make_unique<PosixConsole>();
}

}  // namespace console
