// The password gate, driven through the scripted console's key queue.
#include <gtest/gtest.h>

#include "frontend/login.h"
#include "test_support.h"

using testing_support::gbk;
using testing_support::ScriptedSession;

namespace {

const std::string kWelcome = gbk("欢迎进入学生信息管理系统\n");
const std::string kAsk = gbk("请输入管理员密码：");
const std::string kThreeWrong = gbk("三次输入错误！！！退出系统\n");
constexpr int kEnter = console::key_enter;
constexpr int kBackspace = console::key_backspace;

std::deque<int> typed(const std::string& text) {
  std::deque<int> keys(text.begin(), text.end());
  keys.push_back(kEnter);
  return keys;
}

std::deque<int> joined(std::initializer_list<std::deque<int>> parts) {
  std::deque<int> keys;
  for (const auto& part : parts) keys.insert(keys.end(), part.begin(), part.end());
  return keys;
}

TEST(Gate, TheRightPasswordOpensAtTheFirstSecondOrThirdAttempt) {
  {
    ScriptedSession session("", typed("907135"));
    EXPECT_TRUE(admin_login());
    EXPECT_EQ(session.output(), kWelcome + kAsk + "*******\n") << "one star per key, Enter included";
  }
  {
    ScriptedSession session("", joined({typed("1"), typed("907135")}));
    EXPECT_TRUE(admin_login());
    EXPECT_EQ(session.output(), kWelcome + kAsk + "**\n" + kAsk + "*******\n");
  }
  ScriptedSession session("", joined({typed(""), typed("90713"), typed("907135")}));
  EXPECT_TRUE(admin_login());
  EXPECT_EQ(session.backend().slept_ms(), 0);
}

TEST(Gate, EveryDigitCounts) {
  ScriptedSession session("", joined({typed("007135"), typed("907134"), typed("917135")}));
  EXPECT_FALSE(admin_login()) << "wrong in the first, the last or a middle digit";
}

TEST(Gate, ThreeWrongEntriesEndWithTheMessageAndThePause) {
  ScriptedSession session("", joined({typed("9071350"), typed("90713"), typed("")}));
  EXPECT_FALSE(admin_login());
  EXPECT_EQ(session.output(), kWelcome + kAsk + "********\n" + kAsk + "******\n" + kAsk + "*\n" + kThreeWrong);
  EXPECT_EQ(session.backend().slept_ms(), 150);
}

TEST(Gate, BackspaceErasesTheLastStar) {
  ScriptedSession session("", {'9', '0', 'x', kBackspace, '7', '1', '3', '5', kEnter});
  EXPECT_TRUE(admin_login());
  EXPECT_EQ(session.output(), kWelcome + kAsk + "***\b \b*****\n");
}

TEST(Gate, BackspaceWithNothingHeldIsAKey) {
  {
    ScriptedSession session("", joined({{kBackspace}, typed("907135"), typed("907135")}));
    EXPECT_TRUE(admin_login());
    EXPECT_EQ(session.output(), kWelcome + kAsk + "********\n" + kAsk + "*******\n");
  }
  ScriptedSession session("", joined({{kBackspace, kBackspace}, typed("907135")}));
  EXPECT_TRUE(admin_login()) << "a later Backspace erases it";
}

TEST(Gate, EveryHeldKeyIsCompared) {
  // A special key gives two codes, two stars; a 0 code does not end the entry.
  ScriptedSession session("", joined({typed(std::string("907135") + '\0' + ';'),
                                      joined({{'9', '0', '7', '1', '3', '5', 224, 72, kEnter}}),
                                      typed("9071")}));
  EXPECT_FALSE(admin_login());
  EXPECT_EQ(session.output(), kWelcome + kAsk + "*********\n" + kAsk + "*********\n" + kAsk + "*****\n" +
                                  kThreeWrong);
}

TEST(Gate, AnyNumberOfKeysShowsStarsAndIsWrong) {
  std::deque<int> flood(10000, '9');
  flood.push_back(kEnter);
  ScriptedSession session("", joined({flood, typed("907135")}));
  EXPECT_TRUE(admin_login());
  EXPECT_EQ(session.output(), kWelcome + kAsk + std::string(10001, '*') + "\n" + kAsk + "*******\n");
}

TEST(Gate, BackspacingBackFromPastTheBoundStillWorks) {
  std::deque<int> keys(100, 'x');
  keys.insert(keys.end(), 100, kBackspace);
  keys.insert(keys.end(), {'9', '0', '7', '1', '3', '5', kEnter});
  ScriptedSession session("", keys);
  EXPECT_TRUE(admin_login());
}

TEST(Gate, TheKeysRunningOutEndsTheGateWithoutTheMenu) {
  ScriptedSession session("", {'9', '0'});
  EXPECT_FALSE(admin_login());
  EXPECT_EQ(session.output(), kWelcome + kAsk + "**");
  EXPECT_EQ(session.backend().slept_ms(), 0);
}

TEST(Gate, TheTerminalStaysInKeyModeForTheWholeGate) {
  ScriptedSession session("", joined({typed("1"), typed("907135")}));
  admin_login();
  EXPECT_EQ(session.backend().key_mode_entries(), 1);
  EXPECT_FALSE(session.backend().in_key_mode());
}

TEST(Gate, WithoutAKeyboardThePasswordIsTheFirstLineOfInput) {
  ScriptedSession session("907135\r\n2\n", {}, {.keyboard = false, .chunk_size = 3});
  EXPECT_TRUE(admin_login());
  int choice = 0;
  ASSERT_EQ(console::read_int(choice), console::read_status::ok);
  EXPECT_EQ(choice, 2);
}

}  // namespace
