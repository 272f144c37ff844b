// The main menu loop and the program around it.
#pragma once

#include "roster/roster.h"

// Writes the seven menu lines.
void show_menu();

// Called with the current roster after each menu item has run; lets a checker
// look at the roster between items.
using item_observer = void (*)(const roster* current);

// Shows the menu and runs the chosen items until item 0 or the end of input.
// Returns the exit status.
int run_menu(item_observer after_each_item = nullptr);

// The whole program: the password gate, then the menu. Returns the exit status.
int run_program(item_observer after_each_item = nullptr);
