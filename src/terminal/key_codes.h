// How keys typed at a terminal map to the codes the home console gives.
#pragma once

#include <string_view>
#include <vector>

namespace console {

// The home console gives a function or editing key as a prefix, then the
// key's own code.
inline constexpr int key_function_prefix = 0;    // F1 to F10
inline constexpr int key_extended_prefix = 224;  // arrows, editing keys, F11, F12

enum key_code : int {
  key_f1 = 59,  // F1..F10 are 59..68
  key_home = 71,
  key_up = 72,
  key_page_up = 73,
  key_left = 75,
  key_right = 77,
  key_end = 79,
  key_down = 80,
  key_page_down = 81,
  key_insert = 82,
  key_delete = 83,
  key_f11 = 133,
  key_f12 = 134,
};

// A single-byte key: Backspace is 8 whether the terminal sends DEL or BS,
// Enter is 13.
int plain_key_code(unsigned char byte);

// The codes for the bytes that followed an Esc: two codes (0 or 224, then the
// key's code) for a function or editing key, Esc and the byte for Alt plus a
// key, nothing for a sequence no key of the home keyboard sends.
std::vector<int> escape_key_codes(std::string_view sequence);

}  // namespace console
