#include "frontend/roster_store.h"

#include <algorithm>

#include "console/console.h"
#include "files/file_names.h"
#include "roster/roster_csv.h"

namespace {

// More versions in one second than any session makes.
constexpr int kMostVersionsASecond = 1000000;

bool can_change_roster(int choice) {
  return choice == 1 || choice == 3 || choice == 4 || choice == 5 || choice == 7;
}

}  // namespace

void say(const char* english, std::initializer_list<std::string_view> values) {
  console::report("roster: " + console::message(english, values));
}

roster_store::roster_store(files::FileSystem& disk, std::string path)
    : disk_(disk), path_(std::move(path)), folder_(versions::folder_of(path_)) {}

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
    versions::entry left_over;
    left_over.made_by = versions::change::found;
    if (!open_history() || !keep_version(left_over, contents, name, not_kept)) return false;
    write_history();
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
  std::string now = roster_to_csv(current);
  if (replaced != nullptr && replaced->next != nullptr) {
    std::string before = roster_to_csv(replaced);
    if (before != saved_) backups_.push_back(std::move(before));
    say_replaced_kept_ = true;
  }
  pending_ = versions::entry{};
  versions::describe_change(choice, saved_, now, pending_);
  save(current, std::move(now));
}

int roster_store::menu_over(const roster* current) {
  if (read_only_ ? roster_to_csv(current) == saved_ : save(current)) return 0;
  say("%s: the last changes are not saved in it", {path_});
  return exit_status::not_saved;
}

bool roster_store::save_change(const roster* current, versions::entry made) {
  pending_ = std::move(made);
  return save(current);
}

// The versions folder made and the index read, once a session; false,
// said once, where it cannot be: the roster is then saved without them.
bool roster_store::open_history() {
  if (history_open_) return true;
  std::string why, text;
  bool made = disk_.make_folder(folder_, path_, why);
  files::read_outcome read = made ? disk_.read_file(versions::index_of(folder_), text, why) : files::read_outcome::failed;
  if (read == files::read_outcome::failed) {
    if (!history_failed_said_) say("%s: earlier versions cannot be kept in %s (%s)", {path_, folder_, why});
    history_failed_said_ = true;
    return false;
  }
  history_ = versions::parse_index(text);
  index_there_ = read == files::read_outcome::read;
  history_open_ = true;
  return true;
}

// Writes `contents` to a version file not taken yet and adds `version` for
// it to the history: `name` is its path, or false with `why`.
bool roster_store::keep_version(versions::entry version, std::string_view contents, std::string& name,
                                std::string& why) {
  if (version.time.empty()) version.time = disk_.time_stamp();
  files::create_outcome made = files::create_outcome::taken;
  for (int attempt = 1; made == files::create_outcome::taken && attempt < kMostVersionsASecond; ++attempt) {
    version.file = versions::version_file_name(version.time, attempt);
    name = folder_ + "/" + version.file;
    made = disk_.create_file(name, contents, why, path_);
  }
  if (made == files::create_outcome::taken) why = console::message("every version name is taken");
  if (made != files::create_outcome::created) return false;
  version.bytes = contents.size();
  version.fingerprint = files::fingerprint(contents);
  history_.push_back(std::move(version));
  return true;
}

// A version file's path under `time` that no version in the history has.
std::string roster_store::free_version_path(const std::string& time) const {
  for (int attempt = 1;; ++attempt) {
    std::string file = versions::version_file_name(time, attempt);
    auto same = [&](const versions::entry& e) { return e.file == file; };
    if (std::none_of(history_.begin(), history_.end(), same)) return folder_ + "/" + file;
  }
}

// Keeps every replaced roster never saved as a version of its own; until
// that is done the file, which may hold the only other copy, is not
// replaced.
bool roster_store::write_backups() {
  while (!backups_.empty()) {
    std::string name, why;
    versions::entry unsaved;
    unsaved.made_by = versions::change::unsaved;
    unsaved.students = versions::students_in(backups_.front());
    if (!open_history() || !keep_version(unsaved, backups_.front(), name, why)) {
      if (why.empty()) why = console::message("no versions folder");
      say("%s: not saved, as the replaced roster could not be kept in %s (%s); trying again after the next change",
          {path_, folder_, why});
      return false;
    }
    say("the replaced roster is kept in %s", {name});
    backups_.erase(backups_.begin());
    say_replaced_kept_ = false;
  }
  return true;
}

// What another program (a spreadsheet, an editor, a sync tool) saved in the
// file since this one read or saved it is kept as a version before the file
// is replaced: neither version is lost. The file system hands over what it
// replaces at the last moment. False, having said so, when it cannot be
// kept: the file is then left as it is.
bool roster_store::keep_what_another_program_saved(std::string_view replaced, std::string& kept_in) {
  std::string why;
  versions::entry theirs;
  theirs.made_by = versions::change::other_program;
  theirs.students = versions::students_in(replaced);
  if (open_history() && keep_version(theirs, replaced, kept_in, why)) return true;
  if (why.empty()) why = console::message("no versions folder");
  say("%s: not saved, as another program changed it and its version could not be kept in %s (%s); trying again after "
      "the next change",
      {path_, folder_, why});
  return false;
}

