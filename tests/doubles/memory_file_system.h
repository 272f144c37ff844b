// An in-memory file system for tests: files in a map, and saves that can
// be made to fail.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

#include "files/file_system.h"

namespace files {

class MemoryFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::string fail_saves_with;    // when set, every replace and create fails, saying this
  std::string fail_creates_with;  // the same for creates alone
  std::string stamp = "20261208-233015";
  std::string user = "teacher";
  std::string fail_folders_with;     // when set, make_folder fails, saying this
  bool keeps_by_rename = true;       // a save keeps what it replaces where asked
  std::set<std::string> read_only;  // paths this user may not write
  int saves = 0;  // replace_file calls that succeeded
  std::function<void()> when_locked;  // another program's doing as the lock is taken

  read_outcome read_file(const std::string& path, std::string& contents, std::string& why) override;
  bool replace_file(const std::string& path, std::string_view contents, std::string& why,
                    const replaced_check& check = {}, replaced_keeping* keep = nullptr) override;
  restore_outcome restore_cut_short_save(const std::string&, std::string&, const left_over_keeper&) override {
    return restore_outcome::nothing;
  }
  create_outcome create_file(const std::string& path, std::string_view contents, std::string& why,
                             const std::string& like, bool writable_like) override;
  bool make_folder(const std::string& path, const std::string&, std::string& why) override;
  bool remove_file(const std::string& path, std::string& why) override;
  bool may_write(const std::string& path) override { return read_only.count(path) == 0; }
  lock_outcome lock_file(const std::string& path, std::string& why) override;
  bool still_locked(const std::string&, std::string&) override { return true; }
  std::string time_stamp() override { return stamp; }
  std::string user_name() override { return user; }
};

}  // namespace files
