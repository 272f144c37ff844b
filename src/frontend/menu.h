// The main menu loop and the program around it.
#pragma once

// Writes the seven menu lines.
void show_menu();

// Shows the menu and runs the chosen items until item 0 or the end of input.
// Returns the exit status.
int run_menu();

// The whole program: the password gate, then the menu. Returns the exit status.
int run_program();
