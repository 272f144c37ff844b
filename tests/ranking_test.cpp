// Ranking by average: order, stability, the number of comparisons, and that
// records are relinked rather than copied.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "roster/roster.h"
#include "test_support.h"

using testing_support::length_of;
using testing_support::numbers_of;
using testing_support::roster_of;

namespace {

std::vector<const student*> addresses(const roster* list) {
  std::vector<const student*> records;
  for (const student* record = list->next; record != nullptr; record = record->next) {
    records.push_back(record);
  }
  return records;
}

TEST(Ranking, HighestAverageFirstAndEqualAveragesKeepTheirOrder) {
  roster* list = roster_of({{"a", 70}, {"b", 90}, {"c", 80}, {"d", 90}, {"e", 70}});
  sort_by_average(list);
  EXPECT_EQ(numbers_of(list), "b d c a e");
  sort_by_average(list);
  EXPECT_EQ(numbers_of(list), "b d c a e") << "a second ranking changes nothing";
  EXPECT_EQ(length_of(list), 5);
  release_roster(list);
}

TEST(Ranking, EmptyAndSingleRostersAreLeftAlone) {
  roster* empty = roster_of({});
  sort_by_average(empty);
  EXPECT_EQ(empty->next, nullptr);
  release_roster(empty);
  roster* one = roster_of({{"a", 1}});
  const student* only = one->next;
  sort_by_average(one);
  EXPECT_EQ(one->next, only);
  EXPECT_EQ(only->next, nullptr);
  release_roster(one);
}

TEST(Ranking, ComparesExactlyNChooseTwoTimesAndOnlyRelinks) {
  for (int n : {0, 1, 2, 3, 10, 257}) {
    roster* list = roster_of({});
    student* last = list;
    for (int i = 0; i < n; ++i) {
      last->next = new student{};
      last = last->next;
      last->average = (i * 37) % 101;  // a scrambled order with ties
      ++student_count;
    }
    std::vector<const student*> before = addresses(list);
    std::map<const student*, double> average_at;
    for (const student* record : before) average_at[record] = record->average;

    EXPECT_EQ(bubble_sort_by_average(list, student_count),
              static_cast<std::size_t>(n) * static_cast<std::size_t>(n > 0 ? n - 1 : 0) / 2)
        << "n = " << n;

    std::vector<const student*> after = addresses(list);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 1; i < after.size(); ++i) {
      EXPECT_GE(after[i - 1]->average, after[i]->average);
    }
    for (const student* record : after) {
      ASSERT_EQ(average_at.count(record), 1u) << "a record that was not there before";
      EXPECT_EQ(record->average, average_at[record]) << "contents moved between records";
    }
    release_roster(list);
  }
}

TEST(Ranking, ACountLongerThanTheListNeverReadsPastItsEnd) {
  roster* list = roster_of({{"a", 1}, {"b", 3}, {"c", 2}});
  bubble_sort_by_average(list, 1000);
  EXPECT_EQ(numbers_of(list), "b c a");
  release_roster(list);
  roster* empty = roster_of({});
  EXPECT_EQ(bubble_sort_by_average(empty, 2), 0u);
  release_roster(empty);
}

TEST(Ranking, TheSameScoresInAnotherOrderTie) {
  // Added up in doubles, 0.1 + 0.2 + 0.3 comes out above 0.3 + 0.2 + 0.1, and
  // X would overtake Y.
  testing_support::ScriptedSession session("Y\nY\nc\n0.3 0.2 0.1\nX\nX\nc\n0.1 0.2 0.3\n#\n");
  roster* list = create_roster();
  EXPECT_EQ(list->next->average, list->next->next->average);
  sort_by_average(list);
  EXPECT_EQ(numbers_of(list), "Y X");
  release_roster(list);
}

}  // namespace
