// The pieces of a safe save on POSIX, shared by the file system and the
// in-place writer: whole writes flushed to the disk, temporary files beside
// the target, flushed folders, and failures said in the reader's language.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "files/file_system.h"

namespace files::posix {

// Sets `why` to `what` ("cannot ...: %s", translated) with the system's
// reason; false.
bool failed(std::string& why, const char* what, int error);

// A file system without modes, owners, links or extended attributes (FAT32,
// exFAT, some network and FUSE ones) refuses to set them in one of these ways.
bool cannot_hold_it(int error);

std::string folder_of(const std::string& path);
// `path`'s folder, "/.", its name (shortened where need be) and `suffix`.
std::string beside(const std::string& path, const std::string& suffix);

// Reads what is left of `fd` into `contents` and closes it; false, with
// errno, when a read failed.
bool read_all(int fd, std::string& contents);
// The whole of the regular file at `path`, never through a link, never held
// up by a FIFO or a device: false, with errno, for anything else.
bool read_regular(const std::string& path, std::string& contents);
bool write_all(int fd, std::string_view bytes, std::string& why);
// Writes `contents` to `fd`, flushed to the disk, and closes it.
bool write_and_close(int fd, std::string_view contents, std::string& why);
// Flushes the folder, so that a rename in it outlives a power cut.
bool sync_folder(const std::string& folder, std::string& why);

// Writes `contents` to a fresh temporary file beside `target`, flushed to
// the disk, with `mode` where the file system keeps modes. Where `like` is
// given, the new file takes its group and its access list too; `kept` is
// false when it could not (the file must then be written in place). Gives
// the temporary file's name, or "" with `why`.
std::string write_temporary(const std::string& target, std::string_view contents, mode_t mode, std::string& why,
                            const struct stat* like = nullptr, bool* kept = nullptr);

// Writes `contents` into the file `target` itself, keeping its owner, group,
// mode, access list and hard links, with a copy of what it held kept aside
// until the write is whole; true, or false with `why`. A kill in the middle
// leaves the copy, which restore_cut_short_save() puts back. `check` is
// given what the file holds just before it is written; false refuses the
// save (with `why` empty: the check said why).
bool write_in_place(const std::string& target, std::string_view contents, std::string& why,
                    const replaced_check& check = {});

// After a kill in the middle of an in-place write, puts the file's last
// whole version back; a copy left by a file no longer at this name goes to
// `keep`.
restore_outcome restore_cut_short_save(const std::string& target, std::string& why, const left_over_keeper& keep);

}  // namespace files::posix
