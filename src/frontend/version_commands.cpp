#include "frontend/version_commands.h"

#include "console/console.h"
#include "frontend/roster_store.h"
#include "frontend/version_history.h"
#include "roster/roster_csv.h"

namespace {

// The index as it stands, or none (no folder, no index yet, or unreadable:
// then only the file itself is listed).
std::vector<versions::entry> read_history(files::FileSystem& disk, const std::string& path) {
  std::string text, why;
  if (disk.read_file(versions::index_of(versions::folder_of(path)), text, why) != files::read_outcome::read) return {};
  return versions::parse_index(text);
}

}  // namespace

int show_history(files::FileSystem& disk, const std::string& path) {
  std::string contents, why;
  files::read_outcome read = disk.read_file(path, contents, why);
  if (read == files::read_outcome::failed) {
    say("%s: %s", {path, why});
    return exit_status::unreadable;
  }
  std::vector<versions::entry> listed =
      versions::numbered(read_history(disk, path), read == files::read_outcome::read ? &contents : nullptr);
  if (listed.empty()) {
    console::write_message(console::message("%s has no versions yet", {path}) + "\n");
    return 0;
  }
  std::string text = console::message("Versions of %s, newest first:", {path}) + "\n";
  std::size_t width = std::to_string(listed.size()).size();
  for (std::size_t i = 0; i < listed.size(); ++i) text += versions::listing_line(i + 1, width, listed[i]) + "\n";
  text += console::message("To make version N the roster again: roster --restore N %s", {path}) + "\n";
  console::write_message(text);
  return 0;
}

int restore_version(files::FileSystem& disk, const std::string& path, int number) {
  roster_store store(disk, path);
  roster* current = nullptr;
  if (int refused = store.open(current)) return refused;
  release_roster(current);
  store.open_history();
  const std::optional<std::string>& contents = store.on_disk();
  std::vector<versions::entry> listed = versions::numbered(store.history(), contents ? &*contents : nullptr);
  auto index = static_cast<std::size_t>(number);
  if (index > listed.size()) {
    if (listed.empty()) {
      say("%s: there is no version %s: it has no versions yet", {path, std::to_string(number)});
    } else {
      say("%s: there is no version %s: the versions are 1 to %s", {path, std::to_string(number), std::to_string(listed.size())});
    }
    return exit_status::misuse;
  }
  const versions::entry& chosen = listed[index - 1];
  std::string when = versions::time_said(chosen.time);
  if (index == 1) {
    say("%s: version 1 is the roster as it is now; nothing is restored", {path});
    return 0;
  }
  std::string file = store.versions_folder() + "/" + chosen.file, version, why;
  if (disk.read_file(file, version, why) != files::read_outcome::read) {
    if (why.empty()) why = console::message("the file is gone");
    say("%s: %s", {file, why});
    return exit_status::unreadable;
  }
  loaded_roster old = roster_from_csv(version);
  if (old.list == nullptr) {
    say("%s: not a roster file (line %s: %s)", {file, std::to_string(old.problem.line), old.problem.what});
    return exit_status::bad_file;
  }
  versions::entry made;
  made.made_by = versions::change::restored;
  made.detail_1 = std::to_string(number);
  made.detail_2 = chosen.time;
  bool saved = store.save_change(old.list, made);
  long long students = versions::students_in(version);
  release_roster(old.list);
  if (!saved) return exit_status::not_saved;
  console::write_message(console::message("%s: version %s (saved %s) is the roster again: %s",
                                          {path, std::to_string(number), when, versions::students_said(students)}) +
                         "\n");
  return 0;
}
