#include "terminal/terminal_io.h"

namespace console {
namespace {

// Longer than any key's sequence: what goes on is no key, and is left alone.
constexpr std::size_t kLongestSequence = 32;

constexpr unsigned char kEsc = 0x1b, kBell = 0x07;

// Esc ] (an operating system command), Esc P (a device control string),
// Esc _, Esc ^ and Esc X begin a string that runs to Esc \ (or, as many
// terminals end their answers, BEL).
bool begins_string(unsigned char byte) {
  return byte == ']' || byte == 'P' || byte == '_' || byte == '^' || byte == 'X';
}

// The rest of a terminal's string, read to its end and dropped (only its
// first bytes are kept), as long as its bytes keep coming.
void read_string(TerminalIo& io, std::string& sequence) {
  unsigned char next = 0;
  while (io.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte) {
    if (next == kBell) break;
    if (next == kEsc) {
      if (io.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte && next != '\\') io.unread_byte();
      break;
    }
    if (sequence.size() < kLongestSequence) sequence.push_back(static_cast<char>(next));
  }
  sequence.push_back(static_cast<char>(kBell));  // ended: never a lone Alt key
}

}  // namespace

std::string read_escape_sequence(TerminalIo& io) {
  std::string sequence;
  unsigned char next = 0;
  if (io.read_byte(kLoneEscapeWaitMs, next) != TerminalIo::wait::byte) return sequence;
  sequence.push_back(static_cast<char>(next));
  // A terminal's answer comes all at once, its string straight after Esc ];
  // Alt-] (or Alt-P...) is a key, and a person's next key comes later.
  if (begins_string(next)) {
    if (io.read_byte(kStringFollowsMs, next) == TerminalIo::wait::byte) {
      io.unread_byte();
      read_string(io, sequence);
    }
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
      io.unread_byte();
      break;
    }
    bool final_byte = next >= 0x40 && !(sequence == "[" && next == '[');
    if (sequence.size() < kLongestSequence || final_byte) sequence.push_back(static_cast<char>(next));
    if (final_byte) break;
  }
  return sequence;
}

}  // namespace console
