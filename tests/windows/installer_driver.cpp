// Goes through the installer (or the uninstaller) as a person would, taking
// the default button of every page, and writes out every text each window
// shows, so that a script can read what the reader was told. Never shipped;
// run by scripts/windows_check.sh under wine.
//
//   installer_driver PROGRAM [ARGUMENTS]
//
// Output, UTF-8: for each new state of a window, a line "window TITLE", then
// one line per visible control with a text, "  CLASS ID: TEXT", then
// "click ID" for the button pressed. A question is answered Yes; a page is
// left by its button 1 (Next, Install, Finish) once it has held still for
// half a second. The last line is "exit STATUS". An uninstaller runs on as
// a copy of itself, so every window on the desktop but the driver's own
// counts, and the driver ends once its program has ended and no window has
// been left for two seconds.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring text_of(HWND window) {
  wchar_t buffer[4096];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 1000, &length)) {
    return {};
  }
  return std::wstring(buffer, length);
}

std::wstring class_of(HWND window) {
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

// Enumeration callbacks are stdcall on 32-bit Windows, which no lambda is.
BOOL CALLBACK add_if_shown(HWND window, LPARAM list) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK add_control(HWND control, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(control);
  return TRUE;
}

std::vector<HWND> windows_shown() {
  std::vector<HWND> found;
  EnumWindows(add_if_shown, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Every visible control's class, ID and text, in the order Windows keeps them.
std::string describe(HWND window) {
  std::string out = "window " + utf8(text_of(window)) + "\n";
  std::vector<HWND> controls;
  EnumChildWindows(window, add_control, reinterpret_cast<LPARAM>(&controls));
  for (HWND control : controls) {
    if (!IsWindowVisible(control)) continue;
    std::wstring text = text_of(control);
    // Blank texts hold places; one that starts with U+FFFF names a resource.
    if (text.find_first_not_of(L' ') == std::wstring::npos || text[0] == 0xFFFF) continue;
    out += "  " + utf8(class_of(control)) + " " + std::to_string(GetDlgCtrlID(control)) + ": " +
           utf8(text) + "\n";
  }
  return out;
}

// The button a person takes: Yes where there is a question, else button 1.
int default_button(HWND window) {
  for (int id : {IDYES, IDOK}) {
    HWND button = GetDlgItem(window, id);
    if (button && IsWindowVisible(button) && IsWindowEnabled(button)) return id;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: installer_driver PROGRAM [ARGUMENTS]\n", stderr);
    return 2;
  }
  std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
  for (int i = 2; i < argc; ++i) command += L" " + std::wstring(argv[i]);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "installer_driver: cannot start the program (error %lu)\n", GetLastError());
    return 2;
  }
  std::string last;
  int still = 0;
  int quiet = 0;
  DWORD status = STILL_ACTIVE;
  for (int tick = 0; tick < 2400; ++tick) {  // 250 ms each: ten minutes at most
    Sleep(250);
    GetExitCodeProcess(process.hProcess, &status);
    std::vector<HWND> shown = windows_shown();
    if (shown.empty()) {
      if (status != STILL_ACTIVE && ++quiet >= 8) {
        std::printf("exit %lu\n", status);
        return 0;
      }
      continue;
    }
    quiet = 0;
    HWND window = shown.front();
    std::string now = describe(window);
    if (now != last) {
      std::fputs(now.c_str(), stdout);
      std::fflush(stdout);
      last = now;
      still = 0;
      continue;
    }
    if (++still < 2) continue;
    if (int id = default_button(window)) {
      std::printf("click %d\n", id);
      std::fflush(stdout);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
      still = -8;  // two seconds for the next page before the same one counts again
    }
  }
  std::puts("timed out");
  TerminateProcess(process.hProcess, 1);
  return 1;
}
