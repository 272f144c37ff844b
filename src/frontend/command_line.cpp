#include "frontend/command_line.h"

#include "console/console.h"

namespace command_line {
namespace {

constexpr const char* kUsage = console::translatable(
    "Usage: roster [FILE]\n"
    "       roster --history FILE\n"
    "       roster --restore N FILE\n"
    "       roster --help | --version\n"
    "\n"
    "Keeps a roster of students, protected by the administrator's password.\n"
    "Given FILE (CSV), it reads the roster from it at start and saves it there\n"
    "after every change; a FILE that does not exist yet is created at the first\n"
    "save.\n"
    "\n"
    "Every change keeps the file it replaces as a version, in the folder\n"
    "beside it named after it with \"-versions\" (class.csv keeps them in\n"
    "class-versions).\n"
    "\n"
    "  --history    list FILE's versions, newest first, numbered from 1 (FILE as it is)\n"
    "  --restore N  make version N the roster again; the roster as it is becomes a version\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "  --           what follows is a file name, even if it begins with '-'\n");

}  // namespace

request parse(const std::vector<std::string>& arguments) {
  request result;
  bool options_over = false;
  bool number_next = false;
  for (const std::string& argument : arguments) {
    if (number_next) {
      number_next = false;
      int number = argument.empty() ? -1 : 0;
      for (char c : argument) {
        if (c < '0' || c > '9' || number < 0 || number >= 100000000) {
          number = -1;
          break;
        }
        number = number * 10 + (c - '0');
      }
      if (number <= 0) {
        return {request::action::misuse, false, "", 0, console::message("not a version number: %s", {argument})};
      }
      result.version_number = number;
    } else if (!options_over && argument == "--") {
      options_over = true;
    } else if (!options_over && (argument == "--help" || argument == "-h")) {
      if (result.what == request::action::run) result.what = request::action::help;
    } else if (!options_over && argument == "--version") {
      if (result.what == request::action::run) result.what = request::action::version;
    } else if (!options_over && (argument == "--history" || argument == "--restore")) {
      if (result.what != request::action::run) {
        return {request::action::misuse, false, "", 0, console::message("--history and --restore go alone")};
      }
      result.what = argument == "--history" ? request::action::history : request::action::restore;
      number_next = argument == "--restore";
    } else if (!options_over && argument.size() > 1 && argument.front() == '-') {
      return {request::action::misuse, false, "", 0, console::message("unknown option %s", {argument})};
    } else if (result.has_file) {
      return {request::action::misuse, false, "", 0, console::message("more than one file")};
    } else {
      result.has_file = true;
      result.file = argument;
    }
  }
  if (number_next) return {request::action::misuse, false, "", 0, console::message("--restore needs a version number")};
  bool on_a_file = result.what == request::action::history || result.what == request::action::restore;
  if (on_a_file && !result.has_file) {
    return {request::action::misuse, false, "", 0, console::message("--history and --restore need a roster file")};
  }
  return result;
}

std::string usage_text() { return console::message(kUsage); }

std::string version_text() { return "roster " ROSTER_VERSION; }

}  // namespace command_line
