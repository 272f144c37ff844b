// Whole sessions through the in-memory console: the fuzzer's bytes are the
// standard input of a piped session, and after every menu item the roster is
// checked for damage. Most sessions start past the password gate; some go
// through it, their first line being the password's keys.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <set>
#include <string>

#include "console/console.h"
#include "scripted_console.h"
#include "frontend/menu.h"
#include "roster/roster.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "roster invariant broken: %s\n", what);
  std::abort();
}

// Every text field ends within its 20 bytes and holds whole GBK characters.
void check_field(const char* field) {
  std::size_t i = 0;
  while (i < text_field_size && field[i] != '\0') {
    auto byte = static_cast<unsigned char>(field[i]);
    if (byte >= 0x81 && byte <= 0xfe) {
      if (i + 1 >= text_field_size) fail("a field ends in half a character");
      auto trail = static_cast<unsigned char>(field[i + 1]);
      if (trail < 0x40 || trail == 0x7f || trail == 0xff) fail("half a GBK character in a field");
      i += 2;
    } else {
      i += 1;
    }
  }
  if (i >= text_field_size) fail("a field without its terminating zero");
}

void check_roster(const roster* current) {
  std::set<const student*> seen;
  for (const student* record = current->next; record != nullptr; record = record->next) {
    if (!seen.insert(record).second) fail("a record is reachable twice");
    check_field(record->name);
    check_field(record->student_no);
    check_field(record->class_name);
  }
  if (seen.size() != static_cast<std::size_t>(student_count)) fail("student_count differs from the list");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the input is handed over, so that reads are
  // exercised across every kind of chunk boundary, and whether the gate runs.
  unsigned char mode = data[0];
  std::size_t chunk = (mode & 0x80) != 0 ? 4096 : static_cast<std::size_t>(mode % 16) + 1;
  bool through_gate = (mode & 0x40) != 0;
  std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  console::ScriptedConsole backend(input, {}, {.keyboard = false, .chunk_size = chunk});
  console::install(&backend);
  int status = through_gate ? run_program(check_roster) : run_menu(check_roster);
  console::install(nullptr);
  if (status != 0 && !through_gate) fail("the menu ended with a failure status");
  if (through_gate && status != 0 && status != 1) fail("an exit status other than 0 or 1");
  return 0;
}
