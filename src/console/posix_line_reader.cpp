#include "console/posix_line_reader.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cwchar>

#include "console/backend.h"
#include "console/console.h"
#include "console/key_codes.h"
#include "console/posix_input.h"
#include "console/posix_terminal.h"

namespace console::posix {
namespace {

constexpr int kCtrlA = 0x01, kCtrlB = 0x02, kCtrlD = 0x04, kCtrlE = 0x05, kCtrlF = 0x06,
              kCtrlL = 0x0c, kCtrlN = 0x0e, kCtrlP = 0x10, kCtrlU = 0x15, kCtrlW = 0x17;
constexpr int kDel = 0x7f, kEsc = 0x1b;

typed_char plain(char c) { return {std::string(1, c), std::string(1, c), 1}; }

// East Asian wide ranges, for a C library without a UTF-8 locale to ask.
int fallback_width(char32_t c) {
  bool wide = (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xac00 && c <= 0xd7a3) ||
              (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
              (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
  return wide ? 2 : 1;
}

}  // namespace

int column_width(char32_t code_point) {
  // Widths do not depend on the character set, so a UTF-8 locale answers for
  // every terminal, whatever locale the program runs under.
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == static_cast<locale_t>(nullptr)) return fallback_width(code_point);
  locale_t previous = uselocale(utf8);
  int width = wcwidth(static_cast<wchar_t>(code_point));
  uselocale(previous);
  return width < 0 ? 1 : width;
}

LineReader::LineReader(const std::string& charset)
    : charset_(charset),
      to_utf32_(charset.c_str(), "UTF-32LE"),
      echo_fd_(isatty(STDOUT_FILENO) ? STDOUT_FILENO : STDIN_FILENO) {}

void LineReader::show(std::string_view bytes) const {
  while (!bytes.empty()) {
    ssize_t n = ::write(echo_fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // an echo that cannot be shown loses nothing typed
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The prompt and the line on a fresh screen row: after Ctrl-L, and after a
// stop, when the shell has written over the screen.
void LineReader::draw_again(std::string_view prompt) {
  show(prompt);
  editor_.forget_screen();
  show(editor_.redraw(screen_width()));
}

int LineReader::screen_width() const {
  struct winsize size {};
  if (ioctl(echo_fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::optional<unsigned char> LineReader::next_byte(std::string_view prompt) {
  if (held_) {
    unsigned char byte = *held_;
    held_.reset();
    return byte;
  }
  // SIGCONT is let in only while waiting, so that a continue can never fall
  // between the look at the count and the wait, and go unanswered.
  sigset_t continue_signal, others;
  sigemptyset(&continue_signal);
  sigaddset(&continue_signal, SIGCONT);
  sigprocmask(SIG_BLOCK, &continue_signal, &others);
  for (;;) {
    if (terminal::times_continued() != seen_continued_) {
      seen_continued_ = terminal::times_continued();
      show("\r\n");
      draw_again(prompt);
    }
    if (byte_waiting()) break;
    struct pollfd ready {STDIN_FILENO, POLLIN, 0};
    if (ppoll(&ready, 1, nullptr, &others) >= 0 || errno != EINTR) break;
  }
  sigprocmask(SIG_SETMASK, &others, nullptr);
  return read_byte(-1);
}

std::size_t LineReader::character_length(unsigned char first, std::optional<unsigned char> second) const {
  if (charset_ == "UTF-8") return first >= 0xf0 ? 4 : first >= 0xe0 ? 3 : first >= 0xc0 ? 2 : 1;
  if (first < 0x81 || first > 0xfe) return 1;
  if (charset_ == "GB18030" && second && *second >= 0x30 && *second <= 0x39) return 4;
  return 2;
}

// One character of the terminal's set, with the width it takes. Bytes that
// make no character are kept as they are, for the line's conversion to store
// as it does for piped input, and shown as a '?' each.
typed_char LineReader::read_character(unsigned char first) {
  std::string bytes(1, static_cast<char>(first));
  std::optional<unsigned char> second;
  while (bytes.size() < character_length(first, second)) {
    std::optional<unsigned char> next = read_byte(kKeyRestWaitMs);
    if (!next) break;
    bool continuation = charset_ == "UTF-8" ? (*next & 0xc0) == 0x80 : *next >= 0x30;
    if (!continuation) {
      held_ = next;  // the start of the next key
      break;
    }
    if (!second) second = next;
    bytes.push_back(static_cast<char>(*next));
  }
  std::string wide;
  to_utf32_.convert(bytes, wide, true);
  if (wide.size() != 4 || (wide[0] == '?' && wide[1] == 0 && wide[2] == 0 && wide[3] == 0)) {
    return {bytes, std::string(bytes.size(), '?'), static_cast<int>(bytes.size())};
  }
  char32_t code_point = 0;
  for (int i = 3; i >= 0; --i) code_point = (code_point << 8) | static_cast<unsigned char>(wide[static_cast<std::size_t>(i)]);
  return {bytes, bytes, column_width(code_point)};
}

bool LineReader::read_line(std::string& line, std::string_view prompt, int prompt_width) {
  editor_.start(prompt_width);
  seen_continued_ = terminal::times_continued();
  for (;;) {
    std::optional<unsigned char> byte = next_byte(prompt);
    if (!byte) return false;  // the terminal hung up
    switch (*byte) {
      case '\r':
      case '\n':
        editor_.end();
        show(editor_.redraw(screen_width()));
        show("\r\n");
        line = editor_.accept();
        return true;
      case kCtrlD:
        if (editor_.empty()) {
          show("\r\n");
          return false;
        }
        editor_.erase_at();
        break;
      case key_backspace:
      case kDel: editor_.erase_before(); break;
      case kCtrlA: editor_.home(); break;
      case kCtrlE: editor_.end(); break;
      case kCtrlB: editor_.left(); break;
      case kCtrlF: editor_.right(); break;
      case kCtrlP: editor_.recall_older(); break;
      case kCtrlN: editor_.recall_newer(); break;
      case kCtrlU: editor_.clear(); break;
      case kCtrlW: editor_.erase_word_before(); break;
      case kCtrlL:
        show(ansi_clear);
        draw_again(prompt);
        continue;
      case kEsc: {
        std::string sequence = read_escape_sequence();
        if (sequence.size() <= 1 && sequence != "[" && sequence != "O") {
          // Esc clears the line, as at the home console; a key that came
          // hard on its heels (Alt and a key, or typing fast) is typed next.
          editor_.clear();
          if (!sequence.empty()) held_ = static_cast<unsigned char>(sequence[0]);
        } else if (std::vector<int> codes = escape_key_codes(sequence);
                   codes.size() == 2 && codes[0] == key_extended_prefix) {
          switch (codes[1]) {
            case key_home: editor_.home(); break;
            case key_end: editor_.end(); break;
            case key_left: editor_.left(); break;
            case key_right: editor_.right(); break;
            case key_up: editor_.recall_older(); break;
            case key_down: editor_.recall_newer(); break;
            case key_delete: editor_.erase_at(); break;
            default: continue;
          }
        } else {
          continue;  // a key that does not edit (F1, Alt and a key)
        }
        break;
      }
      default: {
        typed_char character = *byte == '\t' ? typed_char{"\t", " ", 1}
                               : *byte < 0x20 ? plain('?')  // no control character is kept raw
                               : *byte < 0x80 ? plain(static_cast<char>(*byte))
                                              : read_character(*byte);
        if (editor_.insert(character)) show(editor_.show_inserted(screen_width()));
        continue;
      }
    }
    show(editor_.redraw(screen_width()));
  }
}

}  // namespace console::posix
