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
  // Parameters and intermediates, up to the final byte; the Linux console's
  // F1 to F5 are Esc [ [ and a letter.
  while (sequence.size() < kLongestSequence && io.read_byte(kKeyRestWaitMs, next) == TerminalIo::wait::byte) {
    if (next < 0x20 || next > 0x7e) {
      io.unread_byte();
      break;
    }
    sequence.push_back(static_cast<char>(next));
    bool bracket_after_csi = sequence == "[[";
    if (next >= 0x40 && !bracket_after_csi) break;
  }
  return sequence;
}

}  // namespace console
