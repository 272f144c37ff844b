// The file system of Windows. Paths are UTF-8 here and wide for the system,
// so any name works whatever the code page.
//
// A save writes ".NAME.saving" beside the file, flushes it
// (FlushFileBuffers) and moves it over the file with write-through, so that
// the file is always whole. The lock is the lock file ".NAME.lock" held open
// with no sharing: the system lets it go when the process ends, however.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "console/console.h"
#include "files/file_names.h"
#include "files/file_system.h"
#include "files/lock_holder.h"
#include "messages/messages.h"

namespace files {
namespace {

std::wstring wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                      nullptr);
  return bytes;
}

// "cannot write: There is not enough space on the disk."
bool failed(std::string& why, const char* what, DWORD error) {
  why = console::message(what, {console::windows_error_text(error)});
  return false;
}

std::string beside(const std::string& path, const std::string& suffix) {
  std::size_t slash = path.find_last_of("/\\");
  std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name) + "." + fitting_stem(".", std::string_view(path).substr(name), suffix) + suffix;
}

// Writes `contents` to a fresh temporary file beside `target`, flushed to
// the disk. Explorer shows files whose names begin with a dot, so it is
// hidden while it is written, and given `attributes` (what the file it
// replaces had) just before it takes that file's name. Gives its name, or
// "" with `why`.
std::string write_temporary(const std::string& target, std::string_view contents, std::string& why,
                            DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  std::string temporary = beside(target, ".saving");
  HANDLE file = CreateFileW(wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    failed(why, "cannot create a temporary file: %s", GetLastError());
    return "";
  }
  bool written = true;
  while (written && !contents.empty()) {
    DWORD piece = contents.size() > (1u << 20) ? (1u << 20) : static_cast<DWORD>(contents.size());
    DWORD done = 0;
    written = WriteFile(file, contents.data(), piece, &done, nullptr) != 0 && done > 0;
    if (!written) failed(why, "cannot write: %s", GetLastError());
    contents.remove_prefix(done);
  }
  if (written && !FlushFileBuffers(file)) written = failed(why, "cannot flush: %s", GetLastError());
  CloseHandle(file);
  if (written) SetFileAttributesW(wide(temporary).c_str(), attributes);
  if (!written) {
    DeleteFileW(wide(temporary).c_str());
    return "";
  }
  return temporary;
}

// Who holds a lock: the user, the machine and the time the program
// started, one a line.
void write_holder(HANDLE file) {
  wchar_t user[257] = L"", host[MAX_COMPUTERNAME_LENGTH + 1] = L"";
  DWORD user_size = 257, host_size = MAX_COMPUTERNAME_LENGTH + 1;
  GetUserNameW(user, &user_size);
  GetComputerNameW(host, &host_size);
  SYSTEMTIME now;
  GetLocalTime(&now);
  char started[32];
  std::snprintf(started, sizeof started, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute);
  std::string holder = lock_holder_lines(utf8(user), utf8(host), started);
  DWORD written = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (WriteFile(file, holder.data(), static_cast<DWORD>(holder.size()), &written, nullptr)) SetEndOfFile(file);
  FlushFileBuffers(file);
}

