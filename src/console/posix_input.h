// Reading standard input on a POSIX system, whatever kind of file it is,
// blocking or not.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace console::posix {

// Says a message on standard error as "roster: message", straight away.
void say_on_stderr(const std::string& what);

// Waits until `fd` is ready for `events`, for a descriptor someone made
// non-blocking.
void wait_until_ready(int fd, short events);

// Reads what standard input has, waiting where it is non-blocking. 0 at its
// end; an input that cannot be read (closed, a directory) is said once on
// standard error and then counts as ended.
ssize_t read_standard_input(void* buffer, std::size_t size);

}  // namespace console::posix
