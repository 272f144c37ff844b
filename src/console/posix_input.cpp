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

}  // namespace console::posix
