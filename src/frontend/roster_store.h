// The roster file behind a session: locked and read before the password
// gate, saved after every menu item that can change the roster, and once
// more at the end if a save failed.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "frontend/menu.h"
#include "frontend/version_history.h"
#include "roster/roster.h"

// Exit statuses of a session with a roster file (sysexits' numbers).
namespace exit_status {
inline constexpr int misuse = 2;       // an unknown option, or more than one file
inline constexpr int bad_file = 65;    // the file is no roster: EX_DATAERR
inline constexpr int unreadable = 66;  // the file cannot be read: EX_NOINPUT
inline constexpr int not_saved = 73;   // the roster could not be saved: EX_CANTCREAT
inline constexpr int in_use = 75;      // another program has the file: EX_TEMPFAIL
}  // namespace exit_status

// One line on standard error: "roster: " and the message in the reader's language.
void say(const char* english, std::initializer_list<std::string_view> values = {});

class roster_store final : public menu_listener {
 public:
  roster_store(files::FileSystem& disk, std::string path);

  // Locks the file and reads its roster into `loaded` (an empty one for a
  // file not there yet). Otherwise says why on standard error, in one line,
  // and gives the exit status; `loaded` is then nullptr.
  int open(roster*& loaded);

  // Saves after items 1, 3, 4, 5 and 7, the file it replaces kept as a
  // version that says what changed. A roster item 1 replaced before it was
  // ever saved is kept as a version first.
  void item_done(int choice, const roster* current, const roster* replaced) override;

  // Saves what a failed save left unsaved; not_saved if it fails again.
  int menu_over(const roster* current) override;

  // Saves `current` as the change `made` (a restore): false, having said
  // why, where it is not saved.
  bool save_change(const roster* current, versions::entry made);

  // Makes the versions folder and reads its index, once; false, said, where
  // it cannot be.
  bool open_history();

  // The file's bytes as last read or saved; none where there is no file.
  const std::optional<std::string>& on_disk() const { return on_disk_; }

  // The versions as the index has them, oldest first, after open_history().
  const std::vector<versions::entry>& history() const { return history_; }
  const std::string& versions_folder() const { return folder_; }

 private:
  roster* read(std::string& contents, int& status);
  bool save(const roster* current, std::string contents = {});  // contents: `current` written, when at hand
  bool write_backups();
  std::string free_version_path(const std::string& time) const;
  bool keep_version(versions::entry version, std::string_view contents, std::string& name, std::string& why);
  bool keep_what_another_program_saved(std::string_view replaced, std::string& kept_in);
  void keep_replaced(const std::string& replaced, const files::replaced_keeping& keep, std::size_t replaced_entry);
  void record_save(versions::entry made);
  void write_history();

  files::FileSystem& disk_;
  std::string path_;
  std::string folder_;                      // where its versions are kept
  std::vector<versions::entry> history_;    // the index, as read at the start and kept since
  bool history_open_ = false;               // the folder is there and the index read
  bool index_there_ = false;                // the index exists as a file (it is replaced, not made)
  bool history_failed_said_ = false;        // a folder that cannot be made is said once
  bool history_trouble_said_ = false;       // this save said already that its version is not kept
  versions::entry pending_;                 // the change the next save saves
  std::string saved_;                 // the roster as last read or saved, as this program writes it
  std::optional<std::string> on_disk_;  // the file's bytes as last read or saved; none before it exists
  std::vector<std::string> backups_;  // replaced rosters never saved, not yet kept as versions
  bool read_only_ = false;             // this user may not write the file: it is never saved
  bool say_replaced_kept_ = false;     // item 1 replaced a roster: say where it is kept
};
