// Lines typed at a terminal: edited by whole characters under GBK and UTF-8
// terminals (the kernel's iutf8 on or off), the editing keys, pasted lines,
// and a line suspended and taken up again.
#include <gtest/gtest.h>

#include "child_process.h"
#include "test_support.h"

namespace {

using testing_support::gbk;

const std::string kPause = "按任意键进行下一步操作";

struct terminal {
  const char* locale;
  bool iutf8;
};
void PrintTo(const terminal& t, std::ostream* os) { *os << t.locale << (t.iutf8 ? " iutf8" : " -iutf8"); }

class LineEditing : public ::testing::TestWithParam<terminal> {
 protected:
  // GBK and GB18030 share the bytes of every character these tests type.
  bool gbk_terminal() const { return std::string(GetParam().locale).find(".GB") != std::string::npos; }
  // A text in the terminal's character set.
  std::string typed(const std::string& utf8) const { return gbk_terminal() ? gbk(utf8) : utf8; }

  std::unique_ptr<e2e::PtySession> open() const {
    auto session = std::make_unique<e2e::PtySession>(
        std::vector<std::string>{std::string("LANG=") + GetParam().locale, "TERM=xterm", "PATH=/usr/bin:/bin"},
        std::vector<std::string>{}, e2e::pty_options{.iutf8 = GetParam().iutf8});
    EXPECT_TRUE(session->wait_for(typed("请输入管理员密码：")));
    session->send("907135\r");
    EXPECT_TRUE(session->wait_for(typed("请输入相应的数字")));
    return session;
  }

