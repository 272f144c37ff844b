#include <langinfo.h>
#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <string>
#include <string_view>

#include "messages/messages.h"

namespace console {
namespace {

constexpr char kDomain[] = "roster";

std::string folder_of_program() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.find_last_of('/'));
}

// Installed, the catalogs are in share/locale beside the program's bin
// folder; in a build tree, in locale/ beside the program.
std::string catalog_folder() {
  std::string folder = folder_of_program();
  std::string installed = folder + "/../share/locale";
  std::string built = folder + "/locale";
  return access((built + "/zh_CN/LC_MESSAGES/roster.mo").c_str(), R_OK) == 0 ? built : installed;
}

// The reader's language comes the usual way, from LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG. A locale without a character set that can hold the
// translations (C, POSIX) keeps the English texts rather than question marks.
bool set_up() {
  if (std::setlocale(LC_MESSAGES, "") == nullptr || std::setlocale(LC_CTYPE, "") == nullptr) return false;
  if (std::string_view(nl_langinfo(CODESET)) == "ANSI_X3.4-1968") return false;
  return bindtextdomain(kDomain, catalog_folder().c_str()) != nullptr;
}

bool translating() {
  static const bool set = set_up();
  return set;
}

}  // namespace

void choose_reader_language() { translating(); }

const char* translate(const char* english) { return translating() ? dgettext(kDomain, english) : english; }

}  // namespace console
