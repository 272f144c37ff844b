// The menu loop: its screen, the dispatch of choices, the pause and the clear,
// and how it ends.
#include <gtest/gtest.h>

#include "console/backend.h"
#include "frontend/menu.h"
#include "test_support.h"

using testing_support::gbk;
using testing_support::ScriptedSession;

namespace {

const std::string kMenu = gbk(
    "         ******************学生信息管理系统*************************\n"
    "         1.输入学生信息                 2.输出所有学生信息\n"
    "         3.增加新的学生信息             4.删除学生信息\n"
    "         5.修改学生信息                 6.查询学生信息\n"
    "         7.根据平均分排序输出           0.退出\n"
    "         请输入相应的数字\n"
    "         ***********************************************************\n");
const std::string kScreen = std::string(console::ansi_clear) + kMenu;
const std::string kPause = gbk("按任意键进行下一步操作\n");
const std::string kBadChoice = gbk("输入有误请重新输入\n");
const std::string kEmptyListing =
    gbk("名单内一共有0个学生\n编号/排名\t姓名\t学号\t班级\t科目一\t科目二\t科目三\t平均分\n");

// Runs the menu loop over `input` with `keys` for the pauses.
std::string run(const std::string& input, std::deque<int> keys = {}, int* status = nullptr) {
  ScriptedSession session(input, std::move(keys));
  int result = run_menu();
  if (status != nullptr) *status = result;
  return session.output();
}

TEST(MenuScreen, LinesAreAlignedAsDrawn) {
  ScriptedSession session("");
  show_menu();
  std::string screen = session.output();
  EXPECT_EQ(screen, kMenu);
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = screen.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(screen.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0].size(), 68u);
  EXPECT_EQ(lines[6].size(), 68u);
  for (int i : {1, 2, 3, 4}) {
    EXPECT_EQ(lines[static_cast<std::size_t>(i)][40], "2460"[i - 1]) << "second column of line " << i + 1;
  }
}

TEST(MenuLoop, ZeroEndsAtOnceWithStatusZero) {
  int status = -1;
  EXPECT_EQ(run("0\n", {}, &status), kScreen);
  EXPECT_EQ(status, 0);
}

TEST(MenuLoop, EndOfInputAtTheChoiceEndsWithStatusZeroAndNothingMore) {
  int status = -1;
  EXPECT_EQ(run("\n\n   \n", {}, &status), kScreen);
  EXPECT_EQ(status, 0);
}

TEST(MenuLoop, ChoicesOutsideTheMenuAreRejected) {
  for (const char* line : {"8", "-1", "100", "abc", "2147483648", "-99999999999", "+", "#"}) {
    std::string expected = kScreen + kBadChoice + kPause + kScreen;
    EXPECT_EQ(run(std::string(line) + "\n0\n", {' '}), expected) << line;
  }
}

TEST(MenuLoop, ALineWithNoNumberNeverRepeatsThePreviousItem) {
  std::string listing = kEmptyListing + kPause + kScreen;
  EXPECT_EQ(run("2\nx\n0\n", {' ', ' '}), kScreen + listing + kBadChoice + kPause + kScreen);
}

TEST(MenuLoop, ItemsWorkOnAnEmptyRosterBeforeTheFirstCreation) {
  std::string out = run("2\n7\n6 A01\n0\n", {' ', ' ', ' '});
  EXPECT_EQ(out, kScreen + kEmptyListing + kPause + kScreen + kPause + kScreen +
                     gbk("请输入你想查询学生的学号\n未找到此人\n") + kPause + kScreen);
}

TEST(MenuLoop, ASecondCreationReplacesTheRosterAndItsCount) {
  std::string out = run("1\na\nA1\nc\n1 2 3\nb\nB1\nc\n1 2 3\n#\n1\nz\nZ1\nc\n3 3 3\n#\n2\n0\n", {' ', ' ', ' '});
  EXPECT_NE(out.find(gbk("名单内一共有1个学生\n")), std::string::npos);
  EXPECT_NE(out.find("No.1\t\tz\tZ1\tc\t3.0\t3.0\t3.0\t3.0\n"), std::string::npos);
  EXPECT_EQ(out.find("No.2"), std::string::npos);
}

TEST(MenuLoop, TheScreenIsClearedOnlyAfterThePauseKey) {
  ScriptedSession session("7\n7\n0\n", {'k', 'k'});
  run_menu();
  EXPECT_EQ(session.output(), kScreen + kPause + kScreen + kPause + kScreen);
  EXPECT_EQ(session.backend().keys_left(), 0u) << "one key per pause";
}

TEST(MenuLoop, TextAfterTheChoiceFeedsTheItemsOwnRead) {
  std::string out = run("3abc\n2\n", {' '});
  EXPECT_EQ(out, kScreen + gbk("请输入你想插入学生后(学号)\n未找到此人，如果要插入尾部请输入1\n") + kPause + kScreen);
}

TEST(MenuLoop, ItemsThreeToSixAreDispatchedToTheirDialogues) {
  std::string out = run("1\nAnn\nA1\nc\n90 80 70\n#\n3\nA1\nBob\nB1\nc\n60 60 60\n4\nA1\n5\nB1\nBo\nB2\nd\n1 2 3\n6\nB2\n0\n",
                        {' ', ' ', ' ', ' ', ' '});
  EXPECT_NE(out.find(gbk("已删除！")), std::string::npos);
  EXPECT_NE(out.find("Bo\tB2\td\t1.0\t2.0\t3.0\t2.0\n"), std::string::npos);
}

TEST(MenuLoop, EndOfInputInsideADialogueReturnsToTheMenuAndEnds) {
  int status = -1;
  std::string out = run("1\nAnn\nA1\n", {}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, kScreen + gbk("姓名输入#时，停止输入\n请输入姓名：请输入学号：请输入班级：\n") + kPause +
                     kScreen);
}

}  // namespace
