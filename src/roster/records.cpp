// The student record: the entry form, creating a roster and listing it.
#include <cstring>
#include <new>
#include <string>

#include "console/console.h"
#include "roster/roster.h"
#include "roster/roster_texts.h"

int student_count = 0;

entry_outcome enter_student(student* record) {
  console::discard_pending();
  console::write(roster_texts::ask_name);
  if (!console::read_text(record->name, sizeof record->name)) return entry_outcome::no_input;
  if (record->name[0] == '#') return entry_outcome::hash_name;

  console::write(roster_texts::ask_student_no);
  if (console::read_text(record->student_no, sizeof record->student_no)) {
    console::write(roster_texts::ask_class);
    if (console::read_text(record->class_name, sizeof record->class_name)) {
      console::write(roster_texts::ask_scores);
      double scores[3] = {0, 0, 0};  // a score that cannot be read counts 0
      console::read_numbers(scores, 3);
      for (int i = 0; i < 3; ++i) record->score[i] = scores[i];
      record->average = average_of(scores);
    }
  }
  console::write("\n");
  return entry_outcome::entered;
}

double average_of(const double score[3]) {
  // Summed and divided in extended precision, rounded once when stored.
  long double sum = static_cast<long double>(score[0]) + score[1] + score[2];
  return static_cast<double>(sum / 3);
}

roster* make_empty_roster() { return new (std::nothrow) student{}; }

void release_roster(roster* list) {
  while (list != nullptr) {
    student* next = list->next;
    delete list;
    list = next;
  }
}

roster* create_roster() {
  roster* list = make_empty_roster();
  if (list == nullptr) return nullptr;
  student_count = 0;
  console::write_line(roster_texts::how_to_stop);
  student* last = list;
  for (;;) {
    student* record = new (std::nothrow) student{};
    if (record == nullptr) break;  // keep the students entered so far
    if (enter_student(record) != entry_outcome::entered) {
      delete record;
      break;
    }
    last->next = record;
    last = record;
    ++student_count;
    if (console::input_ended()) break;  // nobody is left to type the next name
  }
  return list;
}

namespace {

// A record's row after what `row` holds already: name, student number and
// class, the three scores and the average with one decimal, tab-separated.
void append_row(std::string& row, const student* record) {
  for (const char* field : {record->name, record->student_no, record->class_name}) {
    row.append(field, strnlen(field, text_field_size));
    row += '\t';
  }
  for (double score : record->score) {
    console::append_fixed1(row, score);
    row += '\t';
  }
  console::append_fixed1(row, record->average);
  row += '\n';
}

}  // namespace

void print_row(const student* record) {
  std::string row;
  append_row(row, record);
  console::write(row);
}

void print_roster(const roster* list) {
  console::print(roster_texts::count_format, student_count);
  console::write_line(roster_texts::listing_header);
  std::string row;
  int number = 0;
  for (const student* record = list->next; record != nullptr; record = record->next) {
    row.assign(roster_texts::row_number_prefix);
    console::append_int(row, ++number);
    row += "\t\t";
    append_row(row, record);
    console::write(row);
  }
}
