// Console services: everything the program shows or reads goes through here.
//
// Texts passed in and out are GBK bytes; the installed backend converts them
// for the real console. Input is read one line at a time: a read that needs
// input takes the next whole line in, and whatever it leaves unread of that
// line stays pending for the next read until discard_pending() drops it.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace console {

class Backend;

// Routes every service below to `backend` (nullptr detaches after flushing).
void install(Backend* backend);

// --- Output -------------------------------------------------------------
void write(std::string_view gbk);
void write_line(std::string_view gbk);
void print(const char* format, ...) __attribute__((format(printf, 1, 2)));
void flush();

// Says one line on standard error, after everything shown so far: `line`
// in the platform's own encoding (a message, with a file name in it).
void report(std::string_view line);

// --- Messages beyond the program's own screens ------------------------------
// Marks a message that is translated where it is shown, for the catalogs.
constexpr const char* translatable(const char* english) { return english; }

// `english` in the reader's language, in the platform's own encoding, each
// "%s" in it replaced by the next of `values` (in that encoding too).
std::string message(const char* english, std::initializer_list<std::string_view> values = {});
// A text of the program's own (GBK) in the platform's own encoding, to put
// into a message.
std::string platform_text(std::string_view gbk);
// Writes a message to standard output.
void write_message(std::string_view text);

// Appends `value` to `text` as "%.1lf" writes it: the same digits, rounded
// the same way (to the nearest, a tie to even, on the exact binary value).
void append_fixed1(std::string& text, double value);
// Appends `value` to `text` as "%d" writes it.
void append_int(std::string& text, int value);

// --- Line input -----------------------------------------------------------
enum class read_status { ok, not_a_number, out_of_range, end_of_input };

// Reads the rest of the current line (or the next line) into a zero-terminated
// field of `size` bytes, cut at a GBK character boundary; the rest of the line
// is dropped. C0 control characters other than Tab are stored as '?', so that a
// listing never sends the terminal a control sequence. Returns false, leaving the field as it was, at end of input.
bool read_text(char* field, std::size_t size);

// Skips white space and reads one word. Only the first `keep` bytes are
// stored; longer words are consumed whole. False at end of input.
bool read_word(std::string& word, std::size_t keep);

// Skips white space and reads a decimal int; what stops it stays pending.
read_status read_int(int& value);

// Skips white space before each of `count` decimal numbers, stopping at the
// first thing that is not one. Returns how many were stored.
int read_numbers(double* values, int count);

// Drops what is left of the line most recently taken in, if anything.
void discard_pending();

// True once a read has met the end of input and nothing is left unread.
bool input_ended();

// --- Keys ------------------------------------------------------------------
constexpr int end_of_keys = -1;
constexpr int key_enter = 13;
constexpr int key_backspace = 8;

// One key code as the home console delivers it: Enter 13, Backspace 8,
// special keys as two codes (0 or 224, then the key). end_of_keys when no
// key can come any more.
int get_key();

// Waits for any one key where a person is at the keyboard; a piped session
// goes straight on and nothing of its input is taken.
void pause_for_key();

// Keeps the terminal in unechoed key mode while it lives, so keys typed
// between two get_key() calls are not echoed either.
class key_mode {
 public:
  key_mode();
  ~key_mode();
  key_mode(const key_mode&) = delete;
  key_mode& operator=(const key_mode&) = delete;
};

// The program is about to end. Unless the ending is one the user asked for
// (item 0, three wrong passwords), where the console window is the
// program's own and closes with it, says so and waits for a key, so that
// its last lines can be read.
void ending(bool asked_for);

// --- Screen and time -----------------------------------------------------
void clear_screen();
void sleep_ms(int milliseconds);

}  // namespace console
