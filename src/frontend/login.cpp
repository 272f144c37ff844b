#include "frontend/login.h"

#include <cstddef>
#include <cstring>

#include "console/console.h"
#include "frontend/frontend_texts.h"

namespace {

constexpr int kAttempts = 3;
constexpr int kFarewellPauseMs = 150;
// Keys past this many still count (and show a star) but are not kept; such
// an entry cannot be the password unless Backspace brings it back under.
constexpr std::size_t kKeysKept = 64;

// The keys of one attempt. Wiped when the attempt is over.
struct entry {
  int keys[kKeysKept];
  std::size_t count;  // keys held, Enter included, kept or not
};

void wipe(entry& held) {
  volatile int* keys = held.keys;
  for (std::size_t i = 0; i < kKeysKept; ++i) keys[i] = 0;
  held.count = 0;
}

// Reads keys up to Enter, echoing stars. False when the keys ran out.
bool read_entry(entry& held) {
  for (;;) {
    int key = console::get_key();
    if (key == console::end_of_keys) return false;
    if (key == console::key_backspace && held.count > 0) {
      --held.count;
      console::write("\b \b");
      continue;
    }
    if (held.count < kKeysKept) held.keys[held.count] = key;
    ++held.count;
    console::write("*");
    if (key == console::key_enter) return true;
  }
}

// Every held key but the final Enter must equal the password, key for key.
bool matches_password(const entry& held) {
  std::size_t length = std::strlen(ADMIN_PASSWORD);
  if (held.count != length + 1) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (held.keys[i] != static_cast<unsigned char>(ADMIN_PASSWORD[i])) return false;
  }
  return true;
}

}  // namespace

bool admin_login() {
  console::key_mode keys;  // nothing typed at the gate is echoed
  console::write_line(frontend_texts::welcome);
  entry held{};
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    console::write(frontend_texts::ask_password);
    bool complete = read_entry(held);
    bool right = complete && matches_password(held);
    wipe(held);
    if (!complete) return false;
    console::write("\n");
    if (right) return true;
  }
  console::write_line(frontend_texts::three_wrong);
  console::sleep_ms(kFarewellPauseMs);
  return false;
}
