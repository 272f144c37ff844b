// Menu items 3 to 6: one lookup by student number, and the edits built on it.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "console/console.h"
#include "roster/roster.h"
#include "roster/roster_texts.h"

namespace {

// A key one byte longer than a student number can hold already matches
// nothing, so no more of it needs keeping.
constexpr std::size_t kKeyBytesKept = text_field_size;

// Writes `prompt` as a line and reads the student number typed after it.
// False at end of input: the dialogue ends there without an answer.
bool ask_key(const char* prompt, std::string& key) {
  console::write_line(prompt);
  return console::read_word(key, kKeyBytesKept);
}

// The first eight bytes of a text field.
std::uint64_t first_word(const char* field) {
  std::uint64_t word;
  std::memcpy(&word, field, sizeof word);
  return word;
}

}  // namespace

student* find_student(roster* list, std::string_view key, student** before) {
  // A stored number holds at most 19 bytes and no zero byte: such a key
  // matches nothing. Any other is compared, with its terminating zero,
  // against each fixed field: its first eight bytes as one word (which
  // already tells most numbers apart), then whatever is left.
  if (key.size() >= text_field_size || key.find('\0') != std::string_view::npos) return nullptr;
  char wanted[text_field_size] = {};
  std::memcpy(wanted, key.data(), key.size());
  std::size_t compared = key.size() + 1;
  unsigned char mask_bytes[sizeof(std::uint64_t)] = {};
  for (std::size_t i = 0; i < sizeof mask_bytes && i < compared; ++i) mask_bytes[i] = 0xff;
  std::uint64_t mask = first_word(reinterpret_cast<const char*>(mask_bytes));
  std::uint64_t wanted_first = first_word(wanted) & mask;
  student* previous = list;
  for (student* record = list->next; record != nullptr; record = record->next) {
    if ((first_word(record->student_no) & mask) == wanted_first &&
        (compared <= sizeof(std::uint64_t) ||
         std::memcmp(record->student_no + sizeof(std::uint64_t), wanted + sizeof(std::uint64_t),
                     compared - sizeof(std::uint64_t)) == 0)) {
      if (before != nullptr) *before = previous;
      return record;
    }
    previous = record;
  }
  return nullptr;
}

void insert_student(roster* list) {
  std::string key;
  if (!ask_key(roster_texts::ask_insert_after, key)) return;
  student* after = find_student(list, key);
  if (after == nullptr) {
    console::write_line(roster_texts::ask_append);
    int answer = 0;
    if (console::read_int(answer) != console::read_status::ok || answer != 1) return;
    after = list;
    while (after->next != nullptr) after = after->next;
  }
  student* record = new (std::nothrow) student{};
  if (record == nullptr) return;
  if (enter_student(record) == entry_outcome::no_input) {
    delete record;  // nothing was typed for it
    return;
  }
  record->next = after->next;
  after->next = record;
  ++student_count;
}

void delete_student(roster* list) {
  std::string key;
  if (!ask_key(roster_texts::ask_delete, key)) return;
  student* before = nullptr;
  student* record = find_student(list, key, &before);
  if (record == nullptr) {
    console::write_line(roster_texts::nobody_to_delete);
    return;
  }
  before->next = record->next;
  delete record;
  --student_count;
  console::write_line(roster_texts::deleted);
}

void modify_student(roster* list) {
  std::string key;
  if (!ask_key(roster_texts::ask_modify, key)) return;
  student* record = find_student(list, key);
  if (record == nullptr) {
    console::write_line(roster_texts::not_found);
    return;
  }
  enter_student(record);
}

void query_student(roster* list) {
  std::string key;
  if (!ask_key(roster_texts::ask_query, key)) return;
  const student* record = find_student(list, key);
  if (record == nullptr) {
    console::write_line(roster_texts::not_found);
    return;
  }
  console::write_line(roster_texts::query_header);
  print_row(record);
}
