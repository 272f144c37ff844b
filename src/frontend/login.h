// The administrator password gate in front of the menu.
#pragma once

// The password, held as a 20-byte text: the digits, then zeros.
inline constexpr char ADMIN_PASSWORD[20] = "907135";

// Asks for the password up to three times, each key shown as a star.
// True once an attempt matched; false after three wrong attempts (with the
// message and the pause) or when the keys ran out.
bool admin_login();
