// The program under job control: stopped with Ctrl-Z, then continued in the
// background or brought back, under dash and bash with and without line
// editing; stops no handler sees; signals ignored from the start.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>

#include "child_process.h"

namespace {

const std::string kAskPassword = "请输入管理员密码：";
const std::string kMenuPrompt = "请输入相应的数字";
const std::string kAskName = "请输入姓名：";
const std::string kPause = "按任意键进行下一步操作";

struct shell {
  const char* name;
  std::vector<std::string> argv;
};

const shell kShells[] = {
    {"dash", {"/bin/dash", "-i"}},
    {"bash without line editing", {"/bin/bash", "--norc", "--noprofile", "--noediting", "-i"}},
    {"bash", {"/bin/bash", "--norc", "--noprofile", "-i"}},
};

std::unique_ptr<e2e::PtySession> start_shell(const shell& sh, const std::string& term = "TERM=xterm") {
  auto session = std::make_unique<e2e::PtySession>(
      std::vector<std::string>{"LANG=C.UTF-8", term, "PATH=/usr/bin:/bin", "PS1=$ "}, sh.argv);
  EXPECT_TRUE(session->wait_for("$ ")) << sh.name;
  return session;
}

// bash with the program started at its prompt, its output sent `to` a pipe
// or wherever, waiting at the gate.
std::unique_ptr<e2e::PtySession> program_in_bash(const std::string& term = "TERM=xterm", const std::string& to = "") {
  auto session = start_shell(kShells[2], term);
  session->send(std::string("'") + e2e::program_path() + "' " + to + "\r");
  EXPECT_TRUE(session->wait_for(kAskPassword));
  return session;
}

// Ctrl-Z, then fg after `stopped_ms`; gives where the output after fg begins.
std::size_t stop_and_bring_back(e2e::PtySession& session, int stopped_ms = 0) {
  std::size_t from = session.output().size();
  session.send("\x1a");
  EXPECT_TRUE(session.wait_for("Stopped", from));
  if (stopped_ms > 0) session.drain(stopped_ms);
  from = session.output().size();
  session.send("fg\r");
  return from;
}

TEST(JobControl, ContinuedInTheBackgroundItLeavesTheShellsTerminalAlone) {
  for (const shell& sh : kShells) {
    auto session = start_shell(sh);
    session->send(std::string("'") + e2e::program_path() + "'\r");
    ASSERT_TRUE(e2e::open_gate(*session)) << sh.name;
    session->send("1\r");
    ASSERT_TRUE(session->wait_for(kAskName)) << sh.name;
    session->send("abc");
    session->settle();
    std::size_t from = session->output().size();
    session->send("\x1a");
    ASSERT_TRUE(session->wait_for("Stopped", from)) << sh.name;
    session->settle();
    from = session->output().size();
    session->send("bg\r");
    session->settle(300);
    EXPECT_EQ(session->output().find(kAskName, from), std::string::npos)
        << sh.name << ": the program drew over the shell from the background";
    std::string settings = e2e::run_in_shell(*session, "stty -a");
    EXPECT_NE(settings.find("speed"), std::string::npos) << sh.name << ": " << settings;
    EXPECT_NE(settings.find("stty -a"), std::string::npos) << sh.name << ": the command typed was not echoed";
    EXPECT_EQ(settings.find("-icanon"), std::string::npos) << sh.name << ": " << settings;
    EXPECT_NE(settings.find(" echo "), std::string::npos) << sh.name << ": " << settings;
    from = session->output().size();
    session->send("fg\r");
    ASSERT_TRUE(session->wait_for("abc", from)) << sh.name;
    EXPECT_NE(session->shown_since(from).find(kAskName + "abc"), std::string::npos)
        << sh.name << ": brought forward, the prompt and the line are drawn again";
    session->send("d\rA\rc\r1 2 3\r#\r");
    ASSERT_TRUE(session->wait_for(kPause, from)) << sh.name;
    session->send("k2\r");
    EXPECT_TRUE(session->wait_for("No.1\t\tabcd\tA\tc\t", from)) << sh.name;
    from = session->output().size();
    session->send("k0\r");
    ASSERT_TRUE(session->wait_for("$ ", from)) << sh.name;  // gone: what is typed now is the shell's
    settings = e2e::run_in_shell(*session, "stty -a");
    EXPECT_NE(settings.find("speed"), std::string::npos) << sh.name << ": " << settings;
    EXPECT_EQ(settings.find("-icanon"), std::string::npos) << sh.name << ": " << settings;
    session->send("exit\r");
    session->wait();
  }
}

// With the output on the terminal or through a pipe.
TEST(JobControl, BroughtBackTheGateAndThePauseAreDrawnAgain) {
  for (std::string to : {"", "| cat"}) {
    auto session = program_in_bash("TERM=xterm", to);
    session->send("90");
    ASSERT_TRUE(session->wait_for("**")) << to;
    std::size_t from = stop_and_bring_back(*session);
    EXPECT_TRUE(session->wait_for(kAskPassword + "**", from)) << to << ": one star for each key held";
    session->send("7135\r");  // the keys held before the stop count: this is the first attempt
    ASSERT_TRUE(session->wait_for(kMenuPrompt, from)) << to;
    session->send("7\r");
    ASSERT_TRUE(session->wait_for(kPause, from)) << to;
    from = stop_and_bring_back(*session);
    EXPECT_TRUE(session->wait_for(kPause, from)) << to;
    session->send("k");
    ASSERT_TRUE(session->wait_for(kMenuPrompt, from)) << to;
    session->send("0\r");
    ASSERT_TRUE(session->wait_for("$ ", session->output().size())) << to;
    session->send("exit\r");
    session->wait();
  }
}

// Stopped while the rest of a key is awaited (after Esc at the gate, inside
// a character a slow link split), or at a terminal that cannot move its
// cursor, and brought back: the prompt and what was typed are drawn again
// at once, before the rest of the key comes.
TEST(JobControl, BroughtBackMidKeyOrAtADumbTerminalThePromptComesBackAtOnce) {
  auto session = program_in_bash();
  session->send("90");
  ASSERT_TRUE(session->wait_for("**"));
  session->send("\x1b");
  session->settle(100);  // read, and its wait begun: Ctrl-Z would make the terminal drop what is unread
  std::size_t from = stop_and_bring_back(*session);
  EXPECT_TRUE(session->wait_for(kAskPassword + "**", from, 400)) << session->shown_since(from);
  EXPECT_TRUE(session->wait_for(kAskPassword + "***", from)) << "Esc alone is a key, a star, once its wait is over";
  session->send("\b7135\r1\r");
  ASSERT_TRUE(session->wait_for(kAskName, from));
  session->send("ab\xe5");  // the first byte of 张
  session->settle(100);
  from = stop_and_bring_back(*session);
  session->settle(300);  // nothing more is typed: what shows now was drawn before the rest of the key
  EXPECT_NE(session->shown_since(from).find(kAskName + "ab"), std::string::npos) << session->shown_since(from);
  session->send("\xbc\xa0\rA\rc\r1 2 3\r#\rk2\r");
  EXPECT_TRUE(session->wait_for("No.1\t\tab张\tA\t", from));
  session->send("k0\r");
  ASSERT_TRUE(session->wait_for("$ ", session->output().size()));
  session->send("exit\r");
  session->wait();

  auto dumb = program_in_bash("TERM=dumb");
  dumb->send("907135\r");
  ASSERT_TRUE(dumb->wait_for(kMenuPrompt));
  dumb->send("1\r");
  ASSERT_TRUE(dumb->wait_for(kAskName));
  dumb->settle();
  from = stop_and_bring_back(*dumb);
  EXPECT_TRUE(dumb->wait_for(kAskName, from)) << "a dumb terminal gets its prompt again too";
  EXPECT_EQ(dumb->output().find('\x1b', from), std::string::npos) << "and no escape sequence";
  dumb->kill(SIGKILL);
}

// Stopped for two seconds inside a timed wait (after Esc at the gate, after
// Esc [ of a split arrow key, inside a split character), with the output on
// the terminal or through a pipe: each stop ends as any stop does, the
// prompt drawn again at once and the key read whole once it comes.
TEST(JobControl, AStopOfAnyLengthInsideAWaitEndsAsAnyStopDoes) {
  for (std::string to : {"", "| cat"}) {
    auto session = program_in_bash("TERM=xterm", to);
    session->send("90");
    ASSERT_TRUE(session->wait_for("**")) << to;
    session->send("\x1b");
    session->settle(100);
    std::size_t from = stop_and_bring_back(*session, 2000);
    EXPECT_TRUE(session->wait_for(kAskPassword + "**", from, 400)) << to << ": " << session->shown_since(from);
    session->send("\b7135\r1\r");
    ASSERT_TRUE(session->wait_for(kAskName, from)) << to << ": the right password failed";
    session->send("ab\x1b[");
    session->settle(100);
    from = stop_and_bring_back(*session, 2000);
    session->settle(300);  // before the rest of the key
    EXPECT_NE(session->shown_since(from).find(kAskName + "ab"), std::string::npos) << to << ": " << session->shown_since(from);
    session->send("DX\x1b[C\xe5");  // Left, X, Right, the first byte of 张
    session->settle(100);
    from = stop_and_bring_back(*session, 2000);
    session->settle(300);  // before the rest of the key
    EXPECT_NE(session->shown_since(from).find(kAskName + "aXb"), std::string::npos) << to << ": " << session->shown_since(from);
    session->send("\xbc\xa0\rA\rc\r1 2 3\r#\rk2\r");
    EXPECT_TRUE(session->wait_for("No.1\t\taXb张\tA\t", from)) << to;
    session->kill(SIGKILL);
  }
}

// Started in the background with SIGTTIN ignored, so that a read cannot stop
// it: it waits, stopped, without spinning, and fg brings it forward.
TEST(JobControl, StartedInTheBackgroundWithSigttinIgnoredItWaitsWithoutSpinning) {
  auto session = start_shell(kShells[2]);
  session->send(std::string("(trap '' TTIN; exec '") + e2e::program_path() + "') &\r");
  ASSERT_TRUE(session->wait_for("] "));
  session->settle(1000);
  std::string job = session->output().substr(session->output().rfind("] ") + 2);
  int pid = std::atoi(job.c_str());
  ASSERT_GT(pid, 0) << job;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  for (int i = 0; i < 13 && stat >> field; ++i) {
  }
  long user = 0, system = 0;
  stat >> user >> system;
  EXPECT_LT(user + system, 20) << "clock ticks of CPU in a second in the background";
  std::size_t from = session->output().size();
  session->send("fg\r");
  ASSERT_TRUE(session->wait_for(kAskPassword, from));
  session->send("907135\r0\r");
  ASSERT_TRUE(session->wait_for("$ ", session->output().size()));
  session->send("exit\r");
  session->wait();
}

TEST(JobControl, AfterAStopNoHandlerSeesKeysAreStillReadOneAtATime) {
  // SIGSTOP, then the terminal set back to line mode as a shell does, then
  // SIGCONT: the next key is a star at once, and not echoed.
  e2e::PtySession session({"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin"});
  ASSERT_TRUE(session.wait_for(kAskPassword));
  session.kill(SIGSTOP);
  session.drain(100);
  session.set_settings(session.initial_settings());
  session.kill(SIGCONT);
  session.drain(100);
  std::size_t from = session.output().size();
  session.send("9");
  EXPECT_TRUE(session.wait_for("*", from, 1000));
  EXPECT_EQ(session.output().find('9', from), std::string::npos) << "the key was echoed";
  session.send("07135\r");
  EXPECT_TRUE(session.wait_for(kMenuPrompt, from));
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
}

TEST(JobControl, SignalsIgnoredFromTheStartStayIgnored) {
  // As under nohup, or a shell's trap '' before exec.
  e2e::PtySession session({"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin"},
                          {"/bin/sh", "-c", std::string("trap '' HUP INT TERM; exec '") + e2e::program_path() + "'"});
  ASSERT_TRUE(session.wait_for(kAskPassword));
  for (int signal_number : {SIGHUP, SIGINT, SIGTERM}) session.kill(signal_number);
  session.send("907135\r");
  EXPECT_TRUE(session.wait_for(kMenuPrompt)) << "the program went on";
  session.send("0\r");
  EXPECT_EQ(session.wait().exit_status, 0);
}

}  // namespace
