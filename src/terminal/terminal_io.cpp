#include "terminal/terminal_io.h"

namespace console {
namespace {

// Longer than any key's sequence: what goes on is no key, and is left alone.
constexpr std::size_t kLongestSequence = 32;
// Bytes of a would-be answer held back, to be given back as keys should it
// turn out to be none. Past this, with its shape, it is an answer for sure.
constexpr std::size_t kLongestHeld = 512;

constexpr unsigned char kEsc = 0x1b, kBell = 0x07, kDel = 0x7f;

// Esc ] (an operating system command), Esc P (a device control string),
// Esc _, Esc ^ and Esc X begin a string that runs to Esc \ (or, as many
// terminals end their answers, BEL).
bool begins_string(unsigned char byte) {
  return byte == ']' || byte == 'P' || byte == '_' || byte == '^' || byte == 'X';
}

bool is_digit(unsigned char byte) { return byte >= '0' && byte <= '9'; }

// Whether `body`, the bytes after the introducer so far, can still be the
// start of an answer a terminal sends. An OSC answer begins with its number
// and ';' (11;rgb:...), a DCS answer with a parameter byte (1$r..., >|...),
// an APC answer with its kind (G, the graphics protocol's). No answer holds
// a control character (a CR above all) or DEL: a person's Enter or
// Backspace is never part of one.
bool could_be_answer(unsigned char introducer, std::string_view body) {
  for (std::size_t i = 0; i < body.size(); ++i) {
    auto byte = static_cast<unsigned char>(body[i]);
    if (byte < 0x20 || byte == kDel) return false;
    if (introducer == ']') {
      bool number_ended = body.substr(0, i).find(';') != std::string_view::npos;
      if (!number_ended && !is_digit(byte) && !(byte == ';' && i > 0)) return false;
    } else if (i == 0) {
      if (introducer == '_' ? byte != 'G' : (byte < 0x30 || byte > 0x3f)) return false;
    }
  }
  return true;
}

// Whether `body` is already an answer that a terminator may end.
bool whole_answer(unsigned char introducer, std::string_view body) {
  if (body.empty()) return false;
  return introducer != ']' || body.find(';') != std::string_view::npos;
}

// After Esc and a string's introducer: the string a terminal answered with,
// read to its end and dropped (only its first bytes are kept in `sequence`),
// or, where a byte comes that no answer holds, nothing at all: the
// introducer was a key pressed with Alt, and every byte after it goes back
// to be read as the key it is. Decided by the bytes alone, so that an answer
// may come as slowly as a link brings it and a key typed after Alt-] is
// taken as soon as it comes.
void read_string(TerminalIo& io, std::string& sequence) {
  auto introducer = static_cast<unsigned char>(sequence[0]);
  std::string body;
  unsigned char next = 0;
  auto not_an_answer = [&](std::string_view last) {
    io.unread(body + std::string(last));
  };
  for (;;) {
    if (io.read_byte(kKeyRestWaitMs, next) != TerminalIo::wait::byte) {
      io.unread(body);  // nothing more came: no answer, an Alt key and what was typed after it
      return;
    }
    bool held = body.size() < kLongestHeld;
    if (next == kBell || next == kEsc) {
      if (held && !whole_answer(introducer, body)) {
        not_an_answer(std::string(1, static_cast<char>(next)));
        return;
      }
      if (next == kEsc && io.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte && next != '\\') {
        io.unread_byte(next);
      }
      break;
    }
    std::string grown = body + static_cast<char>(next);
    if (!held) {
      if (next < 0x20 || next == kDel) {  // the answer broke off: the key after it counts
        io.unread_byte(next);
        break;
      }
      continue;
    }
    if (!could_be_answer(introducer, grown)) {
      not_an_answer(std::string(1, static_cast<char>(next)));
      return;
    }
    body = std::move(grown);
  }
  sequence += body.substr(0, kLongestSequence);
  sequence.push_back(static_cast<char>(kBell));  // ended: never a lone Alt key
}

// An X10 mouse report, Esc [ M and three bytes (the button, the column and
// the row, each plus 32), which a program that ended without turning mouse
// reporting off leaves the terminal sending at every click. In the UTF-8
// form (1005) a column or row past 95 takes two bytes. Read and dropped.
void read_mouse_report(TerminalIo& io) {
  unsigned char next = 0;
  for (int field = 0; field < 3; ++field) {
    if (io.read_byte(kKeyRestWaitMs, next) != TerminalIo::wait::byte) return;
    if (next < 0x20) {  // no report's byte: a key
      io.unread_byte(next);
      return;
    }
    if (next >= 0xc2 && next <= 0xdf && io.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte &&
        (next < 0x80 || next > 0xbf)) {
      io.unread_byte(next);
    }
  }
}

}  // namespace

std::string read_escape_sequence(TerminalIo& io) {
  std::string sequence;
  unsigned char next = 0;
  if (io.read_byte(kLoneEscapeWaitMs, next) != TerminalIo::wait::byte) return sequence;
  sequence.push_back(static_cast<char>(next));
  if (begins_string(next)) {
    read_string(io, sequence);
    return sequence;
  }
  if (next != '[' && next != 'O') return sequence;
  // Parameters and intermediates, up to the final byte, however many come (a
  // terminal's answer to a query, a key with many modifiers): only the first
  // kLongestSequence bytes and the final one are kept, and none of the rest
  // is ever taken as typed text. The Linux console's F1 to F5 are Esc [ [
  // and a letter.
  while (io.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte) {
    if (next < 0x20 || next > 0x7e) {
      io.unread_byte(next);
      break;
    }
    bool final_byte = next >= 0x40 && !(sequence == "[" && next == '[');
    if (sequence.size() < kLongestSequence || final_byte) sequence.push_back(static_cast<char>(next));
    if (final_byte) break;
  }
  if (sequence == "[M") read_mouse_report(io);
  return sequence;
}

void take_line_feed_with(TerminalIo& io) {
  unsigned char next = 0;
  if (io.read_byte(0, next) == TerminalIo::wait::byte && next != '\n') io.unread_byte(next);
}

}  // namespace console
