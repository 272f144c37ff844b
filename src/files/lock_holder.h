// Who holds a roster file's lock, kept in the lock file as office programs
// keep it in theirs, so that a colleague refused knows whom to ask.
#pragma once

#include <string>
#include <string_view>

namespace files {

// The lock file's text: the user, the machine and the time the program
// started, one a line.
std::string lock_holder_lines(std::string_view user, std::string_view host, std::string_view started);

// Text from a file another user may have written (UTF-8), as it may be
// shown: every control character '?', and 80 bytes at most.
std::string shown_safely(std::string_view text);

// Those lines as a message says them: "张老师 on pc-12, since 2026-12-09 08:15".
std::string lock_holder_said(std::string_view lines);

}  // namespace files
