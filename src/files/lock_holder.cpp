#include "files/lock_holder.h"

#include "console/console.h"

namespace files {

std::string lock_holder_lines(std::string_view user, std::string_view host, std::string_view started) {
  std::string lines;
  for (std::string_view line : {user, host, started}) lines.append(line).push_back('\n');
  return lines;
}

std::string lock_holder_said(std::string_view lines) {
  std::string field[3];
  std::size_t at = 0;
  for (std::string& one : field) {
    std::size_t end = lines.find('\n', at);
    if (end == std::string_view::npos) return console::message("who and since when is not known");
    one = lines.substr(at, end - at);
    at = end + 1;
  }
  return console::message("%s on %s, since %s", {field[0], field[1], field[2]});
}

}  // namespace files