bool roster_store::save(const roster* current, std::string contents) {
  if (!write_backups()) return false;
  if (contents.empty()) contents = roster_to_csv(current);
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
  // The file as it stands is kept as a version under the time it was saved,
  // by the save itself where the file system can (no copy).
  files::replaced_keeping keep;
  std::size_t replaced_entry = history_.size();
  bool versioned = open_history();
  if (on_disk_ && versioned) {
    // The entry its own save recorded, where the file is still that.
    std::uint64_t print = files::fingerprint(*on_disk_);
    auto recorded = std::find_if(history_.begin(), history_.end(),
                                 [&](const versions::entry& e) { return e.file.empty() && e.fingerprint == print; });
    replaced_entry = static_cast<std::size_t>(recorded - history_.begin());
    keep.as = free_version_path(recorded != history_.end() ? recorded->time : disk_.time_stamp());
  }
  auto check = [&](std::string_view replaced) {
    if (on_disk_ && replaced == *on_disk_) return true;
    keep.as.clear();  // theirs is kept instead, and ours is no longer there to keep
    return keep_what_another_program_saved(replaced, kept_in);
  };
  if (!disk_.replace_file(path_, contents, why, check, &keep)) {
    if (!why.empty()) say("%s: not saved (%s); the roster is kept and saved after the next change", {path_, why});
    return false;
  }
  if (!kept_in.empty()) {
    say("%s had been changed by another program: its version is kept in %s, and this roster is saved in %s",
        {path_, kept_in, path_});
  }
  versions::entry made = std::move(pending_);
  pending_ = versions::entry{};
  made.time = disk_.time_stamp();
  made.user = disk_.user_name();
  made.students = 0;
  for (const student* record = current->next; record != nullptr; record = record->next) ++made.students;
  made.bytes = contents.size();
  made.fingerprint = files::fingerprint(contents);
  saved_ = contents;
  std::optional<std::string> replaced = std::move(on_disk_);
  on_disk_ = std::move(contents);
  if (history_open_) {
    if (replaced && !keep.as.empty()) keep_replaced(*replaced, keep, replaced_entry);
    say_replaced_kept_ = false;
    record_save(std::move(made));
  }
  return true;
}

// The file this save replaced, kept as a version: by the save itself, or
// here from the bytes in hand. Its entry is the one its own save recorded,
// or, where none did, one that says it was found so.
void roster_store::keep_replaced(const std::string& replaced, const files::replaced_keeping& keep,
                                 std::size_t replaced_entry) {
  versions::entry old;
  if (replaced_entry < history_.size()) {
    old = history_[replaced_entry];
    history_.erase(history_.begin() + static_cast<std::ptrdiff_t>(replaced_entry));
  } else {
    // Saved by a program that keeps no history: another one where this one
    // kept some, else before it did.
    old.made_by = history_.empty() ? versions::change::found : versions::change::other_program;
    old.time = disk_.time_stamp();
    old.students = versions::students_in(replaced);
  }
  std::string name = keep.as, why;
  bool kept = keep.kept;
  if (kept) {
    old.file = keep.as.substr(folder_.size() + 1);
    old.bytes = replaced.size();
    old.fingerprint = files::fingerprint(replaced);
    history_.push_back(std::move(old));
  } else if (!keep_version(old, replaced, name, why)) {
    say("%s: saved, but the version it replaced could not be kept in %s (%s)", {path_, folder_, why});
    history_trouble_said_ = true;
  } else {
    kept = true;
  }
  if (kept && say_replaced_kept_) say("the replaced roster is kept in %s", {name});
}

// The history after a save: no entry any more for what the file no longer
// holds, the new one as the file itself, thinned, and written.
void roster_store::record_save(versions::entry made) {
  std::erase_if(history_, [](const versions::entry& e) { return e.file.empty(); });
  history_.push_back(std::move(made));
  std::vector<std::size_t> gone = versions::to_thin(history_, disk_.time_stamp(), history_.back().bytes,
                                                    history_.size() - 1);
  for (std::size_t k = gone.size(); k-- > 0;) {
    std::string why;
    auto at = history_.begin() + static_cast<std::ptrdiff_t>(gone[k]);
    if (disk_.remove_file(folder_ + "/" + at->file, why)) history_.erase(at);
  }
  write_history();
}

void roster_store::write_history() {
  std::string text = versions::format_index(history_), why;
  std::string index = versions::index_of(folder_);
  bool written = index_there_ ? disk_.replace_file(index, text, why)
                              : disk_.create_file(index, text, why, path_, true) == files::create_outcome::created;
  if (written) {
    index_there_ = true;
  } else if (!history_trouble_said_) {  // one line a save: a full disk fails both
    say("%s: saved, but the list of its versions could not be written (%s)", {path_, why});
  }
  history_trouble_said_ = false;
}
