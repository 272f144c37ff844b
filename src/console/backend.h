// What a platform's console must provide underneath the console services.
//
// The services (console.cpp) own the line buffer, the number and word
// parsing and the output buffer, so every backend reads and writes the same
// way; a backend only moves GBK bytes in and out and talks to the keyboard.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace console {

// The exit status of a program whose output could not be written (sysexits'
// EX_IOERR): neither leaving (0) nor three wrong passwords (1).
inline constexpr int output_failed_status = 74;

// Written where a screen is cleared: cursor home, then erase the display.
inline constexpr std::string_view ansi_clear = "\x1b[H\x1b[2J";

class Backend {
 public:
  virtual ~Backend() = default;

  // Appends the next bytes of standard input, converted to GBK. Returns false
  // once input has ended.
  virtual bool read_input(std::string& gbk) = 0;
  // Shows GBK text, converted as the console needs. Where it cannot be
  // shown, says so on standard error and ends with output_failed_status.
  virtual void write_output(std::string_view gbk) = 0;

  // Messages are in the platform's own encoding: the locale's character set
  // on Linux, UTF-8 on Windows, file names in them as the user typed them.
  // write_error says one on standard error; write_platform_output shows one.
  virtual void write_error(std::string_view bytes) = 0;
  virtual void write_platform_output(std::string_view bytes) = 0;
  // A text of the program's own in the platform's own encoding.
  virtual std::string platform_text(std::string_view gbk) = 0;

  // True where keys come from a keyboard rather than from standard input.
  virtual bool has_keyboard() const = 0;
  // Keyboard only: the next key code, or -1 when no key can come any more.
  virtual int read_key() = 0;
  // Keyboard only: waits for one key and throws all of its codes away.
  virtual void wait_for_key() = 0;
  // Keyboard only: raw, unechoed key reading on and off.
  virtual void enter_key_mode() = 0;
  virtual void leave_key_mode() = 0;

  virtual void clear_screen() = 0;
  // True where the program's console window is its own, made for it when it
  // was started from Explorer or a shortcut: it closes as the program ends.
  virtual bool window_is_own() const { return false; }
  virtual void sleep_ms(int milliseconds) = 0;
};

// The console of the machine the program runs on.
std::unique_ptr<Backend> make_system_backend();

}  // namespace console
