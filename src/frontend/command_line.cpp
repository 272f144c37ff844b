#include "frontend/command_line.h"

#include "console/console.h"

namespace command_line {
namespace {

constexpr const char* kUsage = console::translatable(
    "Usage: roster [FILE]\n"
    "       roster --help | --version\n"
    "\n"
    "Keeps a roster of students, protected by the administrator's password.\n"
    "Given FILE (CSV), it reads the roster from it at start and saves it there\n"
    "after every change; a FILE that does not exist yet is created at the first\n"
    "save.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "  --         what follows is a file name, even if it begins with '-'\n");

}  // namespace

request parse(const std::vector<std::string>& arguments) {
  request result;
  bool options_over = false;
  for (const std::string& argument : arguments) {
    if (!options_over && argument == "--") {
      options_over = true;
    } else if (!options_over && (argument == "--help" || argument == "-h")) {
      if (result.what == request::action::run) result.what = request::action::help;
    } else if (!options_over && argument == "--version") {
      if (result.what == request::action::run) result.what = request::action::version;
    } else if (!options_over && argument.size() > 1 && argument.front() == '-') {
      return {request::action::misuse, false, "", console::message("unknown option %s", {argument})};
    } else if (result.has_file) {
      return {request::action::misuse, false, "", console::message("more than one file")};
    } else {
      result.has_file = true;
      result.file = argument;
    }
  }
  return result;
}

std::string usage_text() { return console::message(kUsage); }

std::string version_text() { return "roster " ROSTER_VERSION; }

}  // namespace command_line
