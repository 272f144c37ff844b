#include "files/posix_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "console/console.h"
#include "files/file_names.h"
#include "files/posix_saving.h"

namespace files::posix {
namespace {

constexpr std::string_view kMark = "roster: a copy kept while saving in place; ";
constexpr std::string_view kPrefix = ".roster-";
constexpr std::string_view kSuffix = ".kept";

std::uint64_t check_of(const journal& j) { return fingerprint(j.name + '\0' + j.before + '\0' + j.after); }

std::string header_of(const journal& j) {
  char line[160];
  std::snprintf(line, sizeof line, "name %zu, before %zu, after %zu, check %016" PRIx64 "\n", j.name.size(),
                j.before.size(), j.after.size(), check_of(j));
  return std::string(kMark) + line;
}

// Whoever may write the file may have made its journal: its owner, root,
// this user, anyone where everyone may write it, and, where its group may
// write it, a file of that group (which only a member can give a file).
bool made_by_a_writer(const struct stat& made, const struct stat& file) {
  if (made.st_uid == 0 || made.st_uid == file.st_uid || made.st_uid == geteuid()) return true;
  if ((file.st_mode & S_IWOTH) != 0) return true;
  return (file.st_mode & S_IWGRP) != 0 && made.st_gid == file.st_gid;
}

bool parse(std::string_view text, journal& j) {
  if (text.substr(0, kMark.size()) != kMark) return false;
  std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return false;
  std::string line(text.substr(kMark.size(), end - kMark.size()));
  std::size_t name = 0, before = 0, after = 0;
  std::uint64_t check = 0;
  if (std::sscanf(line.c_str(), "name %zu, before %zu, after %zu, check %" SCNx64, &name, &before, &after, &check) != 4) {
    return false;
  }
  std::string_view body = text.substr(end + 1);
  if (name > body.size() || before > body.size() - name || after != body.size() - name - before) return false;
  j.name = body.substr(0, name);
  j.before = body.substr(name, before);
  j.after = body.substr(name + before);
  return check_of(j) == check;
}

}  // namespace

std::string journal_path(const std::string& folder, ino_t inode) {
  return folder + "/" + std::string(kPrefix) + std::to_string(static_cast<unsigned long long>(inode)) + std::string(kSuffix);
}

bool cut_short(const journal& j, std::string_view contents) {
  auto starts = [&](std::string_view whole) {
    return contents.size() < whole.size() && whole.substr(0, contents.size()) == contents;
  };
  return starts(j.after) || starts(j.before);  // the save, or the putting back, cut short
}

journal_found read_journal(const std::string& path, const struct stat& file, journal& j, std::string& why) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return journal_found::none;
  auto untrusted = [&] {
    why = console::message("%s is no copy this program kept (not a file, or made by someone who may not write the roster): it is left alone",
                           {path});
    return journal_found::untrusted;
  };
  if (!S_ISREG(info.st_mode)) return untrusted();
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return journal_found::none;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !made_by_a_writer(info, file)) {
    close(fd);
    return untrusted();
  }
  std::string text;
  if (!read_all(fd, text) || text.empty()) return journal_found::none;
  j.inode = file.st_ino;
  // A journal torn by a kill while it was made: the file was not touched yet.
  return parse(text, j) ? journal_found::whole : journal_found::none;
}

int write_journal(const std::string& path, const journal& j, const struct stat& file, std::string& why) {
  // One left by an earlier save (committed by cutting it short, in a sticky
  // folder) is written again; anything else at the name goes first.
  int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  bool in_the_way = fd < 0 && errno != ENOENT;  // a link, a folder, a file this user may not write
  struct stat info {};
  if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !made_by_a_writer(info, file))) {
    close(fd);
    fd = -1;
    in_the_way = true;
  }
  if (fd < 0) {
    if (in_the_way && unlink(path.c_str()) != 0 && errno != ENOENT) {
      failed(why, "cannot keep a copy of the file aside: %s", errno);
      return -1;
    }
    // Made for the owner alone, then given the file's group, and only then
    // the file's read and write bits: nobody the file shuts out ever reads it.
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      failed(why, "cannot keep a copy of the file aside: %s", errno);
      return -1;
    }
    mode_t mode = file.st_mode & 0666;
    if (fstat(fd, &info) == 0 && info.st_gid != file.st_gid && fchown(fd, static_cast<uid_t>(-1), file.st_gid) != 0) {
      mode &= 0600;  // a group this user is not in: the owner's bits alone
    }
    if (fchmod(fd, mode | 0600) != 0 && !cannot_hold_it(errno)) {
      failed(why, "cannot set the file's mode: %s", errno);
      close(fd);
      unlink(path.c_str());
      return -1;
    }
  }
  std::string text = header_of(j) + j.name + j.before + j.after;
  bool written = ftruncate(fd, 0) == 0 || failed(why, "cannot write: %s", errno);
  written = written && write_all(fd, text, why) && (fsync(fd) == 0 || failed(why, "cannot flush: %s", errno));
  if (!written) {
    commit_journal(path, fd);
    return -1;
  }
  return fd;
}

bool commit_journal(const std::string& path, int fd) {
  bool done = unlink(path.c_str()) == 0 || errno == ENOENT;
  if (!done) {
    if (fd < 0) fd = open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    done = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ftruncate(fd, 0) == 0 && fsync(fd) == 0;
  }
  if (fd >= 0) close(fd);
  return done;
}

void for_each_journal(const std::string& folder, const std::function<void(const std::string& path, ino_t inode)>& visit) {
  DIR* entries = opendir(folder.c_str());
  if (entries == nullptr) return;
  std::vector<std::pair<std::string, ino_t>> found;  // visited once the folder is read: a visit may remove one
  while (const struct dirent* entry = readdir(entries)) {
    std::string_view name = entry->d_name;
    if (name.size() <= kPrefix.size() + kSuffix.size() || name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix) {
      continue;
    }
    std::string_view digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    unsigned long long inode = 0;
    bool number = true;
    for (char c : digits) {
      number = number && c >= '0' && c <= '9';
      inode = inode * 10 + static_cast<unsigned long long>(c - '0');
    }
    if (number) found.emplace_back(folder + "/" + std::string(name), static_cast<ino_t>(inode));
  }
  closedir(entries);
  for (const auto& [path, inode] : found) visit(path, inode);
}

}  // namespace files::posix
