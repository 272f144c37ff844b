#include "frontend/version_history.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "console/console.h"
#include "files/file_names.h"
#include "files/file_system.h"
#include "files/lock_holder.h"
#include "roster/roster_csv.h"

namespace versions {
namespace {

constexpr const char* kChangeNames[] = {"entered", "inserted",      "deleted", "modified", "ranked",
                                        "restored", "other-program", "found",   "unsaved"};
constexpr std::size_t kFields = 9;
constexpr long long kHour = 3600, kDay = 24 * kHour;
constexpr std::size_t kMostVersions = 1000;
constexpr std::uint64_t kLeastRoom = 1000000;

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    std::size_t end = text.find(separator, at);
    parts.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) return parts;
    at = end + 1;
  }
}

// A field never holds the index's own separators.
std::string field(std::string_view text) {
  std::string out(text);
  std::replace_if(out.begin(), out.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return out;
}

bool number(std::string_view text, std::uint64_t& value, int base = 10) {
  if (text.empty() || text.size() > 20) return false;
  std::string digits(text);
  char* end = nullptr;
  value = std::strtoull(digits.c_str(), &end, base);
  return *end == '\0' && digits.front() != '-';
}

// "20261210-071502" as seconds from a fixed day, local time taken as it
// stands: only differences and calendar hours and days matter here.
bool seconds_of(const std::string& time, long long& seconds) {
  int year, month, day, hour, minute, second;
  if (time.size() < 15 ||
      std::sscanf(time.c_str(), "%4d%2d%2d-%2d%2d%2d", &year, &month, &day, &hour, &minute, &second) != 6) {
    return false;
  }
  // Days from the civil date (Howard Hinnant's algorithm).
  year -= month <= 2;
  long long era = (year >= 0 ? year : year - 399) / 400;
  long long year_of_era = year - era * 400;
  long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  long long days = era * 146097 + day_of_era - 719468;
  seconds = days * kDay + hour * kHour + minute * 60LL + second;
  return true;
}

// Text from the index (UTF-8, which anyone who may write the roster may
// write) as a message may show it.
std::string shown(const std::string& utf8) {
  std::string gbk;
  files::utf8_to_gbk(files::shown_safely(utf8), gbk);
  return console::platform_text(gbk);
}

// The header and the rows of a roster as this program writes it.
std::vector<std::string_view> rows_of(std::string_view csv) {
  std::vector<std::string_view> rows = split(csv, '\n');
  if (!rows.empty() && rows.back().empty()) rows.pop_back();
  return rows;
}

}  // namespace

std::string folder_of(const std::string& roster_path) {
  std::size_t slash = roster_path.find_last_of("/\\");
  std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = roster_path.rfind('.');
  if (dot == std::string::npos || dot <= name_start) dot = roster_path.size();
  constexpr std::string_view kAfter = "-versions";
  std::string_view stem = std::string_view(roster_path).substr(name_start, dot - name_start);
  return roster_path.substr(0, name_start) + files::fitting_stem("", stem, kAfter) + std::string(kAfter);
}

std::string index_of(const std::string& folder) { return folder + "/versions.txt"; }

std::vector<entry> parse_index(std::string_view text) {
  std::vector<entry> entries;
  for (std::string_view line : split(text, '\n')) {
    std::vector<std::string_view> fields = split(line, '\t');
    if (fields.size() != kFields) continue;
    entry e;
    std::uint64_t students = 0;
    const auto* name = std::find(std::begin(kChangeNames), std::end(kChangeNames), fields[6]);
    if (!number(fields[3], students) || !number(fields[4], e.bytes) || !number(fields[5], e.fingerprint, 16) ||
        name == std::end(kChangeNames)) {
      continue;
    }
    e.time = fields[0];
    e.file = fields[1];
    e.user = fields[2];
    e.students = static_cast<long long>(students);
    e.made_by = static_cast<change>(name - std::begin(kChangeNames));
    e.detail_1 = fields[7];
    e.detail_2 = fields[8];
    // A file name is a name in the folder, never a way out of it.
    if (e.file.find_first_of("/\\") != std::string::npos || e.file == "." || e.file == "..") continue;
    entries.push_back(std::move(e));
  }
  return entries;
}

std::string format_index(const std::vector<entry>& entries) {
  std::string text;
  for (const entry& e : entries) {
    char fingerprint[24];
    std::snprintf(fingerprint, sizeof fingerprint, "%016llx", static_cast<unsigned long long>(e.fingerprint));
    for (const std::string& part : {field(e.time), field(e.file), field(e.user), std::to_string(e.students),
                                    std::to_string(e.bytes), std::string(fingerprint),
                                    std::string(kChangeNames[static_cast<int>(e.made_by)]), field(e.detail_1)}) {
      text.append(part).push_back('\t');
    }
    text.append(field(e.detail_2)).push_back('\n');
  }
  return text;
}

std::string version_file_name(const std::string& time, int attempt) {
  std::string name = time;
  if (attempt > 1) name.append("-").append(std::to_string(attempt));
  return name.append(".csv");
}

