// The console services on top of a Backend: the pending-line buffer and the
// scanf-like reads, the output buffer, and key handling for both modes.
#include "console/console.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/backend.h"
#include "messages/messages.h"

namespace console {
namespace {

constexpr std::size_t kOutputFlushSize = std::size_t{64} * 1024;

struct State {
  Backend* backend = nullptr;
  std::string output;
  std::string input;      // GBK bytes taken in and not yet consumed
  std::size_t next = 0;   // first unconsumed byte of `input`
  bool inside_line = false;  // a line was looked at and its break not consumed
  bool ended = false;
  bool held_cr = false;   // a '\r' that may be the first half of "\r\n"
  int key_mode_depth = 0;
};

State state;

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Appends freshly read bytes, turning "\r\n" into "\n" so that files written
// on Windows read like any others.
void append_input(std::string_view bytes) {
  for (char c : bytes) {
    if (state.held_cr) {
      state.held_cr = false;
      if (c == '\n') {
        state.input.push_back('\n');
        continue;
      }
      state.input.push_back('\r');
    }
    if (c == '\r') {
      state.held_cr = true;
    } else {
      state.input.push_back(c);
    }
  }
}

// Takes the next input in once everything taken before is consumed. False
// at end of input.
bool refill() {
  if (state.ended) return false;
  flush();
  state.input.clear();
  state.next = 0;
  std::string fresh;
  while (state.input.empty()) {
    fresh.clear();
    if (!state.backend->read_input(fresh)) {
      state.ended = true;
      if (state.held_cr) state.input.push_back('\r');
      state.held_cr = false;
      return !state.input.empty();
    }
    append_input(fresh);
  }
  return true;
}

// Makes at least one unconsumed byte available. False at end of input.
inline bool fill() { return state.next < state.input.size() || refill(); }

int peek() {
  if (!fill()) return -1;
  state.inside_line = true;
  return static_cast<unsigned char>(state.input[state.next]);
}

void advance() {
  if (state.input[state.next] == '\n') state.inside_line = false;
  ++state.next;
}

int skip_space() {
  int c;
  while ((c = peek()) >= 0 && is_space(c)) advance();
  return c;
}

bool is_gbk_lead(int c) { return c >= 0x81 && c <= 0xFE; }
bool is_control(int c) { return c < 0x20 && c != '\t'; }
bool is_gbk_trail(int c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// More significant digits than a double can tell apart; the rest of a longer
// number only moves its decimal point.
constexpr std::size_t kSignificantDigits = 800;
// Powers of ten beyond this are infinity or zero for a double already.
constexpr long long kExponentLimit = 1'000'000'000;

long long clamped(long long exponent) {
  return exponent > kExponentLimit ? kExponentLimit : exponent < -kExponentLimit ? -kExponentLimit : exponent;
}

// The digits of a number's mantissa, in bounded memory however many come:
// leading zeros are dropped, and past kSignificantDigits a digit before the
// point only counts as a power of ten.
struct mantissa {
  std::string digits;
  long long scale = 0;  // the value is digits * 10^scale
  std::size_t count = 0;  // every digit read, zeros included

  void take(int c, bool after_point) {
    ++count;
    if (digits.empty() && c == '0') {
      if (after_point) scale = clamped(scale - 1);
    } else if (digits.size() < kSignificantDigits) {
      digits.push_back(static_cast<char>(c));
      if (after_point) scale = clamped(scale - 1);
    } else if (!after_point) {
      scale = clamped(scale + 1);
    }
  }
};

// One decimal number as "%lf" takes it: sign, digits, point, exponent.
bool read_number(double& value) {
  int c = skip_space();
  if (c < 0) return false;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    advance();
  }
  mantissa number;
  while (is_digit(c = peek())) {
    number.take(c, false);
    advance();
  }
  if (c == '.') {
    advance();
    while (is_digit(c = peek())) {
      number.take(c, true);
      advance();
    }
  }
  if (number.count == 0) return false;
  if ((c = peek()) == 'e' || c == 'E') {
    advance();
    bool exponent_negative = false;
    if ((c = peek()) == '+' || c == '-') {
      exponent_negative = c == '-';
      advance();
    }
    long long exponent = 0;
    while (is_digit(c = peek())) {
      exponent = clamped(exponent * 10 + (c - '0'));
      advance();
    }
    number.scale = clamped(number.scale + (exponent_negative ? -exponent : exponent));
  }
  std::string text = negative ? "-" : "";
  text += number.digits.empty() ? "0" : number.digits;
  text += 'e';
  text += std::to_string(number.scale);
  double parsed = std::strtod(text.c_str(), nullptr);
  // A number too large for a double is no score anyone meant; -0 shows as 0.
  value = std::isinf(parsed) ? 0.0 : parsed + 0.0;
  return true;
}

// Writes the decimal digits of `number` so that they end where `end`
// points; gives where they begin.
char* decimal_before(char* end, std::uint64_t number) {
  do {
    *--end = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  return end;
}

}  // namespace

void install(Backend* backend) {
  if (state.backend != nullptr) flush();
  state = State{};
  state.backend = backend;
}

void write(std::string_view gbk) {
  state.output.append(gbk);
  if (state.output.size() >= kOutputFlushSize) flush();
}

void write_line(std::string_view gbk) {
  state.output.append(gbk);
  state.output.push_back('\n');
  if (state.output.size() >= kOutputFlushSize) flush();
}

void print(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    write(std::string_view(small, static_cast<std::size_t>(length)));
  } else {
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, again);
    large.pop_back();
    write(large);
  }
  va_end(again);
}

