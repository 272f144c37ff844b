#include "memory_file_system.h"

namespace files {

read_outcome MemoryFileSystem::read_file(const std::string& path, std::string& contents, std::string&) {
  auto found = files.find(path);
  if (found == files.end()) return read_outcome::absent;
  contents = found->second;
  return read_outcome::read;
}

bool MemoryFileSystem::replace_file(const std::string& path, std::string_view contents, std::string& why,
                                    const replaced_check& check, replaced_keeping* keep) {
  if (!fail_saves_with.empty()) {
    why = fail_saves_with;
    return false;
  }
  auto found = files.find(path);
  if (check && found != files.end() && !check(found->second)) {
    why.clear();
    return false;
  }
  if (keep != nullptr && keeps_by_rename && !keep->as.empty() && found != files.end() &&
      files.count(keep->as) == 0) {
    files[keep->as] = found->second;
    keep->kept = true;
  }
  files[path] = contents;
  ++saves;
  return true;
}

bool MemoryFileSystem::make_folder(const std::string&, const std::string&, std::string& why) {
  why = fail_folders_with;
  return why.empty();  // files need no folder here
}

bool MemoryFileSystem::remove_file(const std::string& path, std::string&) {
  files.erase(path);
  return true;
}

create_outcome MemoryFileSystem::create_file(const std::string& path, std::string_view contents, std::string& why,
                                             const std::string&, bool) {
  if (!fail_saves_with.empty() || !fail_creates_with.empty()) {
    why = fail_saves_with.empty() ? fail_creates_with : fail_saves_with;
    return create_outcome::failed;
  }
  return files.emplace(path, contents).second ? create_outcome::created : create_outcome::taken;
}

lock_outcome MemoryFileSystem::lock_file(const std::string&, std::string&) {
  if (when_locked) when_locked();
  return lock_outcome::locked;
}

}  // namespace files
