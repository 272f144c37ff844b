// A save by rename keeps a file whole, but gives it a new inode: the saver's
// owner and group, no access list, and a name split from its hard links.
// Where that would change the file, it is written in place instead, as
// editors do, with a copy of what it held kept aside until the write is
// whole (a rollback journal, posix_journal.h: it is put back only over a
// write it cut short, so that a kill after the write but before the copy's
// removal keeps the new version).
#include "files/posix_saving.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>

#include "console/console.h"
#include "files/file_names.h"
#include "files/posix_journal.h"

namespace files::posix {
namespace {

constexpr char kAccessList[] = "system.posix_acl_access";

std::string name_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Puts `contents` into the file itself: written from its start, cut to
// length, flushed.
bool overwrite(const std::string& target, std::string_view contents, std::string& why) {
  int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return failed(why, "cannot open: %s", errno);
  if (ftruncate(fd, 0) != 0) {
    int error = errno;
    close(fd);
    return failed(why, "cannot write: %s", error);
  }
  return write_and_close(fd, contents, why);
}

}  // namespace

bool failed(std::string& why, const char* what, int error) {
  why = console::message(what, {std::strerror(error)});
  return false;
}

bool cannot_hold_it(int error) {
  return error == EPERM || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string beside(const std::string& path, const std::string& suffix) {
  return folder_of(path) + "/." + fitting_stem(".", name_of(path), suffix) + suffix;
}

bool read_regular(const std::string& path, std::string& contents) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
    close(fd);
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  return fd >= 0 && read_all(fd, contents);
}

bool read_all(int fd, std::string& contents) {
  contents.clear();
  char buffer[64 * 1024];
  ssize_t n = 0;
  while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) contents.append(buffer, static_cast<std::size_t>(n));
  }
  int error = errno;
  close(fd);
  errno = error;
  return n == 0;
}

bool write_all(int fd, std::string_view bytes, std::string& why) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return failed(why, "cannot write: %s", n < 0 ? errno : ENOSPC);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool write_and_close(int fd, std::string_view contents, std::string& why) {
  bool written = write_all(fd, contents, why) && (fsync(fd) == 0 || failed(why, "cannot flush: %s", errno));
  if (close(fd) != 0 && written) written = failed(why, "cannot close: %s", errno);
  return written;
}

// Some file systems cannot flush a folder at all (EINVAL), and need not.
bool sync_folder(const std::string& folder, std::string& why) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failed(why, "cannot open the folder: %s", errno);
  bool synced = fsync(fd) == 0 || errno == EINVAL;
  int error = errno;
  close(fd);
  return synced || failed(why, "cannot flush the folder: %s", error);
}

std::string write_temporary(const std::string& target, std::string_view contents, mode_t mode, std::string& why,
                            const struct stat* like, bool* kept) {
  std::string temporary = beside(target, ".saving");
  if (unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    failed(why, "cannot remove an old temporary file: %s", errno);
    return "";
  }
  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    failed(why, "cannot create a temporary file: %s", errno);
    return "";
  }
  bool grouped = true;
  if (like != nullptr) {
    // The file's group and access list go to the new file, or the save
    // goes in place: a group this user is not in cannot be given. The group
    // comes before the mode, so that no other group ever may read it.
    struct stat made {};
    bool same = fstat(fd, &made) == 0 && made.st_gid == like->st_gid;
    if (!same && fchown(fd, static_cast<uid_t>(-1), like->st_gid) != 0) *kept = grouped = false;
    if (made.st_uid != like->st_uid && fchown(fd, like->st_uid, static_cast<gid_t>(-1)) != 0) *kept = false;
  }
  bool moded = fchmod(fd, grouped ? mode : mode & 0700) == 0 || cannot_hold_it(errno) ||
               failed(why, "cannot set the file's mode: %s", errno);
  if (moded && like != nullptr) {
    char list[4096];
    ssize_t length = lgetxattr(target.c_str(), kAccessList, list, sizeof list);
    if (length > 0 && fsetxattr(fd, kAccessList, list, static_cast<std::size_t>(length), 0) != 0) *kept = false;
    if (length < 0 && errno == ERANGE) *kept = false;  // a list longer than this buffer
  }
  if (!moded) close(fd);
  if (!moded || !write_and_close(fd, contents, why)) {
    unlink(temporary.c_str());
    return "";
  }
  return temporary;
}

bool write_in_place(const std::string& target, std::string_view contents, std::string& why,
                    const replaced_check& check) {
  journal j;
  struct stat info {};
  if (stat(target.c_str(), &info) != 0 || !read_regular(target, j.before)) return failed(why, "cannot read: %s", errno);
  // What stands in the file now is what the write replaces: another
  // program's version is kept (or the save refused) at the last moment.
  if (check && !check(j.before)) {
    why.clear();
    return false;
  }
  j.name = name_of(target);
  j.after = contents;
  j.inode = info.st_ino;
  std::string copy = journal_path(folder_of(target), info.st_ino);
  int kept = write_journal(copy, j, info, why);
  if (kept < 0) return false;
  if (!sync_folder(folder_of(target), why)) {
    commit_journal(copy, kept);
    return false;
  }
  if (!overwrite(target, contents, why)) {
    std::string ignored;
    if (overwrite(target, j.before, ignored)) {
      commit_journal(copy, kept);  // put back at once where it can be
    } else {
      close(kept);
    }
    return false;
  }
  commit_journal(copy, kept);
  return sync_folder(folder_of(target), why);
}

restore_outcome restore_cut_short_save(const std::string& target, std::string& why, const left_over_keeper& keep) {
  std::string folder = folder_of(target), name = name_of(target);
  struct stat file {};
  bool exists = stat(target.c_str(), &file) == 0 && S_ISREG(file.st_mode);
  if (!exists) {  // whose copies are trusted: this user's own, or root's
    file = {};
    file.st_uid = geteuid();
    file.st_mode = 0600;
  }
  restore_outcome outcome = restore_outcome::nothing;
  // A copy made through this name for a file that is no longer in the
  // folder (deleted, or replaced by another program since) holds its last
  // whole version: kept where a person finds it, then done with.
  std::set<ino_t> here;
  if (DIR* entries = opendir(folder.c_str())) {
    while (const struct dirent* entry = readdir(entries)) here.insert(entry->d_ino);
    closedir(entries);
  }
  for_each_journal(folder, [&](const std::string& path, ino_t inode) {
    journal left;
    std::string ignored;
    if ((exists && inode == file.st_ino) || here.count(inode) != 0) return;
    if (read_journal(path, file, left, ignored) == journal_found::whole && left.name == name && keep(left.before)) {
      commit_journal(path);
    }
  });
  if (!exists) return outcome;
  journal j;
  std::string copy = journal_path(folder, file.st_ino);
  switch (read_journal(copy, file, j, why)) {
    case journal_found::none: return outcome;
    case journal_found::untrusted: return restore_outcome::ignored;
    case journal_found::whole: break;
  }
  std::string now;
  if (!read_regular(target, now)) {
    failed(why, "cannot read: %s", errno);
    return restore_outcome::failed;
  }
  if (cut_short(j, now)) {
    if (!overwrite(target, j.before, why)) return restore_outcome::failed;
    outcome = restore_outcome::restored;
  }
  // Put back, or a whole version stands there: either way it is done with.
  commit_journal(copy);
  sync_folder(folder, why);
  return outcome;
}

}  // namespace files::posix
