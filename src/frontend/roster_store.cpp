#include "frontend/roster_store.h"

#include "console/console.h"
#include "files/file_names.h"
#include "roster/roster_csv.h"

namespace {

// More backups in one second than any session makes; past it the next
// second's names are free.
constexpr int kMostBackupsASecond = 1000000;

// One line on standard error: "roster: " and the message in the reader's language.
void say(const char* english, std::initializer_list<std::string_view> values = {}) {
  console::report("roster: " + console::message(english, values));
}

bool can_change_roster(int choice) {
  return choice == 1 || choice == 3 || choice == 4 || choice == 5 || choice == 7;
}

}  // namespace

roster_store::roster_store(files::FileSystem& disk, std::string path) : disk_(disk), path_(std::move(path)) {}

// Reads and parses the file; nullptr, having said why, when it cannot be used.
roster* roster_store::read(std::string& contents, int& status) {
  std::string why;
  switch (disk_.read_file(path_, contents, why)) {
    case files::read_outcome::read: break;
    case files::read_outcome::absent: contents.clear(); break;  // a new roster, made at the first save
    case files::read_outcome::failed:
      say("%s: %s", {path_, why});
      status = exit_status::unreadable;
      return nullptr;
  }
  loaded_roster file = roster_from_csv(contents);
  if (file.list == nullptr) {
    std::string line = std::to_string(file.problem.line);
    std::string title = csv_column_title(file.problem.field);
    std::string column = title.empty() ? console::message("beyond the last column") : console::platform_text(title);
    if (file.problem.field == 0) {
      say("%s: line %s: %s", {path_, line, file.problem.what});
    } else {
      say("%s: line %s, field %s (%s): %s",
          {path_, line, std::to_string(file.problem.field), column, file.problem.what});
    }
    status = exit_status::bad_file;
  }
  return file.list;
}

int roster_store::open(roster*& loaded) {
  // Read once before the lock, so that a folder or a bad file leaves no lock
  // file behind, and once more under it, in case another program saved
  // between the two.
  int status = 0;
  std::string before, why;
  auto keep_left_over = [this](const std::string& contents) {
    std::string name, not_kept;
    if (!keep_aside(contents, name, not_kept)) return false;
    say("%s: a save was cut short and the file is gone since; its last whole version is kept in %s", {path_, name});
    return true;
  };
  switch (disk_.restore_cut_short_save(path_, why, keep_left_over)) {
    case files::restore_outcome::nothing: break;
    case files::restore_outcome::restored:
      say("%s: a save was cut short; the file's last whole version is put back", {path_});
      break;
    case files::restore_outcome::ignored:
      say("%s: %s", {path_, why});
      break;
    case files::restore_outcome::failed:
      say("%s: a save was cut short, and its last whole version cannot be put back (%s)", {path_, why});
      return exit_status::not_saved;
  }
  loaded = read(before, status);
  if (loaded == nullptr) return status;
  // A file this user may not write is only ever read: no lock (a lock
  // guards saves), and every change says it is not saved.
  read_only_ = !disk_.may_write(path_);
  if (read_only_) {
    say("%s: read-only for you: the roster can be listed and looked up, but no change is saved in it", {path_});
    on_disk_ = before;
    saved_ = roster_to_csv(loaded);
    return 0;
  }
  switch (disk_.lock_file(path_, why)) {
    case files::lock_outcome::locked: break;
    case files::lock_outcome::busy:
      say("%s: in use by another roster program (%s); end that one first", {path_, why});
      status = exit_status::in_use;
      break;
    case files::lock_outcome::failed:
      say("%s: %s", {path_, why});
      status = exit_status::not_saved;
      break;
  }
  std::string now;
  files::read_outcome seen = status == 0 ? disk_.read_file(path_, now, why) : files::read_outcome::failed;
  if (seen != files::read_outcome::failed && now != before) {
    release_roster(loaded);
    loaded = read(now, status);
  }
  on_disk_.reset();
  if (seen == files::read_outcome::read) on_disk_ = now;
  if (status != 0) {
    release_roster(loaded);
    loaded = nullptr;
    return status;
  }
  // The file as this program would write it: an item that changes nothing
  // leaves it alone, in whatever form a spreadsheet saved it.
  saved_ = roster_to_csv(loaded);
  return 0;
}