std::string holder_of(const std::wstring& lock_path) {
  HANDLE file = CreateFileW(lock_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  char text[600];
  DWORD got = 0;
  if (file != INVALID_HANDLE_VALUE) {
    if (!ReadFile(file, text, sizeof text - 1, &got, nullptr)) got = 0;
    CloseHandle(file);
  }
  std::string lines(text, got);
  return lock_holder_said(lines);
}

class WindowsFileSystem final : public FileSystem {
 public:
  WindowsFileSystem() = default;
  ~WindowsFileSystem() override {
    if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
  }
  WindowsFileSystem(const WindowsFileSystem&) = delete;
  WindowsFileSystem& operator=(const WindowsFileSystem&) = delete;

  read_outcome read_file(const std::string& path, std::string& contents, std::string& why) override {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      why = console::message("cannot read: it is a folder");
      return read_outcome::failed;
    }
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return read_outcome::absent;
      failed(why, "cannot open: %s", error);
      return read_outcome::failed;
    }
    contents.clear();
    char buffer[64 * 1024];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        failed(why, "cannot read: %s", GetLastError());
        CloseHandle(file);
        return read_outcome::failed;
      }
      if (got == 0) break;
      contents.append(buffer, got);
    }
    CloseHandle(file);
    return read_outcome::read;
  }

  // What a save replaces is never kept by name here (`keep` stays unkept):
  // the caller writes the version from the bytes it holds.
  bool replace_file(const std::string& path, std::string_view contents, std::string& why,
                    const replaced_check& check, replaced_keeping*) override {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    attributes = attributes == INVALID_FILE_ATTRIBUTES ? FILE_ATTRIBUTE_NORMAL : attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    std::string temporary = write_temporary(path, contents, why, attributes);
    if (temporary.empty()) return false;
    // Windows cannot swap two names: the file is checked just before it is
    // replaced, as late as it can be.
    std::string now, ignored;
    if (check && read_file(path, now, ignored) == read_outcome::read && !check(now)) {
      DeleteFileW(wide(temporary).c_str());
      why.clear();
      return false;
    }
    if (!MoveFileExW(wide(temporary).c_str(), wide(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      failed(why, "cannot replace the file: %s", GetLastError());
      DeleteFileW(wide(temporary).c_str());
      return false;
    }
    return true;
  }

  // A save here always renames a new file in (MoveFileEx keeps nothing to restore).
  restore_outcome restore_cut_short_save(const std::string&, std::string&, const left_over_keeper&) override {
    return restore_outcome::nothing;
  }

  create_outcome create_file(const std::string& path, std::string_view contents, std::string& why,
                             const std::string&, bool) override {
    std::string temporary = write_temporary(path, contents, why);
    if (temporary.empty()) return create_outcome::failed;
    // Without MOVEFILE_REPLACE_EXISTING a file already there is never replaced.
    if (!MoveFileExW(wide(temporary).c_str(), wide(path).c_str(), MOVEFILE_WRITE_THROUGH)) {
      DWORD error = GetLastError();
      DeleteFileW(wide(temporary).c_str());
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return create_outcome::taken;
      failed(why, "cannot create: %s", error);
      return create_outcome::failed;
    }
    return create_outcome::created;
  }

  // A folder made here inherits its readers from the folder it is made in,
  // as the roster file itself does.
  bool make_folder(const std::string& path, const std::string&, std::string& why) override {
    if (CreateDirectoryW(wide(path).c_str(), nullptr)) return true;
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      return true;
    }
    failed(why, "cannot create the folder: %s", error == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : error);
    return false;
  }

  bool remove_file(const std::string& path, std::string& why) override {
    if (DeleteFileW(wide(path).c_str())) return true;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return true;
    failed(why, "cannot remove: %s", error);
    return false;
  }

  std::string user_name() override {
    wchar_t user[257] = L"";
    DWORD user_size = 257;
    GetUserNameW(user, &user_size);
    return utf8(user);
  }

  // A file with the read-only attribute, or one this user may not open for
  // writing (another user's, a read-only share), is never replaced.
  bool may_write(const std::string& path) override {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;  // made at the first save, or said why then
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_ACCESS_DENIED;
    CloseHandle(file);
    return true;
  }

  // The lock file is held open for writing, shared for reading only: a
  // second program cannot open it to write (busy), yet reads who holds it.
  // Open, it cannot be removed either.
  lock_outcome lock_file(const std::string& path, std::string& why) override {
    std::wstring lock_path = wide(beside(path, ".lock"));
    HANDLE file = CreateFileW(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DWORD error = GetLastError();
      if (error == ERROR_SHARING_VIOLATION) {
        why = holder_of(lock_path);
        return lock_outcome::busy;
      }
      if (error == ERROR_PATH_NOT_FOUND) {
        std::size_t slash = path.find_last_of("/\\");
        why = console::message("the folder %s does not exist", {slash == std::string::npos ? "." : path.substr(0, slash)});
      } else {
        failed(why, "cannot create the lock file: %s", error);
      }
      return lock_outcome::failed;
    }
    write_holder(file);
    if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
    lock_ = file;  // held until the process ends
    return lock_outcome::locked;
  }

  bool still_locked(const std::string&, std::string&) override { return true; }

  std::string time_stamp() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
  }

 private:
  HANDLE lock_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<FileSystem> make_system_file_system() { return std::make_unique<WindowsFileSystem>(); }

// From the wide command line, so that a Chinese file name arrives whole in
// any code page.
std::vector<std::string> command_line(int, char**) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> result;
  for (int i = 1; arguments != nullptr && i < count; ++i) result.push_back(utf8(arguments[i]));
  if (arguments != nullptr) LocalFree(arguments);
  return result;
}

}  // namespace files
