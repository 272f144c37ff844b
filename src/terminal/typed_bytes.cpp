#include "terminal/typed_bytes.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>

#include "console/posix_input.h"

namespace console::posix {
namespace {

constexpr std::size_t kReadSize = 4096;

// Bytes from the keyboard read and not yet taken.
struct typed_bytes {
  std::string data;
  std::size_t next = 0;
} typed;

}  // namespace

bool byte_waiting() { return typed.next < typed.data.size(); }

std::optional<unsigned char> read_byte(int timeout_ms) {
  if (!byte_waiting()) {
    if (timeout_ms >= 0) {
      struct pollfd ready {STDIN_FILENO, POLLIN, 0};
      int rc;
      while ((rc = poll(&ready, 1, timeout_ms)) < 0 && errno == EINTR) {
      }
      if (rc <= 0) return std::nullopt;
    }
    char buffer[kReadSize];
    ssize_t n = read_standard_input(buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    typed.data.assign(buffer, static_cast<std::size_t>(n));
    typed.next = 0;
  }
  return static_cast<unsigned char>(typed.data[typed.next++]);
}

void unread(std::string_view bytes) {
  // Still in the buffer, as they mostly are: step back over them. Bytes that
  // came in an earlier read go back in front of what is left.
  if (typed.next >= bytes.size() && std::string_view(typed.data).substr(typed.next - bytes.size(), bytes.size()) == bytes) {
    typed.next -= bytes.size();
    return;
  }
  typed.data = std::string(bytes) + typed.data.substr(typed.next);
  typed.next = 0;
}

}  // namespace console::posix
