#include "terminal/line_reader.h"

#include "console/backend.h"
#include "console/console.h"
#include "terminal/key_codes.h"

namespace console {
namespace {

constexpr unsigned char kCtrlA = 0x01, kCtrlB = 0x02, kCtrlD = 0x04, kCtrlE = 0x05, kCtrlF = 0x06, kCtrlL = 0x0c,
                        kCtrlN = 0x0e, kCtrlP = 0x10, kCtrlU = 0x15, kCtrlW = 0x17, kEsc = 0x1b, kDel = 0x7f;

}  // namespace

LineReader::LineReader(TerminalIo& io, const std::string& charset, line_style how)
    : io_(io), style_(how), charset_(charset), editor_([this](std::string_view text) { return charset_.split(text); }) {
  editor_.set_plain(how.plain);
}

typed_char LineReader::read_character(unsigned char first) {
  std::string bytes(1, static_cast<char>(first));
  std::optional<unsigned char> second;
  unsigned char next = 0;
  while (bytes.size() < charset_.length(first, second) &&
         io_.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte) {
    if (!charset_.continues(next)) {
      io_.unread_byte(next);  // the start of the next key
      break;
    }
    if (!second) second = next;
    bytes.push_back(static_cast<char>(next));
  }
  return charset_.character(std::move(bytes));
}

bool LineReader::escape_key() {
  std::string sequence = read_escape_sequence(io_);
  if (sequence.empty()) {
    editor_.clear();  // Esc alone clears the line, as at the home console
    return true;
  }
  auto key = static_cast<unsigned char>(sequence[0]);
  if (sequence.size() == 1) {
    switch (key) {
      case 'b': case 'B': editor_.word_left(); return true;
      case 'f': case 'F': editor_.word_right(); return true;
      case 'd': case 'D': editor_.erase_to_word_end(); return true;
      case kDel: case key_backspace: editor_.erase_to_word_start(); return true;
      case kEsc: case '\r': case '\n':
        // Esc, then a key that means something alone: the Esc was alone.
        io_.unread_byte(key);
        editor_.clear();
        return true;
      default:
        if (key >= 0x80) read_character(key);  // Alt and a whole character
        return false;  // any other Alt key leaves the line alone
    }
  }
  std::vector<int> codes = escape_key_codes(sequence);
  if (codes.size() != 2 || codes[0] != key_extended_prefix) return false;  // F1 and the like
  switch (codes[1]) {
    case key_home: editor_.home(); return true;
    case key_end: editor_.end(); return true;
    case key_left: editor_.left(); return true;
    case key_right: editor_.right(); return true;
    case key_up: editor_.recall_older(); return true;
    case key_down: editor_.recall_newer(); return true;
    case key_delete: editor_.erase_at(); return true;
    default: return false;
  }
}

bool LineReader::read_line(std::string& line, std::string_view prompt, bool prompt_shown) {
  editor_.start(charset_.split(prompt), prompt_shown);
  // Brought back while a key's bytes were still coming: the prompt and the
  // line so far again, before the rest of the key.
  redraw_while_reading redraw(io_, [this] { draw("\r\n" + editor_.draw_with_prompt(io_.columns(), io_.rows())); });
  for (;;) {
    unsigned char byte = 0;
    switch (io_.read_byte(-1, byte)) {
      case TerminalIo::wait::byte: break;
      case TerminalIo::wait::continued:
      case TerminalIo::wait::resized:
        // The shell wrote over the screen, or the terminal moved things
        // about: the prompt and the line again, on a row of their own.
        draw("\r\n" + editor_.draw_with_prompt(io_.columns(), io_.rows()));
        continue;
      default: return false;  // the terminal hung up
    }
    switch (byte) {
      case '\r':
      case '\n':
        if (byte == '\r') take_line_feed_with(io_);
        draw(editor_.finish(io_.columns(), io_.rows()));
        line = editor_.accept();
        return true;
      case kCtrlD:
        if (editor_.empty()) {
          draw("\r\n");
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
        draw(std::string(style_.can_clear ? ansi_clear : "\r\n") + editor_.draw_with_prompt(io_.columns(), io_.rows()));
        continue;
      case kEsc:
        if (!escape_key()) continue;
        break;
      default:
        if (editor_.insert(read_character(byte))) draw(editor_.show_inserted(io_.columns(), io_.rows()));
        continue;
    }
    draw(editor_.redraw(io_.columns(), io_.rows()));
  }
}

}  // namespace console