void report(std::string_view line) {
  flush();
  state.backend->write_error(std::string(line) + "\n");
}

std::string message(const char* english, std::initializer_list<std::string_view> values) {
  std::string_view text = translate(english);
  std::string result;
  const std::string_view* next = values.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    // '%' is never the second byte of a GBK character.
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's' && next != values.end()) {
      result += *next++;
      ++i;
    } else {
      result.push_back(text[i]);
    }
  }
  return result;
}

// Before a console is installed (a file read by a tool of its own), the
// program's bytes as they are.
std::string platform_text(std::string_view gbk) {
  return state.backend != nullptr ? state.backend->platform_text(gbk) : std::string(gbk);
}

void write_message(std::string_view text) {
  flush();
  state.backend->write_platform_output(text);
}

void ending(bool asked_for) {
  flush();
  if (asked_for || !state.backend->window_is_own()) return;
  report("roster: " + message("the program has ended; press any key to close this window"));
  state.backend->wait_for_key();
}

void append_fixed1(std::string& text, double value) {
  // A double is an integer of 53 bits over a power of two. Where that power
  // is 2^1 to 2^60 (every score from 1/256 up to 2^52), ten times the value,
  // rounded to the nearest integer (a tie to even), gives its digits exactly
  // as the C library's exact conversion does.
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  int shift = 1075 - biased_exponent;
  bool zero = (bits << 1) == 0;
  if (zero || (biased_exponent != 0 && shift >= 1 && shift <= 60)) {
    std::uint64_t tenths = 0;
    if (!zero) {
      std::uint64_t tenfold = ((bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52)) * 10;
      tenths = tenfold >> shift;
      std::uint64_t rest = tenfold & ((std::uint64_t{1} << shift) - 1);
      std::uint64_t half = std::uint64_t{1} << (shift - 1);
      if (rest > half || (rest == half && tenths % 2 == 1)) ++tenths;
    }
    char digits[24];
    char* at = digits + sizeof digits;
    *--at = static_cast<char>('0' + tenths % 10);
    *--at = '.';
    at = decimal_before(at, tenths / 10);
    if (bits >> 63) *--at = '-';
    text.append(at, digits + sizeof digits);
    return;
  }
  // Anything else (tiny, huge, not finite) the C library writes.
  char digits[320];  // the largest double has 309 digits before the point
  int length = std::snprintf(digits, sizeof digits, "%.1f", value);
  text.append(digits, static_cast<std::size_t>(length));
}

