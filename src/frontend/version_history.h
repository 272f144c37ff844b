// A roster file's earlier versions: every save that changes the roster keeps
// the file it replaces in a folder beside it (二班.csv keeps them in
// 二班-versions), and a small index there says of each version when it was
// saved, by whom, what change made it and how many students it holds. The
// index is the truth: a version file it does not name (one a kill cut
// short) is never listed.
//
// Everything here is text and arithmetic; the files are the store's to read
// and write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace versions {

// What made a version.
enum class change { entered, inserted, deleted, modified, ranked, restored, other_program, found, unsaved };

// One state of the roster file, as a save wrote it or as it was found.
struct entry {
  std::string time;  // when it was saved, "20261210-071502" (local time); empty when not known
  std::string file;  // its file in the versions folder; empty while it is only the roster file itself
  std::string user;  // who saved it (UTF-8); empty when not known
  long long students = 0;
  std::uint64_t bytes = 0;
  std::uint64_t fingerprint = 0;  // of its bytes, to recognise the roster file as this version
  change made_by = change::found;
  // The student it touched (number, name; UTF-8), or, for a restore, the
  // restored version's number and time.
  std::string detail_1, detail_2;
};

// The folder beside `roster_path` that holds its versions, and the index in it.
std::string folder_of(const std::string& roster_path);
std::string index_of(const std::string& folder);

// The index's text: one entry a line, oldest first, fields apart by tabs.
// A line that is not whole (a kill cut it short) is skipped.
std::vector<entry> parse_index(std::string_view text);
std::string format_index(const std::vector<entry>& entries);

// A version file's name in the folder: its time, and "-2", "-3"... where
// that is taken, as a spreadsheet opens it.
std::string version_file_name(const std::string& time, int attempt);

// Which versions (entries with a file) go, as backup tools thin their
// history: all of the last 24 hours stay, then the last of each hour for 7
// days, then the last of each day for 90 days; older ones go, and so do the
// oldest past 1,000 versions or past 100 times `roster_bytes` (1 MB at
// least) in all. The entry at `newest` is never among them.
std::vector<std::size_t> to_thin(const std::vector<entry>& entries, const std::string& now,
                                 std::uint64_t roster_bytes, std::size_t newest);

// What made `version`, in the reader's language and the platform's encoding:
// "删除学生 A03 王五".
std::string change_said(const entry& version);

// How many students a roster file holds (0 for one that is no roster).
long long students_in(std::string_view csv);

// The versions a reader numbers, newest first: 1 is the roster file itself
// (`roster_file`, when there is one), as the history has it where it
// recognises it; then every version with a file.
std::vector<entry> numbered(const std::vector<entry>& history, const std::string* roster_file);

// One line of the listing, in the reader's language: the number (right
// aligned to `width`), when, who, how many students, and what changed.
std::string listing_line(std::size_t number, std::size_t width, const entry& version);

// "35 students", in the reader's language.
std::string students_said(long long count);

// "20261210-071502" as "2026-12-10 07:15:02".
std::string time_said(const std::string& time);

// What menu item `choice` changed between two rosters as this program
// writes them (a header line, then a row a student): `version`'s made_by,
// and for an insert, a delete or a change the student's number and name,
// from the row that came, went or changed.
void describe_change(int choice, std::string_view before, std::string_view after, entry& version);

}  // namespace versions
