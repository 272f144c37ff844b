// The files the program keeps its roster in, behind one small seam: the
// program's own code never touches the operating system's file calls, and the
// tests put an in-memory file system in its place.
//
// Paths are byte strings as the platform names files: on POSIX the bytes the
// user typed, on Windows UTF-8 (converted from the wide command line).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace files {

enum class read_outcome { read, absent, failed };
enum class lock_outcome { locked, busy, failed };
enum class create_outcome { created, taken, failed };
enum class restore_outcome { nothing, restored, ignored, failed };

// Given what a save is about to replace (the file as it stands at the last
// moment): true to go on, false to leave the file as it is.
using replaced_check = std::function<bool(std::string_view replaced)>;
// Given a roster's last whole version that belongs to no file any more:
// true once it is kept.
using left_over_keeper = std::function<bool(const std::string& contents)>;

// Where a save may keep the file it replaces, as a version of it: a name,
// free yet, in a folder on the same disk. `kept` says whether the save did
// (where the file system can rename the replaced file there, at no copy);
// otherwise the caller writes it from the bytes it holds. A check that keeps
// the replaced bytes itself clears `as`.
struct replaced_keeping {
  std::string as;
  bool kept = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The whole of the file at `path`; absent when no file is there yet.
  // `why` says what went wrong when it failed.
  virtual read_outcome read_file(const std::string& path, std::string& contents, std::string& why) = 0;

  // Makes `contents` the file at `path` at once: written to a temporary file
  // beside it, flushed to the disk, put in its place in one step, and the
  // folder flushed. Whatever happens meanwhile, `path` holds either what it
  // held before or `contents` (or, written in place, restore_cut_short_save
  // puts that back). A link is saved through; the file keeps its owner,
  // group, mode, access list and hard links; a new file is readable by its
  // owner alone. `check` is given what the save replaces, as late as the
  // file system allows (on Linux after the new file has taken the name, by
  // swapping the two); where it says no, the file is left as it was and the
  // save fails with `why` empty.
  virtual bool replace_file(const std::string& path, std::string_view contents, std::string& why,
                            const replaced_check& check = {}, replaced_keeping* keep = nullptr) = 0;

  // A save that renaming would change (the file is another user's, of
  // another group, shared through an access list, or hard-linked) writes
  // the file in place, a copy of it kept aside until the write is whole.
  // After a kill in the middle of one, this puts the file's last whole
  // version back (restored), before the file is read; a copy nobody who
  // may write the file made is left alone (ignored, named in `why`); the
  // last whole version of a file no longer at this name goes to `keep`.
  virtual restore_outcome restore_cut_short_save(const std::string& path, std::string& why,
                                                 const left_over_keeper& keep) = 0;

  // Writes a file that must not exist yet, as safely as replace_file; an
  // existing file of that name is never touched (taken). It is readable by
  // exactly those who may read the file at `like` (a version of it), or by
  // its owner alone; with `writable_like`, also writable by those who may
  // write `like` (a file every saver rewrites).
  virtual create_outcome create_file(const std::string& path, std::string_view contents, std::string& why,
                                     const std::string& like = "", bool writable_like = false) = 0;

  // Makes the folder at `path`, where those who may read the file at `like`
  // may look and those who may write it may make and remove files; true
  // where a folder (never a link to one) is there already.
  virtual bool make_folder(const std::string& path, const std::string& like, std::string& why) = 0;

  // Removes the file at `path` (never a folder); true where none is there.
  virtual bool remove_file(const std::string& path, std::string& why) = 0;

  // False where this user may not change the file at `path` (or make it,
  // when it does not exist yet): its owner made it read-only, it is another
  // user's, or its folder or the whole disk is read-only.
  virtual bool may_write(const std::string& path) = 0;

  // Keeps other programs from the file at `path` until this process ends,
  // through a lock file beside it (the file itself is replaced at every
  // save, and a lock on it would go with the old one), which everyone who
  // may write the file may use, and which names who holds it. busy when
  // another process holds it: `why` then says who and since when.
  virtual lock_outcome lock_file(const std::string& path, std::string& why) = 0;

  // True while the lock taken on `path` is still the one at the lock
  // file's name. One removed or replaced meanwhile (someone tidying hidden
  // files) is taken again where nobody else holds it; false, with `why`,
  // where another program has it now.
  virtual bool still_locked(const std::string& path, std::string& why) = 0;

  // The local date and time, as "20261208-233015", for naming versions.
  virtual std::string time_stamp() = 0;

  // The name of the user this program runs as, to say who saved a version.
  virtual std::string user_name() = 0;
};

// The machine's own files.
std::unique_ptr<FileSystem> make_system_file_system();

// The program's arguments (without its name) as paths the file system takes.
std::vector<std::string> command_line(int argc, char** argv);

// --- Text in files ------------------------------------------------------------
// Roster files are UTF-8 (or GBK, as a spreadsheet on a Chinese Windows saves
// them); the program's texts are GBK.

// Appends the UTF-8 form of `gbk`. What is not a GBK character becomes '?';
// false when that happened.
bool gbk_to_utf8(std::string_view gbk, std::string& utf8);
// Appends the GBK form of `utf8`. A character GBK cannot hold, and a byte
// that is not UTF-8, becomes '?'; false when that happened.
bool utf8_to_gbk(std::string_view utf8, std::string& gbk);

}  // namespace files
