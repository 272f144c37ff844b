// The command line: an optional roster file, --history and --restore N for
// its earlier versions, --help and --version.
#pragma once

#include <string>
#include <vector>

namespace command_line {

struct request {
  enum class action { run, help, version, misuse, history, restore };
  action what = action::run;
  bool has_file = false;
  std::string file;
  int version_number = 0;  // for restore
  std::string problem;  // what was wrong, for misuse, in the reader's language
};

// Reads the arguments after the program's name.
request parse(const std::vector<std::string>& arguments);

// The usage text in the reader's language.
std::string usage_text();

// "roster 1.1.0"
std::string version_text();

}  // namespace command_line
