// Insert, delete, change and query by student number, with the count kept
// equal to the list's length after every operation.
#include <gtest/gtest.h>

#include <cstring>

#include "roster/roster.h"
#include "test_support.h"

using testing_support::gbk;
using testing_support::length_of;
using testing_support::numbers_of;
using testing_support::roster_of;
using testing_support::ScriptedSession;

namespace {

const std::string kAskInsert = gbk("请输入你想插入学生后(学号)\n");
const std::string kAskAppend = gbk("未找到此人，如果要插入尾部请输入1\n");
const std::string kPrompts = testing_support::entry_form_prompts();

struct LookupTest : ::testing::Test {
  void TearDown() override {
    EXPECT_EQ(student_count, length_of(list)) << "the count drifted from the list";
    release_roster(list);
  }
  roster* list = roster_of({{"A01", 1}, {"A02", 2}, {"A03", 3}});
};

TEST_F(LookupTest, FindsTheFirstExactMatchAndNeverTheHead) {
  release_roster(list);
  list = roster_of({{"X", 1}, {"", 2}, {"X", 3}});
  std::strcpy(list->student_no, "HEAD");
  student* before = nullptr;
  student* found = find_student(list, "X", &before);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->average, 1);
  EXPECT_EQ(before, list);
  EXPECT_EQ(find_student(list, "HEAD"), nullptr);
  EXPECT_EQ(find_student(list, "x"), nullptr) << "case counts";
  EXPECT_EQ(find_student(list, "X "), nullptr);
  EXPECT_EQ(find_student(list, std::string_view("X\0", 2)), nullptr);
}

TEST_F(LookupTest, InsertGoesRightAfterTheMatchingRecord) {
  ScriptedSession session("A02\nNew\nN1\nc\n1 2 3\n");
  insert_student(list);
  EXPECT_EQ(numbers_of(list), "A01 A02 N1 A03");
  EXPECT_EQ(student_count, 4);
  EXPECT_EQ(session.output(), kAskInsert + kPrompts) << "no question when the key is found";
}

TEST_F(LookupTest, InsertAfterTheLastRecordAppends) {
  ScriptedSession session("A03\nNew\nN1\nc\n1 2 3\n");
  insert_student(list);
  EXPECT_EQ(numbers_of(list), "A01 A02 A03 N1");
}

TEST_F(LookupTest, InsertTakesAKeyTypedOnTheMenuLine) {
  ScriptedSession session("3 A01\nNew\nN1\nc\n1 2 3\n");
  int choice;
  console::read_int(choice);
  insert_student(list);
  EXPECT_EQ(numbers_of(list), "A01 N1 A02 A03");
}

TEST_F(LookupTest, AnUnknownKeyAppendsOnlyWhenTheAnswerIsOne) {
  {
    ScriptedSession session("Z9\n2\n");
    insert_student(list);
    EXPECT_EQ(session.output(), kAskInsert + kAskAppend);
  }
  {
    ScriptedSession session("Z9\nyes\n");
    insert_student(list);
    EXPECT_EQ(session.output(), kAskInsert + kAskAppend);
  }
  {
    ScriptedSession session("Z9\n4294967297\n");  // wraps to 1 in 32 bits: still no
    insert_student(list);
  }
  EXPECT_EQ(numbers_of(list), "A01 A02 A03");
  ScriptedSession session("Z9\n1\nNew\nN1\nc\n1 2 3\n");
  insert_student(list);
  EXPECT_EQ(numbers_of(list), "A01 A02 A03 N1");
}

TEST_F(LookupTest, InsertIntoAnEmptyRosterMakesTheFirstRecord) {
  release_roster(list);
  list = roster_of({});
  ScriptedSession session("A01\n1\nNew\nN1\nc\n1 2 3\n");
  insert_student(list);
  EXPECT_EQ(numbers_of(list), "N1");
  EXPECT_EQ(student_count, 1);
}

TEST_F(LookupTest, AHashNameDuringInsertStillLinksADefinedRecord) {
  ScriptedSession session("A01\n#x\n");
  insert_student(list);
  ASSERT_EQ(student_count, 4);
  const student* inserted = list->next->next;
  EXPECT_STREQ(inserted->name, "#x");
  EXPECT_STREQ(inserted->student_no, "");
  EXPECT_STREQ(inserted->class_name, "");
  EXPECT_EQ(inserted->score[0], 0);
  EXPECT_EQ(inserted->average, 0);
}

TEST_F(LookupTest, InsertEndingWithTheInputAddsNothingUntyped) {
  {
    ScriptedSession session("A01\n");
    insert_student(list);
  }
  {
    ScriptedSession session("");
    insert_student(list);
  }
  EXPECT_EQ(numbers_of(list), "A01 A02 A03");
}

