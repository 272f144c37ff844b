// The file system of a POSIX machine.
//
// A save writes ".NAME.saving" beside the file, flushes it, renames it over
// the file and flushes the folder, so that the file is always whole: the old
// roster or the new one. The temporary name is fixed, so a save cut short by
// a kill leaves one stray file that the next save replaces; only the process
// holding the lock (".NAME.lock", held with flock) ever saves.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>

#include "console/console.h"
#include "files/file_names.h"
#include "files/file_system.h"
#include "files/lock_holder.h"

namespace files {
namespace {

std::string folder_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string name_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string beside(const std::string& path, const std::string& suffix) {
  return folder_of(path) + "/." + fitting_stem(".", name_of(path), suffix) + suffix;
}

// The file a path names once its symbolic links are followed, so that a
// save replaces the file behind a link and leaves the link alone. A link to
// nothing yet gives the file it will make.
std::string resolved(const std::string& path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    char target[PATH_MAX];
    ssize_t length = readlink(current.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return current;
    std::string link(target, static_cast<std::size_t>(length));
    current = link.front() == '/' ? link : folder_of(current) + "/" + link;
  }
  return current;
}

// `what` ("cannot ...: %s", translated here) with the system's reason.
bool failed(std::string& why, const char* what, int error) {
  why = console::message(what, {std::strerror(error)});
  return false;
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

// Flushes the folder, so that a rename in it outlives a power cut. Some file
// systems cannot flush a folder at all (EINVAL), and need not.
bool sync_folder(const std::string& folder, std::string& why) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failed(why, "cannot open the folder: %s", errno);
  bool synced = fsync(fd) == 0 || errno == EINVAL;
  int error = errno;
  close(fd);
  return synced || failed(why, "cannot flush the folder: %s", error);
}

// A file system without modes or hard links (FAT32, exFAT, some network
// and FUSE ones) refuses to set them in one of these ways.
bool cannot_hold_it(int error) {
  return error == EPERM || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// Writes `contents` to `fd`, flushed to the disk, and closes it.
bool write_and_close(int fd, std::string_view contents, std::string& why) {
  bool written = write_all(fd, contents, why) && (fsync(fd) == 0 || failed(why, "cannot flush: %s", errno));
  if (close(fd) != 0 && written) written = failed(why, "cannot close: %s", errno);
  return written;
}

// Writes `contents` to a fresh temporary file beside `target`, flushed to
// the disk, with `mode` where the file system keeps modes. Gives its name,
// or "" with `why`.
std::string write_temporary(const std::string& target, std::string_view contents, mode_t mode, std::string& why) {
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
  if (!moded) close(fd);
  if (!moded || !write_and_close(fd, contents, why)) {
    unlink(temporary.c_str());
    return "";
  }
  return temporary;
}

// Who holds a lock, as office programs keep it in theirs: the user, the
// machine and the time the program started, one a line.
void write_holder(int fd) {
  std::string user = std::to_string(geteuid());
  if (const struct passwd* entry = getpwuid(geteuid())) user = entry->pw_name;
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  std::time_t now = std::time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char started[32];
  std::strftime(started, sizeof started, "%Y-%m-%d %H:%M", &local);
  std::string holder = lock_holder_lines(user, host, started);
  if (ftruncate(fd, 0) == 0 && pwrite(fd, holder.data(), holder.size(), 0) == static_cast<ssize_t>(holder.size())) {
    fsync(fd);
  }
}

std::string holder_of(int fd) {
  char text[600];
  ssize_t n = pread(fd, text, sizeof text - 1, 0);
  std::string lines(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  return lock_holder_said(lines);
}

class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() {
    // Past a file size limit a write fails with EFBIG instead of killing the
    // process, so that a failed save can be said and tried again.
    std::signal(SIGXFSZ, SIG_IGN);
  }
  ~PosixFileSystem() override {
    if (lock_ >= 0) close(lock_);
  }
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;

  read_outcome read_file(const std::string& path, std::string& contents, std::string& why) override {
    // A device or a pipe is no roster, and a save would put a file in its
    // place: it is refused before it is opened (opening a pipe waits for a
    // writer; opening a device may do something), and again after, in case
    // one took the name meanwhile (opened without waiting).
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return not_a_file(info, why);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
      if (errno == ENOENT) return read_outcome::absent;
      failed(why, "cannot open: %s", errno);
      return read_outcome::failed;
    }
    if (fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
      close(fd);
      return not_a_file(info, why);
    }
    modes_[resolved(path)] = info.st_mode & 07777;
    contents.clear();
    char buffer[64 * 1024];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        int error = errno;
        close(fd);
        failed(why, "cannot read: %s", error);
        return read_outcome::failed;
      }
      if (n == 0) break;
      contents.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return read_outcome::read;
  }

  static read_outcome not_a_file(const struct stat& info, std::string& why) {
    if (S_ISDIR(info.st_mode)) {
      failed(why, "cannot read: %s", EISDIR);
    } else {
      why = console::message("cannot read: it is not a file but a device, a pipe or a socket");
    }
    return read_outcome::failed;
  }