std::vector<std::size_t> to_thin(const std::vector<entry>& entries, const std::string& now,
                                 std::uint64_t roster_bytes, std::size_t newest) {
  long long now_seconds = 0;
  seconds_of(now, now_seconds);
  std::vector<std::size_t> kept, gone;
  std::set<long long> hours, days;
  // Newest first: the first version met in an hour or a day is its last.
  for (std::size_t i = entries.size(); i-- > 0;) {
    if (entries[i].file.empty()) continue;
    long long at = now_seconds;
    bool dated = seconds_of(entries[i].time, at);
    long long age = now_seconds - at;
    long long hour = at / kHour, day = at / kDay;
    bool last_of_hour = hours.insert(hour).second;
    bool last_of_day = days.insert(day).second;
    bool keep = i == newest || !dated || age <= kDay || (age <= 7 * kDay && last_of_hour) ||
                (age <= 90 * kDay && last_of_day);
    (keep ? kept : gone).push_back(i);
  }
  // Past the bounds, the oldest go first.
  std::uint64_t room = std::max(roster_bytes * 100, kLeastRoom), used = 0;
  for (std::size_t i : kept) used += entries[i].bytes;
  for (std::size_t k = kept.size(); k-- > 0 && (kept.size() > kMostVersions || used > room);) {
    if (kept[k] == newest) continue;
    used -= entries[kept[k]].bytes;
    gone.push_back(kept[k]);
    kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(k));
  }
  std::sort(gone.begin(), gone.end());
  return gone;
}

long long students_in(std::string_view csv) {
  loaded_roster file = roster_from_csv(csv);
  long long count = 0;
  for (const student* record = file.list != nullptr ? file.list->next : nullptr; record != nullptr;
       record = record->next) {
    ++count;
  }
  release_roster(file.list);
  return count;
}

std::string students_said(long long count) {
  return count == 1 ? console::message("1 student") : console::message("%s students", {std::to_string(count)});
}

std::string time_said(const std::string& time) {
  if (time.size() < 15) return "?";
  return time.substr(0, 4) + "-" + time.substr(4, 2) + "-" + time.substr(6, 2) + " " + time.substr(9, 2) + ":" +
         time.substr(11, 2) + ":" + time.substr(13, 2);
}

std::string change_said(const entry& version) {
  std::string one = shown(version.detail_1), two = shown(version.detail_2);
  switch (version.made_by) {
    case change::entered: return console::message("new roster entered (%s)", {students_said(version.students)});
    case change::inserted: return console::message("student %s %s inserted", {one, two});
    case change::deleted: return console::message("student %s %s deleted", {one, two});
    case change::modified: return console::message("student %s %s changed", {one, two});
    case change::ranked: return console::message("ranked by average score");
    case change::restored: return console::message("version %s (saved %s) restored", {one, time_said(version.detail_2)});
    case change::other_program: return console::message("saved by another program");
    case change::found: return console::message("as found before versions were kept");
    case change::unsaved: return console::message("never saved: replaced by a new roster");
  }
  return "";
}

std::vector<entry> numbered(const std::vector<entry>& history, const std::string* roster_file) {
  std::vector<entry> listed;
  if (roster_file != nullptr) {
    std::uint64_t print = files::fingerprint(*roster_file);
    auto same = [&](const entry& e) { return e.file.empty() && e.fingerprint == print; };
    auto found = std::find_if(history.begin(), history.end(), same);
    entry now;
    if (found != history.end()) {
      now = *found;
    } else {
      // Saved by something that keeps no history: a spreadsheet, or this
      // program before it kept versions.
      now.made_by = history.empty() ? change::found : change::other_program;
      now.students = students_in(*roster_file);
      now.bytes = roster_file->size();
      now.fingerprint = print;
    }
    listed.push_back(std::move(now));
  }
  for (auto e = history.rbegin(); e != history.rend(); ++e) {
    if (!e->file.empty()) listed.push_back(*e);
  }
  return listed;
}

std::string listing_line(std::size_t number, std::size_t width, const entry& version) {
  std::string line = std::to_string(number);
  line.insert(0, width > line.size() ? width - line.size() : 0, ' ');
  std::string when = version.time.empty() ? console::message("(time not known)") : time_said(version.time);
  std::string who = version.user.empty() ? "?" : shown(version.user);
  return "  " + line + "  " + when + "  " + who + "  " + students_said(version.students) + "  " + change_said(version);
}

void describe_change(int choice, std::string_view before, std::string_view after, entry& version) {
  version.made_by = choice == 1 ? change::entered : choice == 7 ? change::ranked
                  : choice == 3 ? change::inserted : choice == 4 ? change::deleted : change::modified;
  if (choice != 3 && choice != 4 && choice != 5) return;
  // The rows both keep at the start and at the end; the one between came,
  // went or changed.
  std::vector<std::string_view> old_rows = rows_of(before), new_rows = rows_of(after);
  std::size_t same = 0;
  while (same < old_rows.size() && same < new_rows.size() && old_rows[same] == new_rows[same]) ++same;
  const std::vector<std::string_view>& holder = choice == 4 ? old_rows : new_rows;
  if (same >= holder.size() || same == 0) return;  // row 0 is the header
  std::string one(holder[0]);
  one.append("\n").append(holder[same]).append("\n");
  loaded_roster row = roster_from_csv(one);
  if (row.list == nullptr) return;
  if (const student* record = row.list->next) {
    files::gbk_to_utf8(record->student_no, version.detail_1);
    files::gbk_to_utf8(record->name, version.detail_2);
  }
  release_roster(row.list);
}

}  // namespace versions
