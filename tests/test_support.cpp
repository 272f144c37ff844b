#include "test_support.h"

#include <cstring>

namespace testing_support {

std::string entry_form_prompts() {
  return gbk("请输入姓名：请输入学号：请输入班级：请输入三门课的成绩：\n");
}

roster* roster_of(std::initializer_list<record_fields> records) {
  roster* list = make_empty_roster();
  student* last = list;
  student_count = 0;
  for (const record_fields& fields : records) {
    student* record = new student{};
    std::strncpy(record->student_no, fields.student_no, text_field_size - 1);
    std::strncpy(record->name, fields.name, text_field_size - 1);
    record->average = fields.average;
    last->next = record;
    last = record;
    ++student_count;
  }
  return list;
}

int length_of(const roster* list) {
  int length = 0;
  for (const student* record = list->next; record != nullptr; record = record->next) ++length;
  return length;
}

std::string numbers_of(const roster* list) {
  std::string numbers;
  for (const student* record = list->next; record != nullptr; record = record->next) {
    if (!numbers.empty()) numbers += ' ';
    numbers += record->student_no;
  }
  return numbers;
}

}  // namespace testing_support
