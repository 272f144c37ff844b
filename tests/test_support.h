// Helpers shared by the unit tests: GBK literals from readable UTF-8, and a
// scripted console installed for the length of a test.
#pragma once

#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "console/console.h"
#include "scripted_console.h"
#include "roster/roster.h"

namespace testing_support {

// The GBK bytes of a UTF-8 text (tests write their texts readably).
std::string gbk(std::string_view utf8);

// True when every byte of `text` belongs to a whole character of `charset`
// (Linux only).
bool valid_in(const char* charset, std::string text);

// The entry form's four prompts and its closing line break, in GBK.
std::string entry_form_prompts();

// Installs a scripted console on construction and removes it afterwards.
class ScriptedSession {
 public:
  explicit ScriptedSession(std::string input, std::deque<int> keys = {},
                           console::ScriptedConsole::Options options = {})
      : console_(std::move(input), std::move(keys), options) {
    console::install(&console_);
  }
  ~ScriptedSession() { console::install(nullptr); }
  ScriptedSession(const ScriptedSession&) = delete;
  ScriptedSession& operator=(const ScriptedSession&) = delete;

  // What was shown so far, flushed.
  const std::string& output() {
    console::flush();
    return console_.output();
  }
  console::ScriptedConsole& backend() { return console_; }

 private:
  console::ScriptedConsole console_;
};

// A record for building rosters directly in tests.
struct record_fields {
  const char* student_no;
  double average;
  const char* name = "";
};

// A roster holding the given records in order; sets student_count.
roster* roster_of(std::initializer_list<record_fields> records);

// The number of records really linked behind the head.
int length_of(const roster* list);

// The student numbers in list order, joined by spaces.
std::string numbers_of(const roster* list);

}  // namespace testing_support
