#include "frontend/roster_store.h"

#include "console/console.h"
#include "roster/roster_csv.h"

namespace {

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
      console::report("roster: " + console::message("%s: %s", {path_, why}));
      status = exit_status::unreadable;
      return nullptr;
  }
  loaded_roster file = roster_from_csv(contents);
  if (file.list == nullptr) {
    std::string line = std::to_string(file.problem.line);
    std::string title = csv_column_title(file.problem.field);
    std::string column = title.empty() ? console::message("beyond the last column") : console::platform_text(title);
    if (file.problem.field == 0) {
      console::report("roster: " + console::message("%s: line %s: %s", {path_, line, file.problem.what}));
    } else {
      console::report("roster: " + console::message("%s: line %s, field %s (%s): %s",
                                                    {path_, line, std::to_string(file.problem.field), column,
                                                     file.problem.what}));
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
  std::string before;
  loaded = read(before, status);
  if (loaded == nullptr) return status;
  std::string why;
  switch (disk_.lock_file(path_, why)) {
    case files::lock_outcome::locked: break;
    case files::lock_outcome::busy:
      console::report("roster: " + console::message("%s: in use by another roster program; end that one first", {path_}));
      status = exit_status::in_use;
      break;
    case files::lock_outcome::failed:
      console::report("roster: " + console::message("%s: %s", {path_, why}));
      status = exit_status::not_saved;
      break;
  }
  std::string now;
  if (status == 0 && disk_.read_file(path_, now, why) != files::read_outcome::failed && now != before) {
    release_roster(loaded);
    loaded = read(now, status);
  }
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
  if (save(current)) return 0;
  console::report("roster: " + console::message("%s: the last changes are not saved in it", {path_}));
  return exit_status::not_saved;
}

// Keeps every replaced roster in a file of its own; until that is done the
// file itself, which may hold the only other copy, is not replaced.
bool roster_store::write_backups() {
  while (!backups_.empty()) {
    std::string stamp = disk_.time_stamp();
    std::string why;
    std::string name;
    files::create_outcome made = files::create_outcome::taken;
    for (int attempt = 1; attempt <= 100 && made == files::create_outcome::taken; ++attempt) {
      name = backup_path(stamp, attempt);
      made = disk_.create_file(name, backups_.front(), why);
    }
    if (made != files::create_outcome::created) {
      if (made == files::create_outcome::taken) why = console::message("every backup name is taken");
      console::report("roster: " + console::message("%s: not saved, as the replaced roster could not be kept in %s "
                                                    "(%s); trying again after the next change",
                                                    {path_, name, why}));
      return false;
    }
    console::report("roster: " + console::message("the replaced roster is kept in %s", {name}));
    backups_.erase(backups_.begin());
  }
  return true;
}

bool roster_store::save(const roster* current) {
  if (!write_backups()) return false;
  std::string contents = roster_to_csv(current);
  if (contents == saved_) return true;
  std::string why;
  if (!disk_.replace_file(path_, contents, why)) {
    console::report("roster: " + console::message("%s: not saved (%s); the roster is kept and saved after the next change",
                                                  {path_, why}));
    return false;
  }
  saved_ = std::move(contents);
  return true;
}

// Beside the file, the name's stem, "-backup-" and the time, its extension
// kept so that a spreadsheet opens it: 二班.csv gives 二班-backup-20261208-233015.csv.
std::string roster_store::backup_path(const std::string& stamp, int attempt) const {
  std::size_t slash = path_.find_last_of("/\\");
  std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = path_.rfind('.');
  if (dot == std::string::npos || dot <= name_start) dot = path_.size();
  std::string name = path_.substr(0, dot) + "-backup-" + stamp;
  if (attempt > 1) {
    name += '-';
    name += std::to_string(attempt);
  }
  return name + path_.substr(dot);
}
