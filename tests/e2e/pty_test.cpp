// The built program at a real (pseudo) terminal: masked password entry, the
// pause that waits for a key, the clear sequence, and the terminal's settings
// put back on every way out.
#include <gtest/gtest.h>

#include <csignal>

#include "child_process.h"

namespace {

const std::vector<std::string> kUtf8Terminal = {"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin"};
const std::string kClear = "\x1b[H\x1b[2J";
const std::string kAskPassword = "请输入管理员密码：";
const std::string kMenuPrompt = "请输入相应的数字";
const std::string kPause = "按任意键进行下一步操作";

void expect_settings_restored(const e2e::PtySession& session) {
  EXPECT_TRUE(e2e::same_settings(session.settings(), session.initial_settings()))
      << "the terminal was left changed";
}

TEST(Terminal, PasswordKeysShowStarsAndBackspaceErasesOne) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(session.wait_for(kAskPassword));
  session.send("1\r");
  ASSERT_TRUE(session.wait_for("**\r\n"));
  ASSERT_TRUE(session.wait_for(kAskPassword, session.output().find("**")));
  session.send("2\x1b[A\x1b[[A\r");  // a digit, Up, and the Linux console's F1: six stars
  ASSERT_TRUE(session.wait_for("******\r\n"));
  std::size_t third = session.output().size();
  session.send("90x\x7f");
  ASSERT_TRUE(session.wait_for("***\b \b", third));
  session.send("7135\r");
  ASSERT_TRUE(session.wait_for(kMenuPrompt));
  EXPECT_EQ(session.output().find("907"), std::string::npos) << "the password was echoed";
  EXPECT_NE(session.output().find(kClear), std::string::npos);
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
  expect_settings_restored(session);
}

TEST(Terminal, ACharacterTypedAtTheGateIsOneKeyPerGbkByte) {
  for (const char* locale : {"LANG=C.UTF-8", "LANG=zh_CN.GBK"}) {
    std::vector<std::string> environment = {locale, "TERM=xterm", "PATH=/usr/bin:/bin"};
    e2e::PtySession session(environment);
    ASSERT_TRUE(session.wait_for(std::string(locale).find("GBK") != std::string::npos ? "\xc7\xeb" : kAskPassword));
    // 中 is two bytes in GBK (three in UTF-8): two stars, then one for Enter.
    session.send(std::string(locale).find("GBK") != std::string::npos ? "\xd6\xd0\r" : "中\r");
    EXPECT_TRUE(session.wait_for("***\r\n")) << locale;
    EXPECT_EQ(session.output().find("****"), std::string::npos) << locale;
  }
}

TEST(Terminal, ThePauseWaitsForAKeyAndThenClears) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("7\r");
  ASSERT_TRUE(session.wait_for(kPause));
  std::size_t after_pause = session.output().find(kPause);
  session.drain(300);
  EXPECT_EQ(session.output().find(kClear, after_pause), std::string::npos) << "did not wait";
  session.send("q");
  ASSERT_TRUE(session.wait_for(kClear, after_pause));
  ASSERT_TRUE(session.wait_for(kMenuPrompt, after_pause));
  EXPECT_EQ(session.output().find("q", after_pause), std::string::npos) << "the key was echoed";
  session.send("2\r");
  ASSERT_TRUE(session.wait_for("名单内一共有0个学生", after_pause));
  session.send(" 0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
  expect_settings_restored(session);
}

TEST(Terminal, TypedChineseIsStoredAndListed) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("1\r张三丰\rA01\r一班\r90 80 70\r#\r");
  ASSERT_TRUE(session.wait_for(kPause));
  session.send("k");
  std::size_t from = session.output().size();
  ASSERT_TRUE(session.wait_for(kMenuPrompt, from));
  session.send("2\r");
  EXPECT_TRUE(session.wait_for("No.1\t\t张三丰\tA01\t一班\t90.0\t80.0\t70.0\t80.0", from));
  session.send("k");
  ASSERT_TRUE(session.wait_for(kMenuPrompt, session.output().size() - 1));
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
}

TEST(Terminal, ThreeWrongPasswordsEndWithStatusOneAndTheTerminalRestored) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(session.wait_for(kAskPassword));
  session.send("1\r2\r3\r");
  ASSERT_TRUE(session.wait_for("三次输入错误！！！退出系统"));
  e2e::ending end = session.wait();
  EXPECT_EQ(end.exit_status, 1);
  EXPECT_EQ(session.output().find(kMenuPrompt), std::string::npos);
  expect_settings_restored(session);
}

TEST(Terminal, SignalsAtTheGateOrThePauseLeaveTheTerminalAsItWas) {
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    for (bool at_pause : {false, true}) {
      e2e::PtySession session(kUtf8Terminal);
      if (at_pause) {
        ASSERT_TRUE(e2e::open_gate(session));
        session.send("7\r");
        ASSERT_TRUE(session.wait_for(kPause));
      } else {
        ASSERT_TRUE(session.wait_for(kAskPassword));
        session.send("12");
        ASSERT_TRUE(session.wait_for("**"));
      }
      session.kill(signal_number);
      e2e::ending end = session.wait();
      EXPECT_EQ(end.signal, signal_number);
      expect_settings_restored(session);
    }
  }
}

TEST(Terminal, CtrlCInterruptsAsUsual) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(session.wait_for(kAskPassword));
  session.send("\x03");
  EXPECT_EQ(session.wait().signal, SIGINT);
  expect_settings_restored(session);
}

TEST(Terminal, CtrlZWithNoJobControlLeavesKeysUnechoed) {
  // The program leads its own session here, so nothing could resume a stop.
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(session.wait_for(kAskPassword));
  session.send("\x1a");
  session.drain(200);
  session.send("907135\r");
  ASSERT_TRUE(session.wait_for(kMenuPrompt));
  EXPECT_EQ(session.output().find("907"), std::string::npos) << "the password was echoed";
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
  expect_settings_restored(session);
}

TEST(Terminal, EndOfInputAtTheMenuEndsWithStatusZero) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("\x04");  // Ctrl-D at the start of a line
  EXPECT_EQ(session.wait().exit_status, 0);
  expect_settings_restored(session);
}

}  // namespace