  bool replace_file(const std::string& path, std::string_view contents, std::string& why) override {
    std::string target = resolved(path);
    struct stat info {};
    // A file another program deleted comes back with the mode it had.
    auto known = modes_.find(target);
    mode_t mode = stat(target.c_str(), &info) == 0 ? info.st_mode & 07777
                  : known != modes_.end()          ? known->second
                                                   : 0600;
    std::string temporary = write_temporary(target, contents, mode, why);
    if (temporary.empty()) return false;
    if (rename(temporary.c_str(), target.c_str()) != 0) {
      int error = errno;
      unlink(temporary.c_str());
      return failed(why, "cannot replace the file: %s", error);
    }
    modes_[target] = mode;
    return sync_folder(folder_of(target), why);
  }

  create_outcome create_file(const std::string& path, std::string_view contents, std::string& why) override {
    std::string temporary = write_temporary(path, contents, 0600, why);
    if (temporary.empty()) return create_outcome::failed;
    // A link, unlike a rename, never replaces a file already there.
    int linked = link(temporary.c_str(), path.c_str());
    int error = errno;
    unlink(temporary.c_str());
    if (linked != 0 && cannot_hold_it(error)) return create_in_place(path, contents, why);
    if (linked != 0) {
      if (error == EEXIST) return create_outcome::taken;
      failed(why, "cannot create: %s", error);
      return create_outcome::failed;
    }
    return sync_folder(folder_of(path), why) ? create_outcome::created : create_outcome::failed;
  }

  // Without links the new file is written under its own name, made only if
  // no file has it. A kill meanwhile can leave it short; it is a new file
  // (a backup), and the roster file is replaced only once it is whole.
  static create_outcome create_in_place(const std::string& path, std::string_view contents, std::string& why) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) return create_outcome::taken;
    if (fd < 0) {
      failed(why, "cannot create: %s", errno);
      return create_outcome::failed;
    }
    if (!write_and_close(fd, contents, why)) {
      unlink(path.c_str());
      return create_outcome::failed;
    }
    return sync_folder(folder_of(path), why) ? create_outcome::created : create_outcome::failed;
  }

  // A save replaces the file by a rename in its folder, so both must be
  // writable. A file without a single write bit was made read-only by its
  // owner, which counts for root too, whom the kernel would let write it. A
  // file system that cannot tell (ENOSYS) is taken at its word later.
  bool may_write(const std::string& path) override {
    std::string target = resolved(path);
    auto allowed = [](const std::string& name, int what) {
      return faccessat(AT_FDCWD, name.c_str(), what, AT_EACCESS) == 0 ||
             (errno != EACCES && errno != EROFS && errno != EPERM);
    };
    struct stat info {};
    if (stat(target.c_str(), &info) == 0 && ((info.st_mode & 0222) == 0 || !allowed(target, W_OK))) return false;
    return allowed(folder_of(target), W_OK | X_OK);
  }

  lock_outcome lock_file(const std::string& path, std::string& why) override {
    std::string target = resolved(path);
    std::string lock_path = beside(target, ".lock");
    // Whoever may write the file may use its lock: the lock file takes the
    // file's read and write bits (0660 in a group's folder). Another user's
    // lock file that cannot be written is still locked through a read-only
    // descriptor.
    struct stat info {};
    mode_t mode = stat(target.c_str(), &info) == 0 ? (info.st_mode & 0666) | 0600 : 0600;
    int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno == EACCES) fd = open(lock_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      failed(why, "cannot create the lock file: %s", errno);
      return lock_outcome::failed;
    }
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      int error = errno;
      if (error == EWOULDBLOCK) why = holder_of(fd);
      close(fd);
      if (error == EWOULDBLOCK) return lock_outcome::busy;
      failed(why, "cannot lock: %s", error);
      return lock_outcome::failed;
    }
    // The file's bits even where the umask took some; a lock whose mode
    // cannot be set still locks.
    if (fstat(fd, &info) == 0 && info.st_uid == geteuid() && fchmod(fd, mode) != 0) errno = 0;
    write_holder(fd);
    if (lock_ >= 0) close(lock_);
    lock_ = fd;  // held until the process ends
    lock_path_ = lock_path;
    return lock_outcome::locked;
  }

  bool still_locked(const std::string& path, std::string& why) override {
    struct stat held {}, named {};
    if (lock_ < 0 || fstat(lock_, &held) != 0) return true;
    if (lstat(lock_path_.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino) return true;
    switch (lock_file(path, why)) {
      case lock_outcome::locked: return true;
      case lock_outcome::busy:
        why = console::message("its lock file was removed, and another roster program has it now (%s)", {why});
        return false;
      case lock_outcome::failed: return true;  // the save itself says what is wrong there
    }
    return true;
  }

  std::string time_stamp() override {
    std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::size_t length = std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return std::string(text, length);
  }

 private:
  int lock_ = -1;
  std::string lock_path_;
  std::map<std::string, mode_t> modes_;  // each file's mode when last read or saved
};

}  // namespace

std::unique_ptr<FileSystem> make_system_file_system() { return std::make_unique<PosixFileSystem>(); }

std::vector<std::string> command_line(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace files