void roster_store::item_done(int choice, const roster* current, const roster* replaced) {
  if (!can_change_roster(choice)) return;
  if (replaced != nullptr && replaced->next != nullptr) backups_.push_back(roster_to_csv(replaced));
  save(current);
}

int roster_store::menu_over(const roster* current) {
  if (read_only_ ? roster_to_csv(current) == saved_ : save(current)) return 0;
  say("%s: the last changes are not saved in it", {path_});
  return exit_status::not_saved;
}

// Writes `contents` to a backup name not taken yet: `name`, or false with `why`.
bool roster_store::keep_aside(const std::string& contents, std::string& name, std::string& why) {
  std::string stamp = disk_.time_stamp();
  // Within one second the names go on from the last one taken, so that
  // they never run out and each backup costs one try.
  if (stamp != backup_stamp_) backup_attempt_ = 0;
  backup_stamp_ = stamp;
  files::create_outcome made = files::create_outcome::taken;
  while (made == files::create_outcome::taken && backup_attempt_ < kMostBackupsASecond) {
    name = backup_path(stamp, ++backup_attempt_);
    made = disk_.create_file(name, contents, why, path_);
  }
  if (made == files::create_outcome::taken) why = console::message("every backup name is taken");
  return made == files::create_outcome::created;
}

// Keeps every replaced roster in a file of its own; until that is done the
// file itself, which may hold the only other copy, is not replaced.
bool roster_store::write_backups() {
  while (!backups_.empty()) {
    std::string name, why;
    if (!keep_aside(backups_.front(), name, why)) {
      say("%s: not saved, as the replaced roster could not be kept in %s (%s); trying again after the next change",
          {path_, name, why});
      return false;
    }
    say("the replaced roster is kept in %s", {name});
    backups_.erase(backups_.begin());
  }
  return true;
}

// What another program (a spreadsheet, an editor, a sync tool) saved in the
// file since this one read or saved it is kept beside it before the file is
// replaced: neither version is lost. The file system hands over what it
// replaces at the last moment. False, having said so, when it cannot be
// kept: the file is then left as it is.
bool roster_store::keep_what_another_program_saved(std::string_view replaced, std::string& kept_in) {
  if (on_disk_ && replaced == *on_disk_) return true;
  std::string why;
  if (keep_aside(std::string(replaced), kept_in, why)) return true;
  say("%s: not saved, as another program changed it and its version could not be kept in %s (%s); trying again after "
      "the next change",
      {path_, kept_in, why});
  return false;
}

bool roster_store::save(const roster* current) {
  if (!write_backups()) return false;
  std::string contents = roster_to_csv(current);
  if (contents == saved_) return true;
  // Made read-only since the start (by its owner, or root): never replaced.
  if (!read_only_ && !disk_.may_write(path_)) read_only_ = true;
  if (read_only_) {
    say("%s: not saved, as it is read-only for you", {path_});
    return false;
  }
  std::string kept_in, why;
  if (!disk_.still_locked(path_, why)) {
    say("%s: not saved, as %s", {path_, why});
    return false;
  }
  auto check = [&](std::string_view replaced) { return keep_what_another_program_saved(replaced, kept_in); };
  if (!disk_.replace_file(path_, contents, why, check)) {
    if (!why.empty()) say("%s: not saved (%s); the roster is kept and saved after the next change", {path_, why});
    return false;
  }
  if (!kept_in.empty()) {
    say("%s had been changed by another program: its version is kept in %s, and this roster is saved in %s",
        {path_, kept_in, path_});
  }
  saved_ = contents;
  on_disk_ = std::move(contents);
  return true;
}

// Beside the file, the name's stem, "-backup-" and the time, its extension
// kept so that a spreadsheet opens it: 二班.csv gives 二班-backup-20261208-233015.csv.
std::string roster_store::backup_path(const std::string& stamp, int attempt) const {
  std::size_t slash = path_.find_last_of("/\\");
  std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path_.rfind('.');
  if (dot == std::string::npos || dot <= name_start) dot = path_.size();
  std::string after = "-backup-" + stamp;
  if (attempt > 1) {
    after += '-';
    after += std::to_string(attempt);
  }
  after += path_.substr(dot);
  std::string_view stem = std::string_view(path_).substr(name_start, dot - name_start);
  return path_.substr(0, name_start) + files::fitting_stem("", stem, after) + after;
}
