// What users may type that the program must survive: huge lines, NUL bytes,
// broken characters, numbers that are not numbers, input that stops anywhere,
// floods of keys, and signals. Each case asserts the exact outcome, through a
// pipe under both locales and at a terminal.
#include <gtest/gtest.h>

#include <csignal>

#include "child_process.h"
#include "console/transcoder.h"
#include "test_support.h"

namespace {

using testing_support::gbk;
using testing_support::valid_in;

const std::string kMiB(1 << 20, 'x');
const std::string kBadChoice = "输入有误请重新输入";
const std::string kMenuPrompt = "请输入相应的数字";

std::size_t count_of(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
  return count;
}

// A piped session under one locale; input and the returned output in UTF-8
// whatever the locale, after checking the raw output is valid in its set.
class PipedBadInput : public ::testing::TestWithParam<const char*> {
 protected:
  bool gbk_locale() const { return std::string(GetParam()) == "zh_CN.GBK"; }

  e2e::piped_run run(const std::string& utf8_input, const std::string& raw_tail = "") {
    std::string input = (gbk_locale() ? gbk(utf8_input) : utf8_input) + raw_tail;
    e2e::piped_run result =
        e2e::run_piped({e2e::program_path()}, input, {std::string("LANG=") + GetParam()}, 20000);
    const char* charset = gbk_locale() ? "GBK" : "UTF-8";
    EXPECT_TRUE(valid_in(charset, result.output)) << "output not valid " << charset;
    if (gbk_locale()) result.output = to_utf8(result.output);
    return result;
  }

