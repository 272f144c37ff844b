#include "terminal/posix_terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace console::terminal {
namespace {

// Two flags, so that every interleaving with a signal is safe: `raw_now` is
// set before the terminal is made raw and cleared only after it is back (or
// once the shell has it), and tells the handlers that end or stop the
// process to restore it; `key_mode` is set before and cleared before the same
// changes, and tells the handlers that continue the process to make it raw
// again.
struct termios saved_settings;
struct termios key_settings;
volatile sig_atomic_t settings_taken = 0;
volatile sig_atomic_t raw_now = 0;
volatile sig_atomic_t key_mode = 0;
volatile sig_atomic_t continued_count = 0;
volatile sig_atomic_t resized_count = 0;

void set_terminal(const struct termios& settings) {
  int saved_errno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &settings);
  errno = saved_errno;
}

void restore_if_raw() {
  if (raw_now) set_terminal(saved_settings);
}

// Continued: key mode again, but only in the foreground. The handlers run
// with every signal blocked, so the kernel would let a job in the background
// change the terminal under the shell rather than stop it.
void take_up_key_mode() {
  if (!key_mode) return;
  if (in_foreground()) {
    raw_now = 1;
    set_terminal(key_settings);
  } else {
    raw_now = 0;  // the shell's settings are on the terminal: not ours to touch
  }
}

void set_handler(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigfillset(&action.sa_mask);  // a handler never runs inside another one
  if (handler == SIG_DFL) sigemptyset(&action.sa_mask);
  sigaction(signal_number, &action, nullptr);
}

// Installs `handler` unless the signal was set to be ignored when the program
// started (as for a job started in the background), which must stay so.
void catch_signal(int signal_number, void (*handler)(int)) {
  struct sigaction current {};
  if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  set_handler(signal_number, handler);
}

// Every signal whose default action ends the process: the terminal comes
// back, then the signal does what it would have done (a core dump included).
void on_ending_signal(int signal_number) {
  restore_if_raw();
  set_handler(signal_number, SIG_DFL);
  raise(signal_number);  // blocked in here: delivered once the handler returns
}

// Ctrl-Z: give the terminal back, stop, and take key mode up again once
// continued. SIGTSTP stays blocked except while the process stops, with the
// default action then, so that a storm of them can never nest this handler.
// Where the stop is discarded (a process group no shell can resume), the
// process simply goes on.
void on_stop_signal(int) {
  int saved_errno = errno;
  restore_if_raw();
  raw_now = 0;
  set_handler(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the process stops here
  sigprocmask(SIG_BLOCK, &stop, nullptr);
  set_handler(SIGTSTP, on_stop_signal);
  take_up_key_mode();
  errno = saved_errno;
}

// Continued, after Ctrl-Z or a stop no handler sees (SIGSTOP, SIGTTIN).
void on_continue(int) {
  int saved_errno = errno;
  continued_count = continued_count + 1;
  take_up_key_mode();
  errno = saved_errno;
}

void on_resize(int) { resized_count = resized_count + 1; }

void restore_at_exit() {
  key_mode = 0;
  restore_if_raw();
  raw_now = 0;
}

// A job started in the background must not take the settings the shell's
// line editor has while it waits: stop, as a terminal read would, until the
// shell brings the job forward. Nobody can where the stop is discarded or
// SIGTTIN ignored, and the program then goes on as it is.
void wait_for_foreground() {
  while (!in_foreground()) {
    sig_atomic_t before = continued_count;
    stop_for_terminal();
    if (continued_count == before) return;
  }
}

bool take_settings() {
  wait_for_foreground();
  if (tcgetattr(STDIN_FILENO, &saved_settings) != 0) return false;
  key_settings = saved_settings;
  // Ctrl-V and Ctrl-O reach the program as keys too; signals stay.
  key_settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  // Enter comes as the terminal sends it, CR or CR LF, not turned into NL
  // (nor NL into CR, nor CR dropped), so that CR LF can be told from two
  // Enters.
  key_settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
  key_settings.c_cc[VMIN] = 1;
  key_settings.c_cc[VTIME] = 0;
  settings_taken = 1;
  return true;
}

}  // namespace

void install_guards() {
  const int ending_signals[] = {
      SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,  SIGFPE, SIGUSR1, SIGSEGV,
      SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU,   SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL, SIGSYS,
#ifdef SIGSTKFLT
      SIGSTKFLT,
#endif
#ifdef SIGPWR
      SIGPWR,
#endif
  };
  for (int signal_number : ending_signals) catch_signal(signal_number, on_ending_signal);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    catch_signal(signal_number, on_ending_signal);
  }
  catch_signal(SIGTSTP, on_stop_signal);
  catch_signal(SIGCONT, on_continue);
  catch_signal(SIGWINCH, on_resize);
  std::atexit(restore_at_exit);
}

bool enter_key_mode() {
  if (!settings_taken && !take_settings()) return false;
  raw_now = 1;
  key_mode = 1;
  set_terminal(key_settings);
  return true;
}

void leave_key_mode() {
  key_mode = 0;
  if (settings_taken) set_terminal(saved_settings);
  raw_now = 0;
}

bool in_foreground() {
  pid_t foreground = tcgetpgrp(STDIN_FILENO);
  return foreground < 0 || foreground == getpgrp();
}

void stop_for_terminal() { kill(0, SIGTTIN); }

int times_continued() { return continued_count; }
int times_resized() { return resized_count; }

}  // namespace console::terminal
