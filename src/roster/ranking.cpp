// Menu item 7: a bubble sort on the linked list that relinks records and never
// copies them.
#include "roster/roster.h"

std::size_t bubble_sort_by_average(roster* list, int length) {
  std::size_t comparisons = 0;
  for (int pass = 0; pass < length - 1; ++pass) {
    student* predecessor = list;
    student* p = list->next;
    if (p == nullptr) break;  // `length` overstates the list
    // Whether or not p and q swap, the next pair's later record is q's old
    // successor; holding it keeps the walk from reloading a link just stored.
    student* q = p->next;
    for (int pair = 0; pair < length - 1 - pass && q != nullptr; ++pair) {
      student* after_q = q->next;
      ++comparisons;
      if (q->average > p->average) {
        predecessor->next = q;
        p->next = after_q;
        q->next = p;
        predecessor = q;  // p moved one place on and begins the next pair
      } else {
        predecessor = p;
        p = q;
      }
      q = after_q;
    }
  }
  return comparisons;
}

void sort_by_average(roster* list) { bubble_sort_by_average(list, student_count); }
