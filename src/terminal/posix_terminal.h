// The terminal's settings while keys are read raw, and getting them back
// however the program ends, stops or is continued. Everything here works on
// standard input, and only where it is a terminal.
#pragma once

namespace console::terminal {

// Installs the signal handlers that put the terminal back and count stops
// and resizes. Called once, at start, where standard input is a terminal.
void install_guards();

// Raw, unechoed, one key at a time. The first call waits until the program is
// in the foreground and takes the terminal's settings there as the ones to
// come back to. False where the settings cannot be read.
bool enter_key_mode();
// The settings taken by the first enter_key_mode() again.
void leave_key_mode();

// True unless another process group has the terminal (the program's job
// was put in the background).
bool in_foreground();
// Stops the program's job as a read from the terminal in the background
// would, for the shell to bring it forward again.
void stop_for_terminal();

// How often the program was continued after a stop, and how often the
// screen changed size: what is drawn must be drawn again once these change.
int times_continued();
int times_resized();

}  // namespace console::terminal
