// The terminal behind standard input, for the line reader and the key
// reader: typed bytes read raw, the echo written where the terminal can be
// written, the screen's size, and the stops and resizes that mean the screen
// must be drawn again.
#pragma once

#include <unistd.h>

#include "terminal/terminal_io.h"

namespace console::posix {

class PosixTerminalIo final : public TerminalIo {
 public:
  PosixTerminalIo();
  ~PosixTerminalIo() override;
  PosixTerminalIo(const PosixTerminalIo&) = delete;
  PosixTerminalIo& operator=(const PosixTerminalIo&) = delete;

  wait read_byte(int timeout_ms, unsigned char& byte) override;
  void set_redraw(std::function<void()> redraw) override { redraw_ = std::move(redraw); }
  void unread(std::string_view bytes) override;
  void write(std::string_view bytes) override;
  int columns() override;
  int rows() override;

  // True when standard output is the terminal typed at, so that what the
  // program shows and the echo share the screen's rows.
  bool echoes_on_standard_output() const { return echo_fd_ == STDOUT_FILENO; }

  // Says that the program is about to draw on the screen: a stop or a resize
  // before this is answered by what is drawn now.
  void about_to_draw();

 private:
  int echo_fd_;
  bool owns_echo_fd_ = false;
  int seen_continued_;
  int seen_resized_;
  int stopped_at_ = -1;  // the continue after which the job stopped itself
  std::function<void()> redraw_;
};

}  // namespace console::posix
