// The bytes typed at the terminal behind standard input, read in as much as
// there is and handed out a byte at a time: keys and lines alike take what
// was typed through here, in the order it was typed.
#pragma once

#include <optional>
#include <string_view>

namespace console::posix {

// One byte from the keyboard; with a timeout, nothing if none comes in time
// (a timeout of 0 takes only what has arrived already). Nothing at end of
// input.
std::optional<unsigned char> read_byte(int timeout_ms);
// True when a byte typed is read in and not yet handed out.
bool byte_waiting();
// Gives back `bytes`, the last ones read_byte() handed out, to be handed out
// again before anything else.
void unread(std::string_view bytes);

}  // namespace console::posix
