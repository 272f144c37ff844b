#include "terminal/typed_bytes.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "console/posix_input.h"

namespace console::posix {
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
