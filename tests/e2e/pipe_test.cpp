// The built program driven through a pipe, its whole output compared byte for
// byte, under a UTF-8 and a GBK locale.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "child_process.h"
#include "test_support.h"

namespace {

using testing_support::gbk;

std::string read_file(const std::string& name) {
  std::ifstream file(std::string(E2E_DATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

e2e::piped_run run(std::string_view input, std::vector<std::string> environment) {
  environment.push_back("PATH=/usr/bin:/bin");
  return e2e::run_piped({e2e::program_path()}, input, environment);
}

const std::string kSessionIn = read_file("full_session.in");
const std::string kSessionOut = read_file("full_session.out");

TEST(PipeTranscript, UnderUtf8TheOutputIsUtf8) {
  for (std::vector<std::string> env : {std::vector<std::string>{"LANG=C.UTF-8"},
                                       {"LANG=C"},
                                       {},
                                       {"LC_ALL=POSIX", "LANG=zh_CN.GBK"},
                                       {"LC_CTYPE=C.UTF-8", "LANG=zh_CN.GBK"}}) {
    e2e::piped_run result = run(kSessionIn, env);
    EXPECT_EQ(result.output, kSessionOut) << (env.empty() ? "no locale" : env[0]);
    EXPECT_EQ(result.end.exit_status, 0);
  }
}

TEST(PipeTranscript, UnderGbkTheOutputIsTheProgramsOwnBytes) {
  for (const char* locale : {"LANG=zh_CN.GBK", "LC_ALL=zh_CN.GBK", "LANG=zh_CN.GB18030"}) {
    e2e::piped_run result = run(gbk(kSessionIn), {locale});
    EXPECT_EQ(result.output, gbk(kSessionOut)) << locale;
    EXPECT_EQ(result.end.exit_status, 0);
  }
}

TEST(PipeTranscript, WindowsLineEndingsReadTheSame) {
  std::string crlf;
  for (char c : kSessionIn) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  EXPECT_EQ(run(crlf, {"LANG=C.UTF-8"}).output, kSessionOut);
}

TEST(PipeGate, ThreeWrongPasswordsEndWithStatusOne) {
  e2e::piped_run result = run("1\n\n9071350\n2\n0\n", {"LANG=C.UTF-8"});
  EXPECT_EQ(result.output,
            "欢迎进入学生信息管理系统\n请输入管理员密码：**\n请输入管理员密码：*\n"
            "请输入管理员密码：********\n三次输入错误！！！退出系统\n");
  EXPECT_EQ(result.end.exit_status, 1);
}

TEST(PipeGate, EndOfInputAtTheGateEndsWithStatusOne) {
  for (const char* input : {"", "9071", "907135"}) {
    e2e::piped_run result = run(input, {"LANG=C.UTF-8"});
    EXPECT_EQ(result.end.exit_status, 1) << input;
    EXPECT_EQ(result.output.find("******************"), std::string::npos) << "no menu";
  }
}

TEST(PipeEncoding, TypedTextIsStoredAsGbkAndShownBackInTheLocale) {
  // An emoji has no GBK form; a broken UTF-8 byte is not a character.
  std::string input = "907135\n1\n名\xf0\x9f\x98\x80\xff\nA1\nc\n1 2 3\n#\n2\n0\n";
  e2e::piped_run utf8 = run(input, {"LANG=C.UTF-8"});
  EXPECT_NE(utf8.output.find("No.1\t\t名??\tA1\tc\t1.0\t2.0\t3.0\t2.0\n"), std::string::npos);
  // Half a GBK character at the end of a line under a GBK locale.
  e2e::piped_run half = run(gbk("907135\n1\n名") + "\xd6\nA1\nc\n1 2 3\n#\n2\n0\n", {"LANG=zh_CN.GBK"});
  EXPECT_NE(half.output.find(gbk("No.1\t\t名?\tA1\tc\t1.0\t2.0\t3.0\t2.0\n")), std::string::npos);
}

}  // namespace
