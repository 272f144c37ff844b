// The copy kept aside while a file is written in place: a rollback journal.
//
// It belongs to one file, found by what the file is (its inode), so that
// every name of the file in its folder finds it: ".roster-INODE.kept". It
// holds the name it was made through, what the file held (the last whole
// version) and what the write puts there, with their sizes and a
// fingerprint, so that a journal torn by a kill while it was written is
// known as such. It is made readable and writable by exactly those who may
// read and write the file, and committed by removing it or, where that is
// not allowed (another user's, in a sticky folder), by cutting it to
// nothing: an empty journal is never applied.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>

namespace files::posix {

struct journal {
  std::string name;      // the file's name it was made through
  std::string before;    // the file's last whole version
  std::string after;     // what the write puts in the file
  ino_t inode = 0;       // the file it belongs to
};

// The journal of the file with `inode` in `folder`.
std::string journal_path(const std::string& folder, ino_t inode);

// Whether `contents` is what a write of `j` left when it was cut short: a
// proper start of what it was putting there (or of the last whole version,
// where putting that back was cut short in turn). Anything else is a whole
// version (the write's own, or another program's since), never undone.
bool cut_short(const journal& j, std::string_view contents);

enum class journal_found { none, whole, untrusted };

// Reads the journal at `path`, which must be a regular file made by
// someone who may write the file described by `file` (its owner, root, or a
// member of its group where the group may write it), and whole. `why` names
// an untrusted one. Never waits (a FIFO is refused unopened).
journal_found read_journal(const std::string& path, const struct stat& file, journal& j, std::string& why);

// Makes `j` the journal at `path`, flushed, readable and writable by those
// who may read and write the file (`file`); the descriptor stays open for
// commit(). -1 with `why`.
int write_journal(const std::string& path, const journal& j, const struct stat& file, std::string& why);

// The journal at `path` has been dealt with: removed, or cut to nothing
// (through `fd` where one is open, or opened for it). False where neither
// could be done.
bool commit_journal(const std::string& path, int fd = -1);

// Every journal in `folder`, by name, for scanning.
void for_each_journal(const std::string& folder, const std::function<void(const std::string& path, ino_t inode)>& visit);

}  // namespace files::posix
