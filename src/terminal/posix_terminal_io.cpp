#include "terminal/posix_terminal_io.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "console/posix_input.h"
#include "terminal/typed_bytes.h"
#include "terminal/posix_terminal.h"

namespace console::posix {
namespace {

constexpr long kResizeSettleNs = 100'000'000;  // a window being dragged sends many

// True when `fd` is the terminal standard input is: the same device, or both
// the process's controlling terminal (one of them may be /dev/tty).
bool is_input_terminal(int fd) {
  struct stat input {}, other {};
  if (isatty(fd) != 1 || fstat(STDIN_FILENO, &input) != 0 || fstat(fd, &other) != 0) return false;
  if (input.st_rdev == other.st_rdev) return true;
  return tcgetpgrp(STDIN_FILENO) >= 0 && tcgetpgrp(fd) >= 0;
}

// The echo goes to standard output or standard error when either is the
// terminal typed at, and otherwise to that terminal opened for writing
// (standard input may be open for reading only, as in `roster < /dev/tty`).
int open_echo(bool& owned) {
  owned = false;
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    if (is_input_terminal(fd)) return fd;
  }
  const char* name = ttyname(STDIN_FILENO);
  int fd = name != nullptr ? open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC) : -1;
  if (fd < 0) return STDIN_FILENO;
  owned = true;
  return fd;
}

// A SIGCONT or SIGWINCH that came while the wait was interrupted (by the
// stop itself: Ctrl-Z's handler runs with every signal blocked) is still
// pending when the wait returns, and the counts do not say it yet: it is let
// in now, before anyone looks at them or at the clock.
void let_pending_in(const sigset_t& waiting) {
  sigset_t pending;
  if (sigpending(&pending) != 0 || (!sigismember(&pending, SIGCONT) && !sigismember(&pending, SIGWINCH))) return;
  struct timespec now {0, 0};
  ppoll(nullptr, 0, &now, &waiting);
}

// Waits, letting signals in by `waiting`, until no resize has come for a
// moment.
void settle_resizes(const sigset_t& waiting) {
  for (;;) {
    int before = terminal::times_resized();
    struct timespec settle {0, kResizeSettleNs};
    ppoll(nullptr, 0, &settle, &waiting);
    let_pending_in(waiting);
    if (terminal::times_resized() == before) return;
  }
}

}  // namespace

PosixTerminalIo::PosixTerminalIo()
    : echo_fd_(open_echo(owns_echo_fd_)),
      seen_continued_(terminal::times_continued()),
      seen_resized_(terminal::times_resized()) {}

PosixTerminalIo::~PosixTerminalIo() {
  if (owns_echo_fd_) close(echo_fd_);
}

void PosixTerminalIo::about_to_draw() {
  seen_continued_ = terminal::times_continued();
  seen_resized_ = terminal::times_resized();
}

TerminalIo::wait PosixTerminalIo::read_byte(int timeout_ms, unsigned char& byte) {
  // SIGCONT and SIGWINCH are let in only while waiting, so that neither can
  // fall between the look at the counts and the wait, and go unanswered.
  sigset_t held, original;
  sigemptyset(&held);
  sigaddset(&held, SIGCONT);
  sigaddset(&held, SIGWINCH);
  sigprocmask(SIG_BLOCK, &held, &original);
  sigset_t waiting = original;
  sigdelset(&waiting, SIGCONT);
  sigdelset(&waiting, SIGWINCH);
  bool timed = timeout_ms >= 0;
  struct timespec deadline {};
  auto start_timer = [&] {
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (timeout_ms % 1000) * 1'000'000L;
    if (deadline.tv_nsec >= 1'000'000'000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1'000'000'000L;
    }
  };
  if (timed) start_timer();
  bool looked = false;
  wait result = wait::byte;
  for (;;) {
    int continued = terminal::times_continued();
    if (continued != seen_continued_) {
      if (terminal::in_foreground()) {
        if (!timed) {
          result = wait::continued;
          break;
        }
        // Brought back between a key's bytes: the screen is drawn again at
        // once, and the rest of the key may take as long again.
        if (redraw_) redraw_();
        about_to_draw();
        start_timer();
        continue;
      }
      // Continued in the background (`bg`): the screen and the terminal
      // are the shell's until the job is brought forward again.
      if (stopped_at_ != continued) {
        stopped_at_ = continued;
        terminal::stop_for_terminal();
        continue;
      }
    } else if (!timed && terminal::times_resized() != seen_resized_) {
      settle_resizes(waiting);
      if (terminal::times_continued() != seen_continued_) continue;  // stopped meanwhile: that comes first
      result = wait::resized;
      break;
    }
    if (byte_waiting()) break;
    struct timespec left {};
    if (timed) {
      struct timespec now {};
      clock_gettime(CLOCK_MONOTONIC, &now);
      long long ns = (deadline.tv_sec - now.tv_sec) * 1'000'000'000LL + (deadline.tv_nsec - now.tv_nsec);
      // Past the deadline, what has arrived already is still looked at once:
      // a wait of 0 takes a byte that came with the one before it.
      if (ns <= 0 && looked) {
        result = wait::timed_out;
        break;
      }
      looked = true;
      if (ns < 0) ns = 0;
      left.tv_sec = static_cast<time_t>(ns / 1'000'000'000LL);
      left.tv_nsec = static_cast<long>(ns % 1'000'000'000LL);
    }
    struct pollfd ready {STDIN_FILENO, POLLIN, 0};
    int got = ppoll(&ready, 1, timed ? &left : nullptr, &waiting);
    if (got > 0 || (got < 0 && errno != EINTR)) break;
    if (got < 0) let_pending_in(waiting);
  }
  sigprocmask(SIG_SETMASK, &original, nullptr);
  if (result == wait::timed_out) return result;
  if (result != wait::byte) {
    about_to_draw();
    return result;
  }
  std::optional<unsigned char> next = posix::read_byte(timed ? 0 : -1);
  if (!next) return timed ? wait::timed_out : wait::ended;
  byte = *next;
  return wait::byte;
}

void PosixTerminalIo::unread(std::string_view bytes) { posix::unread(bytes); }

void PosixTerminalIo::write(std::string_view bytes) {
  about_to_draw();
  while (!bytes.empty()) {
    ssize_t n = ::write(echo_fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      wait_until_ready(echo_fd_, POLLOUT);  // held by Ctrl-S, say
      continue;
    }
    if (n <= 0) return;  // an echo that cannot be shown loses nothing typed
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

int PosixTerminalIo::columns() {
  struct winsize size {};
  if (ioctl(echo_fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

int PosixTerminalIo::rows() {
  struct winsize size {};
  if (ioctl(echo_fd_, TIOCGWINSZ, &size) == 0) return size.ws_row;
  return 0;
}

}  // namespace console::posix
