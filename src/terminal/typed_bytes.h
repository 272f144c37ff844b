// The bytes typed at the terminal behind standard input, read in as much as
// there is and handed out a byte at a time: keys and lines alike take what
// was typed through here, in the order it was typed.
#pragma once

#include <optional>

namespace console::posix {

// One byte from the keyboard; with a timeout, nothing if none comes in time.
// Nothing at end of input. What was typed is read in as much as there is,
// and handed out a byte at a time.
std::optional<unsigned char> read_byte(int timeout_ms);
// True when a byte typed is read in and not yet handed out.
bool byte_waiting();
// Gives back the byte read_byte() just handed out.
void unread_byte();

}  // namespace console::posix
