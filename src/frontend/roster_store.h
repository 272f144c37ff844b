// The roster file behind a session: locked and read before the password
// gate, saved after every menu item that can change the roster, and once
// more at the end if a save failed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "frontend/menu.h"
#include "roster/roster.h"

// Exit statuses of a session with a roster file (sysexits' numbers).
namespace exit_status {
inline constexpr int misuse = 2;       // an unknown option, or more than one file
inline constexpr int bad_file = 65;    // the file is no roster: EX_DATAERR
inline constexpr int unreadable = 66;  // the file cannot be read: EX_NOINPUT
inline constexpr int not_saved = 73;   // the roster could not be saved: EX_CANTCREAT
inline constexpr int in_use = 75;      // another program has the file: EX_TEMPFAIL
}  // namespace exit_status

class roster_store final : public menu_listener {
 public:
  roster_store(files::FileSystem& disk, std::string path);

  // Locks the file and reads its roster into `loaded` (an empty one for a
  // file not there yet). Otherwise says why on standard error, in one line,
  // and gives the exit status; `loaded` is then nullptr.
  int open(roster*& loaded);

  // Saves after items 1, 3, 4, 5 and 7. When item 1 replaced a roster that
  // held records, that roster is first kept in a backup beside the file.
  void item_done(int choice, const roster* current, const roster* replaced) override;

  // Saves what a failed save left unsaved; not_saved if it fails again.
  int menu_over(const roster* current) override;

 private:
  roster* read(std::string& contents, int& status);
  bool save(const roster* current);
  bool write_backups();
  bool keep_aside(const std::string& contents, std::string& name, std::string& why);
  bool keep_what_another_program_saved(std::string_view replaced, std::string& kept_in);
  std::string backup_path(const std::string& stamp, int attempt) const;

  files::FileSystem& disk_;
  std::string path_;
  std::string saved_;                 // the roster as last read or saved, as this program writes it
  std::optional<std::string> on_disk_;  // the file's bytes as last read or saved; none before it exists
  std::vector<std::string> backups_;  // replaced rosters not yet kept in a backup
  bool read_only_ = false;             // this user may not write the file: it is never saved
  std::string backup_stamp_;          // the second of the last backup's name
  int backup_attempt_ = 0;            // and its number within that second
};
