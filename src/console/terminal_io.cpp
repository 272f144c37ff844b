#include "console/terminal_io.h"

namespace console {
namespace {

// Longer than any key's sequence: what goes on is no key, and is left alone.
constexpr std::size_t kLongestSequence = 32;

}  // namespace

std::string read_escape_sequence(TerminalIo& io) {
  std::string sequence;
  unsigned char next = 0;
  if (io.read_byte(kLoneEscapeWaitMs, next) != TerminalIo::wait::byte) return sequence;
  sequence.push_back(static_cast<char>(next));
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
