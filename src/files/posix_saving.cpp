// A save by rename keeps a file whole, but gives it a new inode: the saver's
// owner and group, no access list, and a name split from its hard links.
// Where that would change the file, it is written in place instead, as
// editors do, with a copy of what it held kept aside until the write is
// whole (as a rollback journal: the copy's first line names the new
// contents, so that a kill after the write but before the copy's removal
// keeps the new version).
#include "files/posix_saving.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "files/file_names.h"

namespace files::posix {
namespace {

constexpr char kAccessList[] = "system.posix_acl_access";
constexpr std::string_view kCopyMark = "roster: a copy kept while saving in place, of ";

std::string name_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first line of the copy: which contents the write in place puts there.
std::string copy_header(std::string_view contents) {
  char line[96];
  std::snprintf(line, sizeof line, "%016" PRIx64 " %zu\n", fingerprint(contents), contents.size());
  return std::string(kCopyMark) + line;
}

bool read_whole(const std::string& path, std::string& contents) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  return fd >= 0 && read_all(fd, contents);
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
  bool moded = fchmod(fd, mode) == 0 || cannot_hold_it(errno) || failed(why, "cannot set the file's mode: %s", errno);
  if (moded && like != nullptr) {
    // The file's group and access list go to the new file, or the save
    // goes in place: a group this user is not in cannot be given.
    struct stat made {};
    bool same = fstat(fd, &made) == 0 && made.st_gid == like->st_gid;
    if (!same && fchown(fd, static_cast<uid_t>(-1), like->st_gid) != 0) *kept = false;
    if (made.st_uid != like->st_uid && fchown(fd, like->st_uid, static_cast<gid_t>(-1)) != 0) *kept = false;
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

bool write_in_place(const std::string& target, std::string_view contents, std::string& why) {
  std::string old;
  if (!read_whole(target, old)) return failed(why, "cannot read: %s", errno);
  // The copy is made whole under a temporary name, then named: a kill
  // before that leaves the file as it was and no copy.
  std::string copy = beside(target, ".kept");
  struct stat info {};
  mode_t mode = stat(target.c_str(), &info) == 0 ? info.st_mode & 0666 : 0600;
  std::string temporary = write_temporary(copy, copy_header(contents) + old, mode, why);
  if (temporary.empty()) return false;
  if (rename(temporary.c_str(), copy.c_str()) != 0) {
    int error = errno;
    unlink(temporary.c_str());
    return failed(why, "cannot create a temporary file: %s", error);
  }
  if (!sync_folder(folder_of(target), why)) return false;
  if (!overwrite(target, contents, why)) {
    std::string ignored;
    if (overwrite(target, old, ignored)) unlink(copy.c_str());  // put back at once where it can be
    return false;
  }
  unlink(copy.c_str());
  return sync_folder(folder_of(target), why);
}

restore_outcome restore_cut_short_save(const std::string& target, std::string& why) {
  std::string copy = beside(target, ".kept"), kept;
  if (!read_whole(copy, kept)) return restore_outcome::nothing;
  std::size_t line_end = kept.find('\n');
  if (kept.compare(0, kCopyMark.size(), kCopyMark) != 0 || line_end == std::string::npos) {
    return restore_outcome::nothing;  // not a copy of this program's
  }
  std::string header = kept.substr(0, line_end + 1);
  std::string old = kept.substr(line_end + 1);
  std::string now;
  bool whole = read_whole(target, now) && header == copy_header(now);
  if (!whole && !overwrite(target, old, why)) return restore_outcome::failed;
  unlink(copy.c_str());
  sync_folder(folder_of(target), why);
  return whole ? restore_outcome::nothing : restore_outcome::restored;
}

}  // namespace files::posix
