// The console of a Linux (or other POSIX) terminal, or of a pipe.
//
// Standard input that is a terminal gives keys straight from the keyboard in
// raw, unechoed mode; the terminal's own settings come back after every key
// read and on every way the process can end. Text crosses in the locale's
// character set: GBK locales get the program's bytes as they are, every other
// locale gets UTF-8.
#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <optional>

#include "console/backend.h"
#include "console/key_codes.h"
#include "console/locale_charset.h"
#include "console/transcoder.h"

namespace console {
namespace {

constexpr std::size_t kReadSize = std::size_t{64} * 1024;
constexpr int kEscapeWaitMs = 50;

// What the signal handlers need to put the terminal back.
struct termios saved_settings;
volatile sig_atomic_t settings_saved = 0;
volatile sig_atomic_t key_mode_on = 0;
struct termios key_settings;

void restore_terminal() {
  if (settings_saved && key_mode_on) tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
}

// Installs `handler` unless the signal was set to be ignored when the program
// started (as for a job started in the background), which must stay so.
void catch_signal(int signal_number, void (*handler)(int)) {
  struct sigaction current {};
  sigaction(signal_number, nullptr, &current);
  if (current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

void on_fatal_signal(int signal_number) {
  restore_terminal();
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);  // delivered with the default action on return
}

// Ctrl-Z: give the terminal back, stop, and take key mode up again once
// continued. Where the stop cannot happen (a process group with no job
// control to resume it), the process simply goes on with keys unechoed.
void on_stop_signal(int) {
  int saved_errno = errno;
  restore_terminal();
  std::signal(SIGTSTP, SIG_DFL);
  std::raise(SIGTSTP);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the process stops here
  catch_signal(SIGTSTP, on_stop_signal);
  if (settings_saved && key_mode_on) tcsetattr(STDIN_FILENO, TCSANOW, &key_settings);
  errno = saved_errno;
}

// Continued after a stop the handler above did not see (SIGSTOP).
void on_continue(int) {
  int saved_errno = errno;
  if (settings_saved && key_mode_on) tcsetattr(STDIN_FILENO, TCSANOW, &key_settings);
  errno = saved_errno;
}

void install_terminal_guards() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) {
    catch_signal(signal_number, on_fatal_signal);
  }
  catch_signal(SIGTSTP, on_stop_signal);
  catch_signal(SIGCONT, on_continue);
  std::atexit(restore_terminal);
}

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to show it
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
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
  ssize_t n;
  while ((n = ::read(STDIN_FILENO, &byte, 1)) < 0 && errno == EINTR) {
  }
  if (n != 1) return std::nullopt;
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
    if (!charset_.gbk_family) output_.emplace("GBK", name);
    if (keyboard_ && tcgetattr(STDIN_FILENO, &saved_settings) == 0) {
      key_settings = saved_settings;
      key_settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
      // CR still becomes NL, so that an Enter typed ahead during a key read
      // ends its line once the terminal is back in line mode.
      key_settings.c_cc[VMIN] = 1;
      key_settings.c_cc[VTIME] = 0;
      settings_saved = 1;
      install_terminal_guards();
    }
  }

  ~PosixConsole() override {
    restore_terminal();
    key_mode_on = 0;
  }

  bool read_input(std::string& gbk) override {
    char buffer[kReadSize];
    for (;;) {
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
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

  void enter_key_mode() override {
    if (!settings_saved) return;
    key_mode_on = 1;
    tcsetattr(STDIN_FILENO, TCSANOW, &key_settings);
  }

  void leave_key_mode() override {
    restore_terminal();
    key_mode_on = 0;
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
