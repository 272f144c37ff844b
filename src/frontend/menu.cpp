#include "frontend/menu.h"

#include "console/console.h"
#include "frontend/frontend_texts.h"
#include "frontend/login.h"
#include "roster/roster.h"

namespace {

constexpr int kNoChoice = -1;  // a line that held no usable number

// Runs one menu item other than 0. Item 1 may replace the current roster,
// and then hands the one it replaced to `replaced`.
void run_item(int choice, roster*& current, roster*& replaced) {
  switch (choice) {
    case 1:
      if (roster* fresh = create_roster()) {
        replaced = current;
        current = fresh;
      }
      break;
    case 2: print_roster(current); break;
    case 3: insert_student(current); break;
    case 4: delete_student(current); break;
    case 5: modify_student(current); break;
    case 6: query_student(current); break;
    case 7: sort_by_average(current); break;
    default: console::write_line(frontend_texts::bad_choice); break;
  }
}

}  // namespace

void show_menu() {
  for (const char* line : frontend_texts::menu_lines) console::write_line(line);
}

int run_menu(menu_setup setup) {
  // Until item 1 builds one, the current roster is the one handed over, or
  // an empty one.
  roster* current = setup.initial != nullptr ? setup.initial : make_empty_roster();
  if (current == nullptr) return 1;
  student_count = 0;
  for (const student* record = current->next; record != nullptr; record = record->next) ++student_count;
  for (;;) {
    console::clear_screen();
    show_menu();
    console::discard_pending();
    int choice = kNoChoice;
    console::read_status read = console::read_int(choice);
    if (read == console::read_status::end_of_input) break;
    if (read != console::read_status::ok) choice = kNoChoice;
    if (choice == 0) break;
    roster* replaced = nullptr;
    run_item(choice, current, replaced);
    if (setup.listener != nullptr) setup.listener->item_done(choice, current, replaced);
    release_roster(replaced);
    if (setup.after_each_item != nullptr) setup.after_each_item(current);
    console::write_line(frontend_texts::press_any_key);
    console::pause_for_key();
  }
  int status = setup.listener != nullptr ? setup.listener->menu_over(current) : 0;
  release_roster(current);
  return status;
}

int run_program(menu_setup setup) {
  if (!admin_login()) {
    release_roster(setup.initial);
    return 1;
  }
  return run_menu(setup);
}
