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
#include "files/posix_journal.h"
#include "files/posix_saving.h"

namespace files {
namespace {

// A read that another write overlapped is tried again, a moment later.
constexpr int kReadAttempts = 50;
constexpr useconds_t kReadRetryUs = 20'000;

using posix::beside;
using posix::cannot_hold_it;
using posix::failed;
using posix::folder_of;
using posix::sync_folder;
using posix::write_and_close;
using posix::write_in_place;
using posix::write_temporary;

// A link the kernel's own rule for sticky world-writable folders (such as
// /tmp, or a shared drop folder) would not follow: one in such a folder that
// belongs neither to this user nor to the folder's owner, who may have made
// it point anywhere.
bool planted(const std::string& link, const struct stat& info) {
  struct stat folder {};
  if (stat(folder_of(link).c_str(), &folder) != 0) return false;
  bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return shared && info.st_uid != geteuid() && info.st_uid != folder.st_uid;
}

// The file a path names once its symbolic links are followed, so that a
// save replaces the file behind a link and leaves the link alone. A link to
// nothing yet gives the file it will make. A planted link is not followed:
// `trusted` is then false.
std::string resolved(const std::string& path, bool* trusted = nullptr) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    if (planted(current, info)) {
      if (trusted != nullptr) *trusted = false;
      return current;
    }
    char target[PATH_MAX];
    ssize_t length = readlink(current.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return current;
    std::string link(target, static_cast<std::size_t>(length));
    current = link.front() == '/' ? link : folder_of(current) + "/" + link;
  }
  return current;
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
    if (file_lock_ >= 0) close(file_lock_);
  }
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;

