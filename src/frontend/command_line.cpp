#include "frontend/command_line.h"

#include <cstdlib>
#include <string_view>

namespace command_line {
namespace {

constexpr const char kEnglishUsage[] =
    "Usage: roster [FILE]\n"
    "       roster --help | --version\n"
    "\n"
    "Keeps a roster of students behind a password. Given FILE (CSV), it reads\n"
    "the roster from it at start and saves it there after every change; a FILE\n"
    "that does not exist yet is created at the first save.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "  --         what follows is a file name, even if it begins with '-'\n";

constexpr const char kChineseUsage[] =
    // 用法：roster [文件]
    "\xd3\xc3\xb7\xa8\xa3\xbaroster [\xce\xc4\xbc\xfe]\n"
    //       roster --help | --version
    "      roster --help | --version\n"
    //
    "\n"
    // 在密码之后管理一份学生名单。给出文件（CSV）时，启动时从中读入名单，
    "\xd4\xda\xc3\xdc\xc2\xeb\xd6\xae\xba\xf3\xb9\xdc\xc0\xed\xd2\xbb\xb7\xdd\xd1\xa7\xc9\xfa\xc3\xfb\xb5\xa5\xa1\xa3\xb8\xf8\xb3\xf6\xce\xc4\xbc\xfe\xa3\xa8" "CSV\xa3\xa9\xca\xb1\xa3\xac\xc6\xf4\xb6\xaf\xca\xb1\xb4\xd3\xd6\xd0\xb6\xc1\xc8\xeb\xc3\xfb\xb5\xa5\xa3\xac\n"
    // 每次修改后立即保存到其中；文件还不存在时，在第一次保存时创建。
    "\xc3\xbf\xb4\xce\xd0\xde\xb8\xc4\xba\xf3\xc1\xa2\xbc\xb4\xb1\xa3\xb4\xe6\xb5\xbd\xc6\xe4\xd6\xd0\xa3\xbb\xce\xc4\xbc\xfe\xbb\xb9\xb2\xbb\xb4\xe6\xd4\xda\xca\xb1\xa3\xac\xd4\xda\xb5\xda\xd2\xbb\xb4\xce\xb1\xa3\xb4\xe6\xca\xb1\xb4\xb4\xbd\xa8\xa1\xa3\n"
    //
    "\n"
    //   --help     显示本说明并退出
    "  --help     \xcf\xd4\xca\xbe\xb1\xbe\xcb\xb5\xc3\xf7\xb2\xa2\xcd\xcb\xb3\xf6\n"
    //   --version  显示版本并退出
    "  --version  \xcf\xd4\xca\xbe\xb0\xe6\xb1\xbe\xb2\xa2\xcd\xcb\xb3\xf6\n"
    //   --         其后的参数都是文件名，即使以“-”开头
    "  --         \xc6\xe4\xba\xf3\xb5\xc4\xb2\xce\xca\xfd\xb6\xbc\xca\xc7\xce\xc4\xbc\xfe\xc3\xfb\xa3\xac\xbc\xb4\xca\xb9\xd2\xd4\xa1\xb0-\xa1\xb1\xbf\xaa\xcd\xb7\n";

bool chinese_locale() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::string_view(value).substr(0, 3) == "zh_";
  }
  return false;
}

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
      return {request::action::misuse, false, "", "unknown option " + argument};
    } else if (result.has_file) {
      return {request::action::misuse, false, "", "more than one file"};
    } else {
      result.has_file = true;
      result.file = argument;
    }
  }
  return result;
}

std::string usage_text() { return chinese_locale() ? kChineseUsage : kEnglishUsage; }

std::string version_text() { return "roster " ROSTER_VERSION; }

}  // namespace command_line
