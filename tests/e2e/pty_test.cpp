// The built program at a real (pseudo) terminal: masked password entry, the
// pause that waits for a key, the clear sequence, and the terminal's settings
// put back on every way out.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

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

TEST(Terminal, OutputThatFailsEndsWithStatus74AndTheTerminalRestored) {
  // Standard output another terminal, hung up while the gate reads keys
  // unechoed: the star for the next key cannot be shown.
  int other_master = -1, other = -1;
  ASSERT_EQ(openpty(&other_master, &other, nullptr, nullptr, nullptr), 0);
  fcntl(other_master, F_SETFD, FD_CLOEXEC);  // or the program would hold it open
  std::string command = "exec '" + std::string(e2e::program_path()) + "' > " + ttyname(other);
  e2e::PtySession session(kUtf8Terminal, {"/bin/sh", "-c", command});
  for (int i = 0; i < 250 && (session.settings().c_lflag & ECHO) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(session.settings().c_lflag & ECHO, 0u) << "the gate never took the keys";
  close(other);
  close(other_master);
  session.send("9");
  EXPECT_EQ(session.wait().exit_status, 74);
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

TEST(Terminal, EverySignalThatEndsTheProgramLeavesTheTerminalAsItWas) {
  struct rlimit no_core {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);  // the crash signals still end it as a crash
  std::vector<int> signals = {SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS,  SIGFPE,  SIGUSR1, SIGSEGV,
                              SIGUSR2, SIGPIPE, SIGALRM,   SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGPOLL,
                              SIGSYS,  SIGPWR,  SIGSTKFLT, SIGRTMIN, SIGRTMIN + 5, SIGRTMAX};
  for (int signal_number : signals) {
    e2e::PtySession session(kUtf8Terminal);
    ASSERT_TRUE(session.wait_for(kAskPassword));  // the gate reads keys raw
    session.send("1");
    ASSERT_TRUE(session.wait_for("*"));
    session.kill(signal_number);
    EXPECT_EQ(session.wait().signal, signal_number);
    EXPECT_TRUE(e2e::same_settings(session.settings(), session.initial_settings())) << strsignal(signal_number);
  }
}

TEST(Terminal, StormsOfStopAndContinueSignals) {
  // Nothing can resume a stop in this session, so each Ctrl-Z goes on at
  // once; the handler must never nest. Then, however SIGCONT falls between
  // leaving and entering key mode, every menu must run and the terminal must
  // be left as it was. (The sanitizers' leak check at exit stops the world
  // in a way a storm of SIGCONT can hang; every other test checks leaks.)
  std::vector<std::string> environment = kUtf8Terminal;
  environment.push_back("ASAN_OPTIONS=detect_leaks=0");
  e2e::PtySession session(environment);
  ASSERT_TRUE(session.wait_for(kAskPassword));
  for (int i = 0; i < 5000; ++i) session.kill(SIGTSTP);
  session.send("907135\r");
  ASSERT_TRUE(session.wait_for(kMenuPrompt));
  std::atomic<bool> storming{true};
  std::thread storm([&] {
    while (storming) {
      session.kill(SIGCONT);
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
  });
  for (int i = 0; i < 100; ++i) {
    std::size_t from = session.output().size();
    session.send("7\r");
    ASSERT_TRUE(session.wait_for(kPause, from));
    from = session.output().size();
    session.send("k");
    ASSERT_TRUE(session.wait_for(kMenuPrompt, from));
  }
  session.send("0\r");
  session.drain(100);  // the program leaves while the storm goes on
  storming = false;
  storm.join();
  EXPECT_EQ(session.wait().exit_status, 0);
  expect_settings_restored(session);
}

TEST(Terminal, KeysAndLinesTypedAheadAreUsedInTheOrderTyped) {
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("7\rk7\rk0\r");  // two items, each with its pause key, then 0
  EXPECT_EQ(session.wait().exit_status, 0);
  std::size_t pauses = 0;
  for (std::size_t at = session.output().find(kPause); at != std::string::npos;
       at = session.output().find(kPause, at + 1)) {
    ++pauses;
  }
  EXPECT_EQ(pauses, 2u);
  expect_settings_restored(session);
}

TEST(Terminal, ANonBlockingTerminalIsWaitedFor) {
  e2e::PtySession session(kUtf8Terminal, {}, {.nonblocking_input = true});
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
}

TEST(Terminal, StartedInTheBackgroundItTakesTheSettingsOfTheForeground) {
  // An interactive bash, whose line editor has the terminal raw while it
  // waits at its prompt. The job starts the program once the line editor has
  // the terminal again, and reads the settings the program leaves before
  // bash can put its own back.
  e2e::PtySession shell({"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin", "PS1=$ "},
                        {"/bin/bash", "--norc", "--noprofile", "-i"});
  ASSERT_TRUE(shell.wait_for("$ "));
  shell.send(std::string("(sleep 0.3; '") + e2e::program_path() + "'; echo STATUS=$?; stty -a) &\r");
  shell.drain(500);
  shell.send("fg\r");
  ASSERT_TRUE(shell.wait_for(kAskPassword));
  shell.send("907135\r");
  ASSERT_TRUE(shell.wait_for(kMenuPrompt));
  std::size_t second = shell.output().find(kAskPassword, shell.output().find(kAskPassword) + 1);
  EXPECT_EQ(second, std::string::npos) << "stopped before the gate began, it drew the gate once";
  std::size_t from = shell.output().size();
  shell.send("2\r");
  EXPECT_TRUE(shell.wait_for("名单内一共有0个学生", from)) << "Enter did not end the line";
  from = shell.output().size();
  shell.send("k0\r");
  ASSERT_TRUE(shell.wait_for("STATUS=0", from));
  ASSERT_TRUE(shell.wait_for("$ ", from));  // the shell has the terminal again
  std::string settings = shell.output().substr(from);
  EXPECT_EQ(settings.find("-icanon"), std::string::npos) << settings;
  EXPECT_NE(settings.find(" echo "), std::string::npos) << settings;
  EXPECT_NE(settings.find(" icrnl "), std::string::npos) << settings;
  shell.send("exit\r");
  shell.wait();
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
