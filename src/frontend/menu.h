// The main menu loop and the program around it.
#pragma once

#include "roster/roster.h"

// Writes the seven menu lines.
void show_menu();

// Called with the current roster after each menu item has run; lets a checker
// look at the roster between items.
using item_observer = void (*)(const roster* current);

// Hears of every menu item that ran and of the menu's end, so that the
// roster can be kept somewhere between runs.
class menu_listener {
 public:
  virtual ~menu_listener() = default;
  // After item `choice` ran, before the pause. `replaced` is the roster item
  // 1 has just replaced (released once this returns), else nullptr.
  virtual void item_done(int choice, const roster* current, const roster* replaced) = 0;
  // The menu is over (item 0, or the end of input): gives the exit status.
  virtual int menu_over(const roster* current) = 0;
};

// What the menu starts from and who hears of it; every part may be left out.
struct menu_setup {
  item_observer after_each_item = nullptr;
  roster* initial = nullptr;  // taken over; an empty roster when nullptr
  menu_listener* listener = nullptr;
};

// Shows the menu and runs the chosen items until item 0 or the end of input.
// Returns the exit status.
int run_menu(menu_setup setup);
inline int run_menu(item_observer after_each_item = nullptr) { return run_menu(menu_setup{after_each_item}); }

// The whole program: the password gate, then the menu. Returns the exit status.
int run_program(menu_setup setup);
inline int run_program(item_observer after_each_item = nullptr) {
  return run_program(menu_setup{after_each_item});
}
