#include "terminal/key_codes.h"

#include <string>

#include "console/console.h"

namespace console {
namespace {

constexpr int kEscape = 0x1b;

std::vector<int> extended(int code) { return {key_extended_prefix, code}; }
std::vector<int> function_key(int number) {
  if (number == 11) return extended(key_f11);
  if (number == 12) return extended(key_f12);
  return {key_function_prefix, key_f1 + number - 1};
}

// The key named by a final letter, as in Esc [ A or Esc O A.
std::vector<int> letter_key(char letter) {
  switch (letter) {
    case 'A': return extended(key_up);
    case 'B': return extended(key_down);
    case 'C': return extended(key_right);
    case 'D': return extended(key_left);
    case 'H': return extended(key_home);
    case 'F': return extended(key_end);
    case 'P': return function_key(1);
    case 'Q': return function_key(2);
    case 'R': return function_key(3);
    case 'S': return function_key(4);
    default: return {};
  }
}

// The key named by a number, as in Esc [ 3 ~ (modifiers after ';' ignored).
std::vector<int> numbered_key(int number) {
  switch (number) {
    case 1: case 7: return extended(key_home);
    case 2: return extended(key_insert);
    case 3: return extended(key_delete);
    case 4: case 8: return extended(key_end);
    case 5: return extended(key_page_up);
    case 6: return extended(key_page_down);
    case 11: case 12: case 13: case 14: case 15: return function_key(number - 10);
    case 17: case 18: case 19: case 20: case 21: return function_key(number - 11);
    case 23: case 24: return function_key(number - 12);
    default: return {};
  }
}

}  // namespace

int plain_key_code(unsigned char byte) {
  if (byte == 127) return key_backspace;
  if (byte == '\n') return key_enter;  // Ctrl-J, or the LF of a terminal that sends it for Enter
  return byte;
}

std::vector<int> escape_key_codes(std::string_view sequence) {
  if (sequence.empty()) return {kEscape};
  char introducer = sequence[0];
  if (introducer != '[' && introducer != 'O') {
    if (sequence.size() > 1) return {};  // a terminal's string answer
    return {kEscape, plain_key_code(static_cast<unsigned char>(introducer))};
  }
  if (sequence.size() < 2) return {};
  char final_byte = sequence.back();
  std::string_view body = sequence.substr(1, sequence.size() - 2);
  if (introducer == '[' && body == "[" && final_byte >= 'A' && final_byte <= 'E') {
    return function_key(final_byte - 'A' + 1);  // the Linux console's F1 to F5
  }
  if (final_byte == '~') {
    int number = 0;
    for (char c : body) {
      if (c == ';') break;
      if (c < '0' || c > '9' || number > 100) return {};
      number = number * 10 + (c - '0');
    }
    return numbered_key(number);
  }
  return letter_key(final_byte);
}

}  // namespace console