  static std::string to_utf8(const std::string& gbk_text) {
    console::Transcoder converter("GBK", "UTF-8");
    std::string out;
    converter.convert(gbk_text, out, true);
    return out;
  }
};

TEST_P(PipedBadInput, AMebibyteLineAtEveryTextPromptIsCutTo19Bytes) {
  e2e::piped_run result = run("907135\n1\n" + kMiB + "\n" + kMiB + "\n" + kMiB + "\n1 2 3\n#\n2\n0\n");
  std::string x19(19, 'x');
  EXPECT_NE(result.output.find("No.1\t\t" + x19 + "\t" + x19 + "\t" + x19 + "\t1.0\t2.0\t3.0\t2.0\n"),
            std::string::npos);
  EXPECT_EQ(result.end.exit_status, 0);
}

TEST_P(PipedBadInput, AMebibyteKeyMatchesNothing) {
  std::string key(1 << 20, 'A');
  e2e::piped_run result =
      run("907135\n1\nn\nA\nc\n1 1 1\n#\n6 " + key + "\n4\n" + key + "\n3 " + key + "\n2\n2\n0\n");
  EXPECT_EQ(count_of(result.output, "未找到此人"), 2u) << "the query, then the insert's question";
  EXPECT_EQ(count_of(result.output, "查无此人！"), 1u);
  EXPECT_NE(result.output.find("名单内一共有1个学生"), std::string::npos);
}

TEST_P(PipedBadInput, AMebibyteLineAtTheMenuIsOneBadChoice) {
  std::string digits(1 << 20, '7');
  e2e::piped_run result = run("907135\n" + kMiB + "\n" + digits + "\n0\n");
  EXPECT_EQ(count_of(result.output, kBadChoice), 2u);
  EXPECT_EQ(result.end.exit_status, 0);
}

TEST_P(PipedBadInput, NulBytesAreOrdinaryKeysAndStoredAsQuestionMarks) {
  std::string nul(1, '\0');
  e2e::piped_run gate = run("907135" + nul + "\n0\n");
  EXPECT_EQ(count_of(gate.output, "请输入管理员密码："), 3u) << "a held 0 makes the entry wrong";
  e2e::piped_run result =
      run("907135\n" + nul + "\n1\na" + nul + "b\x1b[2J\nA1\nc\n1 2 3\n#\n6 A1" + nul + "\n6 A1\n2\n0\n");
  EXPECT_EQ(count_of(result.output, kBadChoice), 1u);
  EXPECT_EQ(count_of(result.output, "未找到此人"), 1u) << "a key with a NUL is not the number";
  EXPECT_NE(result.output.find("a?b?[2J\tA1\tc\t1.0\t2.0\t3.0\t2.0\n"), std::string::npos)
      << "no control character reaches the listing raw";
  EXPECT_EQ(result.end.exit_status, 0);
}

TEST_P(PipedBadInput, BrokenCharactersBecomeQuestionMarks) {
  // Invalid in UTF-8 and in GBK alike: 0xff, and a lead byte cut off by the
  // line break.
  e2e::piped_run result = run("907135\n1\n", "a\xff\xd6\nA1\nc\n1 2 3\n#\n2\n0\n");
  EXPECT_NE(result.output.find("No.1\t\ta??\tA1\t"), std::string::npos);
  EXPECT_EQ(result.end.exit_status, 0);
}

TEST_P(PipedBadInput, ScoresThatAreNotOrdinaryNumbers) {
  e2e::piped_run result = run(
      "907135\n1\na\nA\nc\n1e999 50 nan\nb\nB\nc\n99999999999 inf 3\nd\nD\nc\n-0 -0 -0\n#\n2\n0\n");
  EXPECT_NE(result.output.find("a\tA\tc\t0.0\t50.0\t0.0\t16.7\n"), std::string::npos)
      << "too large counts 0; nan is not a number";
  EXPECT_NE(result.output.find("b\tB\tc\t99999999999.0\t0.0\t0.0\t33333333333.0\n"), std::string::npos);
  EXPECT_NE(result.output.find("d\tD\tc\t0.0\t0.0\t0.0\t0.0\n"), std::string::npos);
}

TEST_P(PipedBadInput, ChoicesThatAreNotOrdinaryNumbers) {
  e2e::piped_run result = run("907135\n99999999999\nnan\ninf\n1e999\n#\n-0\n");
  EXPECT_EQ(count_of(result.output, kBadChoice), 3u);
  EXPECT_EQ(count_of(result.output, "姓名输入#时，停止输入"), 1u) << "1e999 reads as 1, as 3abc reads as 3";
  EXPECT_EQ(result.end.exit_status, 0) << "-0 is 0";
}

TEST_P(PipedBadInput, EndOfInputAtEveryPromptEndsPromptly) {
  struct stop {
    const char* input;
    int status;
    const char* last_text;  // the last text before the final menu
  };
  const stop stops[] = {
      {"", 1, "请输入管理员密码："},
      {"9071", 1, "请输入管理员密码：****"},
      {"907135\n", 0, nullptr},
      {"907135\n1\n", 0, "请输入姓名：按任意键进行下一步操作\n"},
      {"907135\n1\nn\n", 0, "请输入学号：\n按任意键进行下一步操作\n"},
      {"907135\n1\nn\nA\n", 0, "请输入班级：\n按任意键进行下一步操作\n"},
      {"907135\n1\nn\nA\nc\n", 0, "请输入三门课的成绩：\n按任意键进行下一步操作\n"},
      {"907135\n1\nn\nA\nc\n5", 0, "请输入三门课的成绩：\n按任意键进行下一步操作\n"},
      {"907135\n1\nn\nA\nc\n5 6 7\n", 0, "请输入三门课的成绩：\n请输入姓名：按任意键进行下一步操作\n"},
      {"907135\n3", 0, "请输入你想插入学生后(学号)\n按任意键进行下一步操作\n"},
      {"907135\n3 Z", 0, "未找到此人，如果要插入尾部请输入1\n按任意键进行下一步操作\n"},
      {"907135\n3 Z 1", 0, "请输入姓名：按任意键进行下一步操作\n"},
      {"907135\n4", 0, "请输入你想删除学生的学号\n按任意键进行下一步操作\n"},
      {"907135\n5", 0, "请输入你想修改学生的学号\n按任意键进行下一步操作\n"},
      {"907135\n6", 0, "请输入你想查询学生的学号\n按任意键进行下一步操作\n"},
  };
  for (const stop& s : stops) {
    e2e::piped_run result = run(s.input);
    EXPECT_EQ(result.end.exit_status, s.status) << s.input;
    EXPECT_LT(result.output.size(), 4096u) << s.input;
    if (s.last_text != nullptr) {
      EXPECT_NE(result.output.find(s.last_text), std::string::npos) << s.input;
    }
    if (s.status == 0) {
      std::string ending = "***********************************************************\n";
      EXPECT_EQ(result.output.substr(result.output.size() - ending.size()), ending)
          << "ends at the menu, writing nothing more: " << s.input;
    } else {
      EXPECT_EQ(result.output.find(kMenuPrompt), std::string::npos);
    }
  }
  // Half a character at the very end is still typed: a key "?" that matches nobody.
  e2e::piped_run cut = run("907135\n6\n", "\xe4");
  EXPECT_NE(cut.output.find("请输入你想查询学生的学号\n未找到此人\n按任意键进行下一步操作\n"), std::string::npos);
}

TEST_P(PipedBadInput, FloodsOfKeysAtThePasswordPrompt) {
  for (std::size_t keys : {std::size_t{10000}, kMiB.size()}) {
    e2e::piped_run result = run(std::string(keys, '9') + "\n907135\n0\n");
    EXPECT_NE(result.output.find("请输入管理员密码：" + std::string(keys + 1, '*') + "\n请输入管理员密码：*******\n"),
              std::string::npos);
    EXPECT_EQ(result.end.exit_status, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothLocales, PipedBadInput, ::testing::Values("C.UTF-8", "zh_CN.GBK"),
                         [](const auto& locale) { return std::string(locale.param)[0] == 'C' ? "Utf8" : "Gbk"; });

// --- At a terminal ----------------------------------------------------------

const std::vector<std::string> kUtf8Terminal = {"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin"};

TEST(TerminalBadInput, AHugeLineAtATextPromptIsCut) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("1\r");
  ASSERT_TRUE(session.wait_for("请输入姓名："));
  session.send(kMiB + "\r");  // the terminal itself keeps at most 4095 bytes
  ASSERT_TRUE(session.wait_for("请输入学号："));
  session.send("A1\rc\r1 2 3\r#\r");
  ASSERT_TRUE(session.wait_for("按任意键进行下一步操作"));
  std::size_t from = session.output().size();
  session.send("k");
  ASSERT_TRUE(session.wait_for(kMenuPrompt, from));
  session.send("2\r");
  EXPECT_TRUE(session.wait_for("No.1\t\t" + std::string(19, 'x') + "\tA1\tc\t", from));
  session.kill(SIGTERM);
  EXPECT_EQ(session.wait().signal, SIGTERM);
}

TEST(TerminalBadInput, TenThousandKeysAtThePasswordPrompt) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(session.wait_for("请输入管理员密码："));
  for (int i = 0; i < 10; ++i) {
    session.send(std::string(1000, '5'));
    ASSERT_TRUE(session.wait_for(std::string(static_cast<std::size_t>(i + 1) * 1000, '*')));
  }
  session.send("\r907135\r");
  ASSERT_TRUE(session.wait_for(kMenuPrompt));
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
  EXPECT_TRUE(e2e::same_settings(session.settings(), session.initial_settings()));
}

TEST(TerminalBadInput, BrokenUtf8TypedAtAPrompt) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("1\rb\xff\xe4\xb8z\rA1\rc\r1 2 3\r#\r");
  ASSERT_TRUE(session.wait_for("按任意键进行下一步操作"));
  std::size_t from = session.output().size();
  session.send("k2\r");
  EXPECT_TRUE(session.wait_for("No.1\t\tb???z\tA1\t", from));
  EXPECT_TRUE(valid_in("UTF-8", session.output().substr(from)));
  session.kill(SIGHUP);
  EXPECT_EQ(session.wait().signal, SIGHUP);
}

TEST(TerminalBadInput, SignalsWhileALineIsAwaitedLeaveTheTerminalAsItWas) {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    for (bool in_dialogue : {false, true}) {
      e2e::PtySession session(kUtf8Terminal);
      ASSERT_TRUE(e2e::open_gate(session));
      if (in_dialogue) {
        session.send("5\r");
        ASSERT_TRUE(session.wait_for("请输入你想修改学生的学号"));
      }
      session.kill(signal_number);
      EXPECT_EQ(session.wait().signal, signal_number);
      EXPECT_TRUE(e2e::same_settings(session.settings(), session.initial_settings()));
    }
  }
}

TEST(TerminalBadInput, EndOfInputInADialogueFinishesAtTheMenu) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("1\rAnn\r\x04");
  ASSERT_TRUE(session.wait_for("按任意键进行下一步操作"));
  session.send("k");  // a person is still at the keyboard for the pause
  EXPECT_EQ(session.wait().exit_status, 0);
  EXPECT_TRUE(e2e::same_settings(session.settings(), session.initial_settings()));
}

}  // namespace