TEST_F(LookupTest, DeleteUnlinksTheFirstMatchAndThenFindsTheNext) {
  release_roster(list);
  list = roster_of({{"D", 1}, {"B", 2}, {"D", 3}});
  {
    ScriptedSession session("D\n");
    delete_student(list);
    EXPECT_EQ(session.output(), gbk("请输入你想删除学生的学号\n已删除！\n"));
  }
  EXPECT_EQ(numbers_of(list), "B D");
  EXPECT_EQ(find_student(list, "D")->average, 3);
  ScriptedSession session("D\nB\nB\n");
  delete_student(list);
  delete_student(list);
  EXPECT_EQ(student_count, 0);
  delete_student(list);
  EXPECT_EQ(session.output(), gbk("请输入你想删除学生的学号\n已删除！\n请输入你想删除学生的学号\n已删除！\n"
                                  "请输入你想删除学生的学号\n查无此人！\n"));
}

TEST_F(LookupTest, DeleteFromHeadMiddleAndEnd) {
  ScriptedSession session("A02 A03 A01\n");
  delete_student(list);
  EXPECT_EQ(numbers_of(list), "A01 A03");
  delete_student(list);
  EXPECT_EQ(numbers_of(list), "A01");
  delete_student(list);
  EXPECT_EQ(numbers_of(list), "");
}

TEST_F(LookupTest, OnlyTheWholeStudentNumberMatches) {
  std::strcpy(list->next->student_no, "1234567890123456789");  // 19 bytes
  ScriptedSession session("12345678901234567890\n123456789012345678\nA0\n1234567890123456789\n");
  for (int longer_or_shorter = 0; longer_or_shorter < 3; ++longer_or_shorter) {
    delete_student(list);
    EXPECT_EQ(student_count, 3);
  }
  delete_student(list);
  EXPECT_EQ(student_count, 2);
}

TEST_F(LookupTest, ModifyRetypesTheRecordInPlace) {
  student* second = list->next->next;
  std::strcpy(second->student_no, "A0123456789");
  ScriptedSession session("A0123456789\nNew name\nB0\nc\n60 70 81\n");
  modify_student(list);
  EXPECT_EQ(list->next->next, second);
  EXPECT_STREQ(second->name, "New name");
  EXPECT_STREQ(second->student_no, "B0");
  EXPECT_DOUBLE_EQ(second->average, 211.0 / 3);
  EXPECT_EQ(find_student(list, "A0123456789"), nullptr);
  EXPECT_EQ(find_student(list, "B0"), second) << "what stood after the new number's end never matters";
  EXPECT_EQ(session.output(), gbk("请输入你想修改学生的学号\n") + kPrompts);
}

TEST_F(LookupTest, AHashNameDuringModifyReplacesOnlyTheName) {
  ScriptedSession session("A02\n#gone\n");
  modify_student(list);
  student* second = list->next->next;
  EXPECT_STREQ(second->name, "#gone");
  EXPECT_STREQ(second->student_no, "A02");
  EXPECT_EQ(second->average, 2);
}

TEST_F(LookupTest, ChangeAndQuerySayNotFoundWhereDeleteSaysNobody) {
  ScriptedSession session("Q\nQ\n");
  modify_student(list);
  query_student(list);
  EXPECT_EQ(session.output(), gbk("请输入你想修改学生的学号\n未找到此人\n请输入你想查询学生的学号\n未找到此人\n"));
}

TEST_F(LookupTest, QueryShowsTheHeaderAndTheRow) {
  std::strcpy(list->next->name, "N");
  std::strcpy(list->next->class_name, "C");
  list->next->score[0] = 1;
  ScriptedSession session("A01\n");
  query_student(list);
  EXPECT_EQ(session.output(), gbk("请输入你想查询学生的学号\n姓名\t学号\t班级\t科目一\t科目二\t科目三\t平均分\n") +
                                  "N\tA01\tC\t1.0\t0.0\t0.0\t1.0\n");
}

TEST_F(LookupTest, EveryOperationWorksOnAnEmptyRoster) {
  release_roster(list);
  list = roster_of({});
  ScriptedSession session("K\nK\nK\nK\n2\n");
  delete_student(list);
  modify_student(list);
  query_student(list);
  insert_student(list);
  EXPECT_EQ(student_count, 0);
  EXPECT_EQ(session.output(), gbk("请输入你想删除学生的学号\n查无此人！\n请输入你想修改学生的学号\n未找到此人\n"
                                  "请输入你想查询学生的学号\n未找到此人\n") +
                                  kAskInsert + kAskAppend);
}

}  // namespace
