// Any bytes as a roster file: a roster or a refusal, never a crash. A roster
// read holds whole, terminated GBK fields, and what it is written as reads
// back as the same roster, written the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "roster/roster_csv.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "roster file invariant broken: %s\n", what);
  std::abort();
}

int checked_length(const roster* list) {
  int length = 0;
  for (const student* record = list->next; record != nullptr; record = record->next, ++length) {
    for (const char* field : {record->name, record->student_no, record->class_name}) {
      if (strnlen(field, text_field_size) >= text_field_size) fail("a field without its terminating zero");
    }
    if (record->average != average_of(record->score)) fail("an average not computed from the scores");
  }
  return length;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  loaded_roster first = roster_from_csv(std::string_view(reinterpret_cast<const char*>(data), size));
  if (first.list == nullptr) {
    if (first.problem.line < 0 || first.problem.what.empty()) fail("a refusal that says nothing");
    return 0;
  }
  if (checked_length(first.list) != first.count) fail("the count differs from the list");
  std::string written = roster_to_csv(first.list);
  loaded_roster second = roster_from_csv(written);
  if (second.list == nullptr) fail("a written roster is refused");
  if (second.count != first.count) fail("a written roster reads back with another count");
  if (roster_to_csv(second.list) != written) fail("a written roster reads back as another");
  release_roster(first.list);
  release_roster(second.list);
  return 0;
}
