#include "console/posix_input.h"

#include "console/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace console::posix {

void say_on_stderr(const std::string& what) {
  std::string line = "roster: " + what + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;  // nowhere left to say it
}

void wait_until_ready(int fd, short events) {
  struct pollfd ready {fd, events, 0};
  while (poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
}

ssize_t read_standard_input(void* buffer, std::size_t size) {
  static bool reported = false;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, buffer, size);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_until_ready(STDIN_FILENO, POLLIN);
      continue;
    }
    if (!reported) say_on_stderr(message("cannot read standard input: %s", {std::strerror(errno)}));
    reported = true;
    return 0;
  }
}

namespace {

// Bytes from the keyboard read and not yet taken: everything typed reaches
// keys and lines alike through here, in the order typed.
struct typed_bytes {
  unsigned char data[4096];
  std::size_t next = 0;
  std::size_t end = 0;
} typed;

}  // namespace

bool byte_waiting() { return typed.next < typed.end; }

std::optional<unsigned char> read_byte(int timeout_ms) {
  if (!byte_waiting()) {
    if (timeout_ms >= 0) {
      struct pollfd ready {STDIN_FILENO, POLLIN, 0};
      int rc;
      while ((rc = poll(&ready, 1, timeout_ms)) < 0 && errno == EINTR) {
      }
      if (rc <= 0) return std::nullopt;
    }
    ssize_t n = read_standard_input(typed.data, sizeof typed.data);
    if (n <= 0) return std::nullopt;
    typed.next = 0;
    typed.end = static_cast<std::size_t>(n);
  }
  return typed.data[typed.next++];
}

void unread_byte() {
  if (typed.next > 0) --typed.next;
}

}  // namespace console::posix