  // Lists the roster and gives back the listing's rows.
  std::string listing(e2e::PtySession& session) const {
    EXPECT_TRUE(session.wait_for(typed(kPause)));
    std::size_t from = session.output().size();
    session.send("k2\r");
    EXPECT_TRUE(session.wait_for(typed(kPause), from));
    return session.output().substr(from);
  }
};

TEST_P(LineEditing, BackspaceErasesWholeCharacters) {
  auto session = open();
  session->send("1\r");
  ASSERT_TRUE(session->wait_for(typed("请输入姓名：")));
  std::size_t before_erase = session->output().size();
  session->send(typed("张") + "\x7f" + "A\rA\rc\r1 2 3\r");
  session->send(typed("王小") + "\x7f" + typed("明") + "\rB\rc\r1 2 3\r");
  session->send(typed("张三") + "\x7f" + "\rC\rc\r1 2 3\r");
  // At the start and in the middle: Home, Delete, End, Left, Backspace, 四.
  session->send(typed("一二三") + "\x1b[H\x1b[3~\x1b[F\x1b[D\x7f" + typed("四") + "\rD\rc\r1 2 3\r#\r");
  std::string rows = listing(*session);
  EXPECT_NE(rows.find("No.1\t\tA\tA\t"), std::string::npos);
  EXPECT_NE(rows.find("No.2\t\t" + typed("王明") + "\tB\t"), std::string::npos);
  EXPECT_NE(rows.find("No.3\t\t" + typed("张") + "\tC\t"), std::string::npos);
  EXPECT_NE(rows.find("No.4\t\t" + typed("四三") + "\tD\t"), std::string::npos);
  // The echo draws the line again from the end of the prompt (12 columns),
  // erasing what follows: both columns of the erased character, and never
  // the prompt.
  EXPECT_NE(session->output().find("\r\x1b[12C\x1b[JA", before_erase), std::string::npos);
  session->send("k0\r");
  EXPECT_EQ(session->wait().exit_status, 0);
}

TEST_P(LineEditing, EditingKeysRecallAndLongLines) {
  auto session = open();
  session->send("1\r");
  ASSERT_TRUE(session->wait_for(typed("请输入姓名：")));
  // abcd, Home, Delete, End, Left, Backspace, Ctrl-A, x: "xbd".
  session->send("abcd\x1b[H\x1b[3~\x1b[F\x1b[D\x7f\x01x\r");
  session->send("one two\x17" "2\r");   // Ctrl-W erases "two"
  session->send("c1\r");
  session->send("1 2 3\r");
  session->send("\x1b[A\x1b[A\x1b[A\x1b[A!\r");  // Up four times: "xbd", then "!"
  session->send("junk\x15" "B\r");      // Ctrl-U clears too
  session->send("c\r4 5 6\r");
  // Wider than the screen: 45 x and 45 中 wrap twice; Home, then 40 Deletes.
  session->send(std::string(45, 'x') + [&] {
    std::string zhong;
    for (int i = 0; i < 45; ++i) zhong += typed("中");
    return zhong;
  }() + "\x1b[H");
  for (int i = 0; i < 40; ++i) session->send("\x1b[3~");
  session->send("\rL\rc\r7 8 9\r#\r");
  std::string rows = listing(*session);
  EXPECT_NE(rows.find("No.1\t\txbd\tone 2\tc1\t1.0\t2.0\t3.0\t"), std::string::npos);
  EXPECT_NE(rows.find("No.2\t\txbd!\tB\tc\t"), std::string::npos);
  EXPECT_NE(rows.find("No.3\t\txxxxx" + typed("中中中中中中中") + "\tL\t"), std::string::npos);
  session->send("k0\r");
  EXPECT_EQ(session->wait().exit_status, 0);
}

TEST_P(LineEditing, PastedLinesAndKeysAreTakenInOrder) {
  auto session = open();
  session->send("1\r");
  ASSERT_TRUE(session->wait_for(typed("请输入姓名：")));
  // A whole record, the end of the roster, the pause's key and the listing,
  // pasted at once.
  std::size_t from = session->output().size();
  session->send(typed("甲") + "\rA1\rc1\r1 2 3\r#\rk2\r");
  EXPECT_TRUE(session->wait_for("No.1\t\t" + typed("甲") + "\tA1\tc1\t1.0\t2.0\t3.0\t2.0", from));
  session->send("k0\r");
  EXPECT_EQ(session->wait().exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(Terminals, LineEditing,
                         ::testing::Values(terminal{"zh_CN.GBK", false}, terminal{"zh_CN.GBK", true},
                                           terminal{"zh_CN.GB18030", false}, terminal{"C.UTF-8", false},
                                           terminal{"C.UTF-8", true}, terminal{"C", true}),
                         [](const auto& terminal_case) {
                           std::string locale = terminal_case.param.locale;
                           std::string name = locale == "C" ? "C" : locale.find("GB18030") != std::string::npos ? "Gb18030"
                                                                  : locale[0] == 'z' ? "Gbk" : "Utf8";
                           return name + (terminal_case.param.iutf8 ? "Iutf8" : "NoIutf8");
                         });

TEST(LineEditingWithJobControl, ALineSuspendedMidwayIsDrawnAgainAfterFg) {
  e2e::PtySession shell({"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin", "PS1=$ "},
                        {"/bin/bash", "--norc", "--noprofile", "-i"});
  ASSERT_TRUE(shell.wait_for("$ "));
  shell.send(std::string("'") + e2e::program_path() + "'\r");
  ASSERT_TRUE(shell.wait_for("请输入管理员密码："));
  shell.send("907135\r");
  ASSERT_TRUE(shell.wait_for("请输入相应的数字"));
  shell.send("1\r");
  ASSERT_TRUE(shell.wait_for("请输入姓名："));
  std::size_t from = shell.output().size();
  shell.send("张");
  ASSERT_TRUE(shell.wait_for("张", from));
  shell.send("\x1a");  // Ctrl-Z
  ASSERT_TRUE(shell.wait_for("Stopped", from));
  shell.send("fg\r");
  from = shell.output().size();
  ASSERT_TRUE(shell.wait_for("张", from));
  EXPECT_NE(shell.shown_since(from).find("请输入姓名：张"), std::string::npos) << "the prompt and the line are drawn again";
  shell.send("三\rA\rc\r1 2 3\r#\r");
  ASSERT_TRUE(shell.wait_for(kPause, from));
  shell.send("k2\r");
  EXPECT_TRUE(shell.wait_for("No.1\t\t张三\tA\tc\t", from));
  shell.send("k0\r");
  ASSERT_TRUE(shell.wait_for("$ ", shell.output().size() - 1));
  shell.send("exit\r");
  shell.wait();
}

}  // namespace
