// Runs the built program as a child process, through a pipe or inside a
// pseudo-terminal, for end-to-end tests.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace e2e {

// The program under test, as built next to the tests.
const char* program_path();

// How a child ended: its exit status, or the signal that killed it.
struct ending {
  int exit_status = -1;
  int signal = 0;
};

struct piped_run {
  std::string output;
  ending end;
};

// How the pipes of run_piped behave.
struct pipe_options {
  bool nonblocking = false;  // the child's ends of both pipes are non-blocking
  // A slow writer or reader: at most so many bytes at once, then a pause.
  std::size_t write_piece = 65536;
  int write_pause_us = 0;
  std::size_t read_piece = 65536;
  int read_pause_us = 0;
  // Called with the child's process id as soon as it runs.
  std::function<void(pid_t)> started = nullptr;
};

// Runs `argv` with `input` as standard input and only `environment` set,
// collecting standard output. Gives up (killing the child) after `timeout_ms`.
piped_run run_piped(const std::vector<std::string>& argv, std::string_view input,
                    const std::vector<std::string>& environment, int timeout_ms = 20000,
                    pipe_options options = {});

// How the fresh terminal is set up.
struct pty_options {
  bool nonblocking_input = false;
  bool iutf8 = true;  // the kernel's line editor takes input as UTF-8
  int rows = 24;
  int columns = 80;
};

// `argv` (the program by default) with standard input, output and error on a
// fresh terminal.
class PtySession {
 public:
  explicit PtySession(const std::vector<std::string>& environment, std::vector<std::string> argv = {},
                      pty_options options = {});
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  void send(std::string_view keys);
  // What was written since `from`, with carriage returns and the escape
  // sequences that move the cursor and erase left out.
  std::string shown_since(std::size_t from) const;
  // Reads output until `needle` appears after `from`; false on timeout or exit.
  bool wait_for(std::string_view needle, std::size_t from = 0, int timeout_ms = 5000);
  // Collects output for a while; used to show that nothing more arrives.
  void drain(int milliseconds);
  // Collects output until none has come for `quiet_ms`: the program has
  // drawn all it will for what was typed.
  void settle(int quiet_ms = 150);
  const std::string& output() const { return output_; }

  // The terminal's current settings, as the program left them.
  struct termios settings() const;
  // The settings the terminal had before the program started.
  const struct termios& initial_settings() const { return initial_; }
  // Changes the terminal's settings under the program, as a shell does.
  void set_settings(const struct termios& settings);

  // The terminal changes size; its foreground process group hears SIGWINCH.
  void resize(int rows, int columns);

  void kill(int signal_number);
  ending wait(int timeout_ms = 5000);

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open to read the settings after the child is gone
  pid_t child_ = -1;
  std::string output_;
  struct termios initial_ {};
};

// Waits for the password prompt, types the password and waits for the menu.
bool open_gate(PtySession& session);

// Types `command` at an interactive shell's prompt and gives back what came
// out until it finished.
std::string run_in_shell(PtySession& shell, const std::string& command);

// True when two terminal settings agree in everything a program may change.
bool same_settings(const struct termios& a, const struct termios& b);

}  // namespace e2e
