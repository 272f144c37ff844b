// How keys typed at a terminal map to the codes the home console gives.
#pragma once

#include <string_view>
#include <vector>

namespace console {

// A single-byte key: Backspace is 8 whether the terminal sends DEL or BS,
// Enter is 13.
int plain_key_code(unsigned char byte);

// The codes for the bytes that followed an Esc: two codes (0 or 224, then the
// key's code) for a function or editing key, Esc and the byte for Alt plus a
// key, nothing for a sequence no key of the home keyboard sends.
std::vector<int> escape_key_codes(std::string_view sequence);

}  // namespace console
