// The roster: students typed in during this run, kept in a singly linked list
// behind a head node, with the program-wide count of its records.
#pragma once

#include <cstddef>
#include <string_view>

// Each text field holds at most 19 bytes of GBK text and a terminating zero.
constexpr std::size_t text_field_size = 20;

struct student {
  char name[text_field_size];
  char student_no[text_field_size];
  char class_name[text_field_size];
  double score[3];
  double average;
  student* next;
};

// A roster is identified by its head node, a student whose data fields are
// never used; the head's `next` is the first record.
using roster = student;

// The number of records in the current roster. Creation, insertion and
// deletion keep it equal to the length of the list; ranking relies on that.
extern int student_count;

// --- Records, creation and listing ----------------------------------------

enum class entry_outcome {
  entered,    // a name was typed: the form ran to its end, or input ended after the name
  hash_name,  // the name began with '#'; the form stopped there
  no_input,   // standard input ended before a name was typed
};

// Fills `record` from the console. A field whose read meets the end of input
// keeps what it held, as do the fields after it.
entry_outcome enter_student(student* record);

// The three scores added and divided by 3, as the entry form sets `average`.
double average_of(const double score[3]);

// A roster with no records; nullptr when no memory can be had.
roster* make_empty_roster();
// Releases the head and every record.
void release_roster(roster* list);

// Menu item 1: reads students until a name beginning with '#'. Sets
// student_count. nullptr when not even a head could be allocated.
roster* create_roster();

// Menu item 2.
void print_roster(const roster* list);
// One record as a listing row and a query show it.
void print_row(const student* record);

// --- Lookup by student number and the edits built on it -------------------

// The first record, in list order, whose student number is exactly `key`.
// When `before` is given it receives the record (or head) preceding it.
student* find_student(roster* list, std::string_view key, student** before = nullptr);

void insert_student(roster* list);  // menu item 3
void delete_student(roster* list);  // menu item 4
void modify_student(roster* list);  // menu item 5
void query_student(roster* list);   // menu item 6

// --- Ranking ----------------------------------------------------------------

// Menu item 7: orders the records by average, highest first, keeping the order
// of equal averages; records move only by relinking.
void sort_by_average(roster* list);

// The same bubble sort over the first `length` records. Returns the number of
// averages compared. Stops at the end of the list should `length` overstate it.
std::size_t bubble_sort_by_average(roster* list, int length);