  read_outcome read_file(const std::string& path, std::string& contents, std::string& why) override {
    bool trusted = true;
    const std::string& target = target_of(path, &trusted);
    if (!trusted) {
      why = console::message("cannot read: it is a link another user made in a shared folder, which is not followed");
      return read_outcome::failed;
    }
    // A device or a pipe is no roster, and a save would put a file in its
    // place: it is refused before it is opened (opening a pipe waits for a
    // writer; opening a device may do something), and again after, in case
    // one took the name meanwhile (opened without waiting). A link that
    // took the file's name since the start is not followed (ELOOP): the
    // save replaces it, and nothing it points to.
    struct stat info {};
    if (lstat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
      return not_a_file(info, why);
    }
    int fd = open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
      if (errno == ENOENT || errno == ELOOP) return read_outcome::absent;
      failed(why, "cannot open: %s", errno);
      return read_outcome::failed;
    }
    if (fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) {
      close(fd);
      return not_a_file(info, why);
    }
    modes_[target] = info.st_mode & 07777;
    if (!read_whole_version(fd, target, info, contents)) {
      failed(why, "cannot read: %s", errno);
      return read_outcome::failed;
    }
    return read_outcome::read;
  }

  // The file's bytes, never a write in progress: read until nothing changed
  // it meanwhile, and, where another copy is writing it in place (or was
  // cut short doing so), the last whole version its copy kept aside holds.
  static bool read_whole_version(int fd, const std::string& target, const struct stat& file, std::string& contents) {
    std::string copy = posix::journal_path(folder_of(target), file.st_ino), ignored;
    bool read = false, broken = false;
    for (int attempt = 0; attempt < kReadAttempts && !read && !broken; ++attempt) {
      if (attempt > 0) usleep(kReadRetryUs);
      posix::journal before, after;
      auto kept_before = posix::read_journal(copy, file, before, ignored);
      struct stat first {}, last {};
      if (fstat(fd, &first) != 0 || !read_from_start(fd, contents) || fstat(fd, &last) != 0) {
        broken = true;
        break;
      }
      auto kept_after = posix::read_journal(copy, file, after, ignored);
      read = first.st_size == last.st_size && first.st_mtim.tv_sec == last.st_mtim.tv_sec &&
             first.st_mtim.tv_nsec == last.st_mtim.tv_nsec && first.st_ctim.tv_sec == last.st_ctim.tv_sec &&
             first.st_ctim.tv_nsec == last.st_ctim.tv_nsec && kept_before == kept_after;
      if (read && kept_after == posix::journal_found::whole && posix::cut_short(after, contents)) contents = after.before;
    }
    int error = errno;
    close(fd);
    errno = error;
    return !broken;  // a file that never stopped changing: what was read last
  }

  static bool read_from_start(int fd, std::string& contents) {
    contents.clear();
    char buffer[64 * 1024];
    for (off_t at = 0;;) {
      ssize_t n = pread(fd, buffer, sizeof buffer, at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n == 0;
      contents.append(buffer, static_cast<std::size_t>(n));
      at += n;
    }
  }

  static read_outcome not_a_file(const struct stat& info, std::string& why) {
    if (S_ISDIR(info.st_mode)) {
      failed(why, "cannot read: %s", EISDIR);
    } else {
      why = console::message("cannot read: it is not a file but a device, a pipe or a socket");
    }
    return read_outcome::failed;
  }

  bool replace_file(const std::string& path, std::string_view contents, std::string& why,
                    const replaced_check& check, replaced_keeping* keep) override {
    std::string target = target_of(path);
    // A file another program deleted comes back with the mode it had. A
    // link made at the file's name since the start counts as no file: the
    // rename replaces the link itself.
    struct stat info {};
    bool exists = lstat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    auto known = modes_.find(target);
    mode_t mode = exists ? info.st_mode & 07777 : known != modes_.end() ? known->second : 0600;
    bool kept = true;
    if (exists && info.st_nlink > 1) return write_in_place(target, contents, why, check);  // its links stay one file
    std::string temporary = write_temporary(target, contents, mode, why, exists ? &info : nullptr, &kept);
    if (temporary.empty()) return false;
    if (!kept) {
      unlink(temporary.c_str());
      return write_in_place(target, contents, why, check);
    }
    if (!put_in_place(temporary, target, why, check, keep)) return false;
    modes_[target] = mode;
    std::string ignored;
    // The lock goes over to the new file where this is the locked roster (not
    // its history, say, which is saved the same way).
    if (lock_ >= 0 && beside(target, ".lock") == lock_path_) lock_the_file(target, ignored);
    return sync_folder(folder_of(target), why);
  }

  // A version kept by name is kept even where its folder cannot be flushed
  // now: the file is whole, and at worst a crash takes it.
  static void keep_synced(replaced_keeping& keep) {
    std::string unflushed;
    sync_folder(folder_of(keep.as), unflushed);
    keep.kept = true;
  }

  // The new file takes the name. Where the file system can swap two names
  // in one step, it does, and what it replaced is still in hand, under the
  // temporary name, to be checked: a version another program saved at any
  // moment before is kept, or put back. Elsewhere the file is checked just
  // before the rename. Where asked, what it replaced is kept as a version by
  // a rename (or a link just before the rename): no copy, and whole or
  // absent whenever a kill falls.
  static bool put_in_place(const std::string& temporary, const std::string& target, std::string& why,
                           const replaced_check& check, replaced_keeping* keep) {
    auto refuse = [&] {
      unlink(temporary.c_str());
      why.clear();
      return false;
    };
    auto wanted = [&] { return keep != nullptr && !keep->as.empty(); };
    if (check) {
      if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        std::string replaced;
        bool read = posix::read_regular(temporary, replaced);
        if (read && !check(replaced)) {
          renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
          return refuse();
        }
        if (read && wanted() &&
            renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, keep->as.c_str(), RENAME_NOREPLACE) == 0) {
          keep_synced(*keep);
        } else {
          unlink(temporary.c_str());
        }
        return true;
      }
      std::string now;
      if (posix::read_regular(target, now) && !check(now)) return refuse();
    }
    bool linked = wanted() && link(target.c_str(), keep->as.c_str()) == 0;
    if (rename(temporary.c_str(), target.c_str()) != 0) {
      int error = errno;
      unlink(temporary.c_str());
      if (linked) unlink(keep->as.c_str());
      return failed(why, "cannot replace the file: %s", error);
    }
    if (linked) keep_synced(*keep);
    return true;
  }

  restore_outcome restore_cut_short_save(const std::string& path, std::string& why,
                                         const left_over_keeper& keep) override {
    // Only the copy that holds the lock may put anything back: another may
    // be in the middle of its own write.
    std::string target = target_of(path), ignored;
    bool any = false;
    posix::for_each_journal(folder_of(target), [&](const std::string&, ino_t) { any = true; });
    if (!any) return restore_outcome::nothing;
    if (lock_file(path, ignored) != lock_outcome::locked) return restore_outcome::nothing;
    return posix::restore_cut_short_save(target, why, keep);
  }

  create_outcome create_file(const std::string& path, std::string_view contents, std::string& why,
                             const std::string& like, bool writable_like) override {
    // The readers of `like`: its read bits (and its group, where this user
    // may give it), never more than that; its writers too where asked.
    struct stat model {};
    bool modelled = !like.empty() && stat(target_of(like).c_str(), &model) == 0;
    mode_t mode = modelled ? (model.st_mode & (writable_like ? 0666 : 0644)) | 0600 : 0600;
    bool kept = true;
    std::string temporary = write_temporary(path, contents, mode, why, modelled ? &model : nullptr, &kept);
    if (temporary.empty()) return create_outcome::failed;
    // A link, unlike a rename, never replaces a file already there.
    int linked = link(temporary.c_str(), path.c_str());
    int error = errno;
    if (linked != 0 && cannot_hold_it(error) &&
        renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) {
      return sync_folder(folder_of(path), why) ? create_outcome::created : create_outcome::failed;
    }
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

  bool make_folder(const std::string& path, const std::string& like, std::string& why) override {
    // The readers of `like` may list the folder and open what is in it, its
    // writers make and remove files there.
    struct stat model {};
    bool modelled = !like.empty() && stat(target_of(like).c_str(), &model) == 0;
    mode_t mode = modelled ? (model.st_mode & 0666) | 0600 : 0600;
    mode |= (mode & 0444) >> 2;
    bool made = mkdir(path.c_str(), 0700) == 0;
    struct stat there {};
    if (!made && !(errno == EEXIST && lstat(path.c_str(), &there) == 0 && S_ISDIR(there.st_mode))) {
      return failed(why, "cannot create the folder: %s", errno == EEXIST ? ENOTDIR : errno);
    }
    // One this user made before follows the file's readers as they are now:
    // a roster made private since keeps its versions private too. The group
    // comes between two modes, so that no other group ever may look in.
    if (made || (modelled && there.st_uid == geteuid())) {
      bool grouped = (made || chmod(path.c_str(), mode & 0700) == 0) &&
                     (!modelled || chown(path.c_str(), static_cast<uid_t>(-1), model.st_gid) == 0);
      if (chmod(path.c_str(), grouped ? mode : mode & 0700) != 0 && !cannot_hold_it(errno)) {
        return failed(why, "cannot create the folder: %s", errno);
      }
    }
    return !made || sync_folder(folder_of(path), why);
  }

  bool remove_file(const std::string& path, std::string& why) override {
    return unlink(path.c_str()) == 0 || errno == ENOENT || failed(why, "cannot remove: %s", errno);
  }

  std::string user_name() override {
    if (const struct passwd* entry = getpwuid(geteuid())) return entry->pw_name;
    return std::to_string(geteuid());
  }

  // A save replaces the file by a rename in its folder, so both must be
  // writable. A file without a single write bit was made read-only by its
  // owner, which counts for root too, whom the kernel would let write it. A
  // file system that cannot tell (ENOSYS) is taken at its word later.
  bool may_write(const std::string& path) override {
    std::string target = target_of(path);
    auto allowed = [](const std::string& name, int what) {
      return faccessat(AT_FDCWD, name.c_str(), what, AT_EACCESS) == 0 ||
             (errno != EACCES && errno != EROFS && errno != EPERM);
    };
    struct stat info {};
    if (lstat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ((info.st_mode & 0222) == 0 || !allowed(target, W_OK))) {
      return false;
    }
    return allowed(folder_of(target), W_OK | X_OK);
  }

  lock_outcome lock_file(const std::string& path, std::string& why) override {
    std::string target = target_of(path);
    std::string lock_path = beside(target, ".lock");
    // Held already (flock would refuse this process a second descriptor).
    if (lock_path == lock_path_ && holding()) return lock_outcome::locked;
    // Whoever may write the file may use its lock: the lock file takes the
    // file's read and write bits (0660 in a group's folder). Another user's
    // lock file that cannot be written is still locked through a read-only
    // descriptor.
    struct stat info {};
    mode_t mode = stat(target.c_str(), &info) == 0 ? (info.st_mode & 0666) | 0600 : 0600;
    int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && errno == EACCES) fd = open(lock_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) {
      // Another user's lock file that this one cannot even read (one made
      // before the roster file was, 0600). Whether anyone holds it is told
      // by the roster file itself, which every copy that has saved locks
      // too: where nobody holds that, the lock file is left over and made
      // anew. Where there is no file yet, nobody can tell, and it counts as
      // held: no list of locks is taken at its word (another PID namespace,
      // a container, sees none of this one's).
      int file = open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      bool free = file >= 0 && flock(file, LOCK_EX | LOCK_NB) == 0;
      if (file >= 0) close(file);
      if (!free) {
        why = console::message("who and since when is not known");
        return lock_outcome::busy;
      }
      if (unlink(lock_path.c_str()) == 0) fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    }
    if (fd < 0) {
      if (errno == ENOENT) {  // made with O_CREAT: it is the folder that is missing
        why = console::message("the folder %s does not exist", {folder_of(target)});
      } else {
        failed(why, "cannot create the lock file: %s", errno);
      }
      return lock_outcome::failed;
    }
    if (!take(fd, true, why)) return flocked_elsewhere_ ? lock_outcome::busy : lock_outcome::failed;
    // One file has one lock, whatever names it is reached by: the file
    // itself is locked too, which its hard links share.
    if (!lock_the_file(target, why)) {
      close(fd);
      return flocked_elsewhere_ ? lock_outcome::busy : lock_outcome::failed;
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

  // Locks `fd` for this process, or closes it: busy (flocked_elsewhere_,
  // `why` naming the holder where `fd` is a lock file) or failed.
  bool take(int fd, bool lock_file, std::string& why) {
    flocked_elsewhere_ = false;
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      int error = errno;
      flocked_elsewhere_ = error == EWOULDBLOCK;
      if (flocked_elsewhere_) why = lock_file ? holder_of(fd) : console::message("who and since when is not known");
      close(fd);
      return !flocked_elsewhere_ && failed(why, "cannot lock: %s", error);
    }
    return true;
  }

  // Locks the roster file itself, unless this process holds it already; a
  // file not there yet has nothing to lock. After a rename it is a new file,
  // and the lock goes over to it. False, busy or failed, as take().
  bool lock_the_file(const std::string& target, std::string& why) {
    struct stat held {}, named {};
    if (file_lock_ >= 0 && fstat(file_lock_, &held) == 0 && stat(target.c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      return true;
    }
    int file = open(target.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (file < 0) return true;
    if (!take(file, false, why)) return false;
    if (file_lock_ >= 0) close(file_lock_);
    file_lock_ = file;
    return true;
  }

  bool still_locked(const std::string& path, std::string& why) override {
    if (lock_ < 0 || holding()) return true;
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
  // The file `path` named at the start, its links followed then: a link
  // made at its name later is never followed.
  const std::string& target_of(const std::string& path, bool* trusted = nullptr) {
    auto known = targets_.find(path);
    if (known != targets_.end()) return known->second;
    bool followed = true;
    std::string target = resolved(path, &followed);
    if (trusted != nullptr) *trusted = followed;
    if (!followed) return path;  // refused: remembered nowhere
    return targets_.emplace(path, std::move(target)).first->second;
  }

  // True while the lock held is the file at the lock file's name.
  bool holding() const {
    struct stat held {}, named {};
    return lock_ >= 0 && fstat(lock_, &held) == 0 && lstat(lock_path_.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
  }

  int lock_ = -1;
  int file_lock_ = -1;  // the roster file itself, for its other names
  bool flocked_elsewhere_ = false;
  std::string lock_path_;
  std::map<std::string, std::string> targets_;  // each path's file, as it was at the start
  std::map<std::string, mode_t> modes_;  // each file's mode when last read or saved
};

}  // namespace

std::unique_ptr<FileSystem> make_system_file_system() { return std::make_unique<PosixFileSystem>(); }

std::vector<std::string> command_line(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace files