void append_int(std::string& text, int value) {
  char digits[16];
  char* at = digits + sizeof digits;
  // Through unsigned, so that the most negative int has a magnitude too.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  at = decimal_before(at, magnitude);
  if (value < 0) *--at = '-';
  text.append(at, digits + sizeof digits);
}

void flush() {
  if (state.backend == nullptr || state.output.empty()) return;
  state.backend->write_output(state.output);
  state.output.clear();
}

bool read_text(char* field, std::size_t size) {
  if (peek() < 0) return false;
  std::size_t length = 0;
  bool full = false;
  int c;
  while ((c = peek()) >= 0 && c != '\n') {
    advance();
    char character[2] = {static_cast<char>(is_control(c) ? '?' : c), 0};
    std::size_t width = 1;
    if (is_gbk_lead(c)) {
      int trail = peek();
      if (is_gbk_trail(trail)) {
        advance();
        character[1] = static_cast<char>(trail);
        width = 2;
      } else {
        character[0] = '?';  // half a character is never stored
      }
    }
    if (!full && length + width < size) {
      for (std::size_t i = 0; i < width; ++i) field[length++] = character[i];
    } else {
      full = true;
    }
  }
  if (c == '\n') advance();
  field[length] = '\0';
  return true;
}

bool read_word(std::string& word, std::size_t keep) {
  int c = skip_space();
  if (c < 0) return false;
  word.clear();
  while ((c = peek()) >= 0 && !is_space(c)) {
    if (word.size() < keep) word.push_back(static_cast<char>(c));
    advance();
  }
  return true;
}

read_status read_int(int& value) {
  int c = skip_space();
  if (c < 0) return read_status::end_of_input;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    advance();
  }
  if (!is_digit(peek())) return read_status::not_a_number;
  long long magnitude = 0;
  bool overflow = false;
  while (is_digit(c = peek())) {
    advance();
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) {
      overflow = true;
      magnitude = static_cast<long long>(INT_MAX) + 1;
    }
  }
  long long signed_value = negative ? -magnitude : magnitude;
  if (overflow || signed_value > INT_MAX) return read_status::out_of_range;
  value = static_cast<int>(signed_value);
  return read_status::ok;
}

int read_numbers(double* values, int count) {
  int stored = 0;
  while (stored < count && read_number(values[stored])) ++stored;
  return stored;
}

void discard_pending() {
  while (state.inside_line && fill()) {
    std::string_view rest(state.input.data() + state.next, state.input.size() - state.next);
    std::size_t line_break = rest.find('\n');
    if (line_break == std::string_view::npos) {
      state.next = state.input.size();
    } else {
      state.next += line_break + 1;
      state.inside_line = false;
    }
  }
  state.inside_line = false;
}

bool input_ended() { return state.ended && state.next >= state.input.size(); }

int get_key() {
  if (state.backend->has_keyboard()) {
    key_mode keys;
    return state.backend->read_key();
  }
  // Without a keyboard the keys are the bytes of standard input.
  int c = peek();
  if (c < 0) return end_of_keys;
  advance();
  return c == '\n' ? key_enter : c;
}

void pause_for_key() {
  if (!state.backend->has_keyboard()) return;
  key_mode keys;
  state.backend->wait_for_key();
}

key_mode::key_mode() {
  flush();
  if (state.key_mode_depth++ == 0 && state.backend->has_keyboard()) {
    state.backend->enter_key_mode();
  }
}

key_mode::~key_mode() {
  if (--state.key_mode_depth == 0 && state.backend->has_keyboard()) {
    state.backend->leave_key_mode();
  }
}

void clear_screen() {
  flush();
  state.backend->clear_screen();
}

void sleep_ms(int milliseconds) {
  flush();
  state.backend->sleep_ms(milliseconds);
}

}  // namespace console
