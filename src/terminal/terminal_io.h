// The terminal as the line reader and the key reader see it: typed bytes in,
// drawing out, and the screen's size. posix_terminal_io.* is the real one;
// tests play bytes back through one of their own.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace console {

class TerminalIo {
 public:
  virtual ~TerminalIo() = default;

  enum class wait { byte, timed_out, ended, continued, resized };

  // Waits up to `timeout_ms` for the next typed byte, without end when
  // negative. Only a wait without end reports `continued` (the program was
  // stopped and brought back to the foreground since the last thing was
  // drawn: the screen is the shell's now) or `resized` (the screen changed
  // size since then); the byte is still to come then. A timed wait (for the
  // rest of a key) brought back calls what set_redraw() gave, and waits
  // afresh.
  virtual wait read_byte(int timeout_ms, unsigned char& byte) = 0;
  // What draws the prompt and the line again, for a timed wait brought back
  // to the foreground; nothing when empty.
  virtual void set_redraw(std::function<void()> redraw) { (void)redraw; }
  // Gives back `bytes`, the last ones read, for the next reads to take again
  // before anything else.
  virtual void unread(std::string_view bytes) = 0;
  void unread_byte(unsigned char byte) {
    char c = static_cast<char>(byte);
    unread(std::string_view(&c, 1));
  }

  // Draws on the terminal, waiting for it as long as it takes.
  virtual void write(std::string_view bytes) = 0;
  virtual int columns() = 0;
  virtual int rows() = 0;  // 0 where the terminal does not say
};

// Keeps `redraw` as the terminal's redraw while it lives.
class redraw_while_reading {
 public:
  redraw_while_reading(TerminalIo& io, std::function<void()> redraw) : io_(io) { io_.set_redraw(std::move(redraw)); }
  ~redraw_while_reading() { io_.set_redraw(nullptr); }
  redraw_while_reading(const redraw_while_reading&) = delete;
  redraw_while_reading& operator=(const redraw_while_reading&) = delete;

 private:
  TerminalIo& io_;
};

// How long the rest of a key's bytes may take to arrive. A character's first
// byte, and Esc [ or Esc O, say that more must come: those are waited for
// generously, as over a slow link. Only Esc on its own against Esc and a key
// (Alt and the key) is decided by a short wait.
inline constexpr int kKeyRestWaitMs = 1000;
inline constexpr int kLoneEscapeWaitMs = 500;

// The bytes that follow an Esc just read: a sequence up to its final byte
// (arrows, Home, F1..., a mouse report), a terminal's string answer to its
// end (its introducer first, more than one byte, never a key), the one key
// pressed with Alt, or nothing for Esc alone. A byte that cannot belong to a
// sequence ends it and is left to be read again.
std::string read_escape_sequence(TerminalIo& io);

// After a CR just read: a LF that came with it (a terminal that sends Enter
// as CR LF, lines pasted from a file with CR LF ends) is taken with it, so
// that the two are one Enter. A LF typed later is a key of its own.
void take_line_feed_with(TerminalIo& io);

}  // namespace console
