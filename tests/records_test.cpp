// The entry form, creating a roster and listing it.
#include <gtest/gtest.h>

#include "roster/roster.h"
#include "test_support.h"

using testing_support::gbk;
using testing_support::length_of;
using testing_support::ScriptedSession;

namespace {

const std::string kPrompts = testing_support::entry_form_prompts();
const std::string kAskName = gbk("请输入姓名：");
const std::string kHowToStop = gbk("姓名输入#时，停止输入\n");
const std::string kListingHeader = gbk("编号/排名\t姓名\t学号\t班级\t科目一\t科目二\t科目三\t平均分\n");

struct RosterTest : ::testing::Test {
  void TearDown() override { release_roster(list); }
  roster* list = nullptr;
};

TEST(EntryForm, FillsEveryFieldAndTheAverage) {
  ScriptedSession session(gbk("张三\nA 01\n一班\n60 70\n81\n"));
  student record{};
  EXPECT_EQ(enter_student(&record), entry_outcome::entered);
  EXPECT_EQ(std::string(record.name), gbk("张三"));
  EXPECT_STREQ(record.student_no, "A 01");
  EXPECT_EQ(std::string(record.class_name), gbk("一班"));
  EXPECT_EQ(record.score[2], 81);
  EXPECT_DOUBLE_EQ(record.average, 211.0 / 3);
  EXPECT_EQ(session.output(), kPrompts);
}

TEST(EntryForm, DiscardsWhatWasPendingBeforeTheName) {
  ScriptedSession session("1 leftover\nBob\nB1\nC\n1 2 3\n");
  int choice;
  console::read_int(choice);
  student record{};
  enter_student(&record);
  EXPECT_STREQ(record.name, "Bob");
}

TEST(EntryForm, AHashNameStopsAtOnceAndKeepsTheOtherFields) {
  ScriptedSession session("#stop\nnot read\n");
  student record{};
  record.score[0] = 55;
  std::strcpy(record.student_no, "kept");
  EXPECT_EQ(enter_student(&record), entry_outcome::hash_name);
  EXPECT_STREQ(record.name, "#stop");
  EXPECT_STREQ(record.student_no, "kept");
  EXPECT_EQ(record.score[0], 55);
  EXPECT_EQ(session.output(), kAskName) << "no line break after a '#' name";
}

TEST(EntryForm, ScoresThatAreNotNumbersCountZero) {
  ScriptedSession session("n\nA1\nc\n90 abc\n");
  student record{};
  record.score[1] = 12;
  enter_student(&record);
  EXPECT_EQ(record.score[0], 90);
  EXPECT_EQ(record.score[1], 0);
  EXPECT_EQ(record.score[2], 0);
  EXPECT_EQ(record.average, 30);
}

TEST(EntryForm, EndOfInputEndsTheFormAndLeavesUnreadFieldsAlone) {
  ScriptedSession session("only a name\n");
  student record{};
  std::strcpy(record.class_name, "old");
  EXPECT_EQ(enter_student(&record), entry_outcome::entered);
  EXPECT_STREQ(record.name, "only a name");
  EXPECT_STREQ(record.class_name, "old");
  EXPECT_EQ(enter_student(&record), entry_outcome::no_input);
}

TEST_F(RosterTest, CreationReadsStudentsUntilAHashName) {
  ScriptedSession session(gbk("张三\nA01\n一班\n90 80 70 extra\n\nA02\n\n1 2 3\n#end\n"));
  list = create_roster();
  EXPECT_EQ(student_count, 2);
  EXPECT_EQ(length_of(list), 2);
  EXPECT_STREQ(list->next->next->name, "") << "an empty name is an ordinary name";
  EXPECT_EQ(session.output(), kHowToStop + kPrompts + kPrompts + kAskName);
}

TEST_F(RosterTest, AHashInsideANameIsOrdinary) {
  ScriptedSession session("a#b\nA1\nc\n1 1 1\n#\n");
  list = create_roster();
  EXPECT_EQ(student_count, 1);
  EXPECT_STREQ(list->next->name, "a#b");
}

TEST_F(RosterTest, CreationEndsWithTheInputAndKeepsWhatWasTyped) {
  ScriptedSession session("Ann\nA1\nc\n1 2 3\nBob\nB2\n");
  list = create_roster();
  EXPECT_EQ(student_count, 2);
  EXPECT_EQ(length_of(list), 2);
  EXPECT_STREQ(list->next->next->class_name, "");
  EXPECT_EQ(list->next->next->average, 0);
}

TEST_F(RosterTest, ListingShowsCountHeaderAndNumberedRows) {
  ScriptedSession session(gbk("王五\nA01\n一班\n90 80 70\nB\nA02\nC\n60 70 81\n#\n"));
  list = create_roster();
  std::size_t before = session.output().size();
  print_roster(list);
  EXPECT_EQ(session.output().substr(before),
            gbk("名单内一共有2个学生\n") + kListingHeader +
                gbk("No.1\t\t王五\tA01\t一班\t90.0\t80.0\t70.0\t80.0\n") +
                "No.2\t\tB\tA02\tC\t60.0\t70.0\t81.0\t70.3\n");
}

TEST_F(RosterTest, AnEmptyRosterListsCountZeroAndTheHeader) {
  ScriptedSession session("#\n");
  list = create_roster();
  print_roster(list);
  EXPECT_EQ(session.output(), kHowToStop + kAskName + gbk("名单内一共有0个学生\n") + kListingHeader);
}

TEST_F(RosterTest, NineChineseCharactersFitAndATenthIsCut) {
  ScriptedSession session(gbk("一二三四五六七八九\nA1\n二二二二二二二二二二\n0 0 0\n#\n"));
  list = create_roster();
  EXPECT_EQ(std::string(list->next->name), gbk("一二三四五六七八九"));
  EXPECT_EQ(std::string(list->next->class_name), gbk("二二二二二二二二二"));
}

TEST_F(RosterTest, DuplicateStudentNumbersAreBothKept) {
  ScriptedSession session("a\nX\nc\n1 1 1\nb\nX\nc\n2 2 2\n#\n");
  list = create_roster();
  EXPECT_EQ(testing_support::numbers_of(list), "X X");
}

TEST(RowFormat, OneDecimalAndTabsBetweenValues) {
  ScriptedSession session("");
  student record{};
  std::strcpy(record.name, "n");
  std::strcpy(record.student_no, "s");
  std::strcpy(record.class_name, "c");
  record.score[0] = -5;
  record.score[1] = 100.25;
  record.score[2] = 1e6;
  record.average = 2.0 / 3;
  print_row(&record);
  EXPECT_EQ(session.output(), "n\ts\tc\t-5.0\t100.2\t1000000.0\t0.7\n");
}

}  // namespace
