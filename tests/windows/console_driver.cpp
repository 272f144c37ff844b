// Drives roster.exe at a Windows console as a person would: keys go in as
// console key events (key down and key up, virtual-key code, scan code,
// character, control keys), and the screen is read back from the console's
// own buffer. Never shipped; run by scripts/windows_check.sh under wine.
//
//   console_driver ROSTER.EXE CASES.TXT CODE_PAGE REPORT.TXT
//
// Each case in CASES.TXT (UTF-8) starts the program afresh on a cleared
// screen and runs one command a line:
//   case NAME                 a new case
//   start [ARGUMENTS]         start the program on the driver's console, as
//                             a command prompt does
//   start-alone [ARGUMENTS]   start it on a console of its own, as Explorer
//                             does; the driver then drives that console
//   running                   the program is still running (a second on)
//   type TEXT                 one key press per character; {NAME} is the key
//                             NAME: enter back esc tab left right up down home
//                             end delete f1 ctrl-z ctrl-c
//   row N TEXT                screen row N (from 0) reads TEXT, trailing blanks aside
//   words N TEXT              the same with runs of blanks read as one
//   cursor COLUMN ROW         the cursor stands there (columns as the screen
//                             shows them: a Chinese character is two)
//   exit STATUS               the program ends with STATUS
//   ends                      the program ends, whatever its status
//   mode-kept                 the console's input mode is what it was at start
// Every check waits up to five seconds for the screen or the program to get
// there. The report ends with the line "N passed, N failed".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

HANDLE console_in;
HANDLE console_out;
std::FILE* report;

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
  return text;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                      nullptr);
  return bytes;
}

// --- Keys ------------------------------------------------------------------

void press(WORD virtual_key, wchar_t character, DWORD control = 0) {
  INPUT_RECORD events[2] = {};
  for (int i = 0; i < 2; ++i) {
    KEY_EVENT_RECORD& key = events[i].Event.KeyEvent;
    events[i].EventType = KEY_EVENT;
    key.bKeyDown = i == 0;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = virtual_key;
    key.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC));
    key.uChar.UnicodeChar = character;
    key.dwControlKeyState = control;
  }
  DWORD written = 0;
  WriteConsoleInputW(console_in, events, 2, &written);
}

// A character as the keyboard gives it; one no key gives (Chinese, say)
// comes as an input method gives it, a character with no key.
void press_character(wchar_t character) {
  SHORT scan = VkKeyScanW(character);
  if (scan == -1) {
    press(0, character);
    return;
  }
  DWORD control = (scan & 0x100) != 0 ? SHIFT_PRESSED : 0;
  press(static_cast<WORD>(scan & 0xFF), character, control);
}

bool press_named(const std::string& name) {
  struct named {
    const char* name;
    WORD key;
    wchar_t character;
    DWORD control;
  } keys[] = {
      {"enter", VK_RETURN, L'\r', 0},    {"back", VK_BACK, L'\b', 0},     {"esc", VK_ESCAPE, 0x1B, 0},
      {"tab", VK_TAB, L'\t', 0},         {"left", VK_LEFT, 0, ENHANCED_KEY}, {"right", VK_RIGHT, 0, ENHANCED_KEY},
      {"up", VK_UP, 0, ENHANCED_KEY},    {"down", VK_DOWN, 0, ENHANCED_KEY}, {"home", VK_HOME, 0, ENHANCED_KEY},
      {"end", VK_END, 0, ENHANCED_KEY},  {"delete", VK_DELETE, 0, ENHANCED_KEY}, {"f1", VK_F1, 0, 0},
      {"ctrl-z", 'Z', 0x1A, LEFT_CTRL_PRESSED}, {"ctrl-c", 'C', 0x03, LEFT_CTRL_PRESSED},
  };
  for (const named& key : keys) {
    if (name == key.name) {
      press(key.key, key.character, key.control);
      return true;
    }
  }
  std::wstring one = wide(name);
  if (one.size() != 1) return false;
  press_character(one[0]);
  return true;
}

// --- The screen ------------------------------------------------------------------

struct screen_row {
  std::wstring text;          // one character a cell, the second half of a wide one left out
  std::vector<int> columns;   // the screen column each cell starts at
};

// A character that fills two columns: CJK, Hangul, full-width forms.
int width_of(wchar_t c) {
  bool wide_character = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
  return wide_character ? 2 : 1;
}

// A real console keeps a wide character in two cells, the second marked as
// its trailing half; wine's keeps it in one. Both read the same here.
screen_row read_row(SHORT y, SHORT width) {
  std::vector<CHAR_INFO> cells(static_cast<std::size_t>(width));
  SMALL_RECT area = {0, y, static_cast<SHORT>(width - 1), y};
  screen_row row;
  if (!ReadConsoleOutputW(console_out, cells.data(), {width, 1}, {0, 0}, &area)) return row;
  int column = 0;
  for (const CHAR_INFO& cell : cells) {
    if ((cell.Attributes & COMMON_LVB_TRAILING_BYTE) != 0) {
      ++column;
      continue;
    }
    row.text.push_back(cell.Char.UnicodeChar);
    row.columns.push_back(column);
    column += (cell.Attributes & COMMON_LVB_LEADING_BYTE) != 0 ? 1 : width_of(cell.Char.UnicodeChar);
  }
  while (!row.text.empty() && row.text.back() == L' ') row.text.pop_back();
  return row;
}

CONSOLE_SCREEN_BUFFER_INFO screen_info() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(console_out, &info);
  return info;
}

std::wstring squeezed(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    bool blank = c == L' ' || c == L'\t';
    if (blank && (out.empty() || out.back() == L' ')) continue;
    out.push_back(blank ? L' ' : c);
  }
  while (!out.empty() && out.back() == L' ') out.pop_back();
  return out;
}

void clear_screen() {
  CONSOLE_SCREEN_BUFFER_INFO info = screen_info();
  DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  DWORD done = 0;
  FillConsoleOutputCharacterW(console_out, L' ', cells, {0, 0}, &done);
  FillConsoleOutputAttribute(console_out, info.wAttributes, cells, {0, 0}, &done);
  SetConsoleCursorPosition(console_out, {0, 0});
}

std::string screen_dump() {
  CONSOLE_SCREEN_BUFFER_INFO info = screen_info();
  std::string dump;
  int last = 0;
  for (SHORT y = 0; y < info.dwSize.Y && y < 60; ++y) {
    if (!read_row(y, info.dwSize.X).text.empty()) last = y;
  }
  for (SHORT y = 0; y <= last; ++y) dump += "    |" + utf8(read_row(y, info.dwSize.X).text) + "|\n";
  return dump + "    cursor at cell " + std::to_string(info.dwCursorPosition.X) + ", row " +
         std::to_string(info.dwCursorPosition.Y) + "\n";
}

// --- Cases -----------------------------------------------------------------

BOOL WINAPI keep_running(DWORD) { return TRUE; }

// The console the driver is on, as handles a child inherits.
void open_console() {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  console_in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                           OPEN_EXISTING, 0, nullptr);
  console_out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherited, OPEN_EXISTING, 0, nullptr);
}  // a Ctrl-C typed is the program's, not the driver's

struct runner {
  std::wstring program;
  UINT code_page = 0;
  PROCESS_INFORMATION child{};
  DWORD mode_at_start = 0;
  std::string name;
  bool failed = false;
  int passed_cases = 0;
  int failed_cases = 0;

  void fail(const std::string& line, const std::string& why) {
    if (!failed) std::fprintf(report, "FAIL %s\n", name.c_str());
    failed = true;
    std::fprintf(report, "  %s: %s\n%s", line.c_str(), why.c_str(), screen_dump().c_str());
  }

  template <typename Check>
  bool eventually(Check check) {
    for (int i = 0; i < 100; ++i) {
      if (check()) return true;
      Sleep(50);
    }
    return false;
  }

  bool alone = false;  // the child has a console of its own, the driver attached to it

  void end_child() {
    if (child.hProcess == nullptr) return;
    if (alone) {
      // Its console went with it: the driver takes a new one of its own.
      WaitForSingleObject(child.hProcess, 5000);
      if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 99);
      FreeConsole();
      AllocConsole();
      open_console();
      SetConsoleCP(code_page);
      SetConsoleOutputCP(code_page);
      alone = false;
    }
    if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 99);
    WaitForSingleObject(child.hProcess, 5000);
    // wine's console goes on with a line read that a program killed (or
    // ended by Ctrl-C) began: an Enter ends it, so that it takes none of the
    // next case's keys.
    press(VK_RETURN, L'\r');
    Sleep(300);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    child = {};
  }

  void finish_case() {
    end_child();
    if (name.empty()) return;
    if (failed) {
      ++failed_cases;
    } else {
      ++passed_cases;
      std::fprintf(report, "ok   %s\n", name.c_str());
    }
    std::fflush(report);
    // What a case typed and nobody read, and a Ctrl-C event wine delivers
    // late, must not reach the next one.
    Sleep(700);
    FlushConsoleInputBuffer(console_in);
    SetConsoleMode(console_in, mode_at_start);
  }

  // A real console raises the Ctrl-C event for a Ctrl-C typed; wine's raises
  // none for a key event written to it, so the driver raises it, as the
  // console would, when the program is still running.
  void interrupt() {
    if (WaitForSingleObject(child.hProcess, 500) != WAIT_TIMEOUT) return;
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    std::fprintf(report, "  (%s: Ctrl-C typed raised no event; raised by the driver)\n", name.c_str());
  }

  void start(const std::string& arguments, const std::string& line) {
    end_child();
    clear_screen();
    GetConsoleMode(console_in, &mode_at_start);
    std::wstring command = L"\"" + program + L"\" " + wide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = console_in;
    startup.hStdOutput = console_out;
    startup.hStdError = console_out;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
      fail(line, "cannot start the program (error " + std::to_string(GetLastError()) + ")");
      return;
    }
    // Keys typed before the program reads any may go to the console alone:
    // wait for its first words, or its end.
    eventually([&] {
      COORD cursor = screen_info().dwCursorPosition;
      return cursor.X != 0 || cursor.Y != 0 || WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0;
    });
  }

  // Explorer starts a console program on a new console, with no handles
  // of its own; the driver attaches to that console once the program has
  // started (and seen itself alone on it).
  void start_alone(const std::string& arguments, const std::string& line) {
    end_child();
    std::wstring command = L"\"" + program + L"\" " + wide(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, &child)) {
      fail(line, "cannot start the program (error " + std::to_string(GetLastError()) + ")");
      return;
    }
    alone = true;
    Sleep(1000);
    FreeConsole();
    if (!AttachConsole(child.dwProcessId)) {
      fail(line, "cannot attach to the program's console (error " + std::to_string(GetLastError()) + ")");
      return;
    }
    open_console();
  }

  void run(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    std::string rest;
    std::getline(words, rest);
    if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    if (command.empty() || command.front() == '#') return;
    if (command == "case") {
      finish_case();
      name = rest;
      failed = false;
    } else if (failed) {
      // the case has failed already: the rest of it says nothing more
    } else if (command == "start") {
      start(rest, line);
    } else if (command == "start-alone") {
      start_alone(rest, line);
    } else if (command == "running") {
      if (WaitForSingleObject(child.hProcess, 1000) != WAIT_TIMEOUT) fail(line, "the program has ended");
    } else if (command == "type") {
      std::wstring text = wide(rest);
      for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t close = text[i] == L'{' ? text.find(L'}', i) : std::wstring::npos;
        if (close == std::wstring::npos) {
          press_character(text[i]);
          continue;
        }
        std::string key = utf8(text.substr(i + 1, close - i - 1));
        if (!press_named(key)) fail(line, "no such key: " + key);
        if (key == "ctrl-c") interrupt();
        i = close;
      }
    } else if (command == "row" || command == "words") {
      std::istringstream parts(rest);
      int y = 0;
      parts >> y;
      std::string expected;
      std::getline(parts, expected);
      if (!expected.empty() && expected.front() == ' ') expected.erase(0, 1);
      std::wstring want = wide(expected);
      bool loose = command == "words";
      SHORT width = screen_info().dwSize.X;
      if (!eventually([&] {
            std::wstring got = read_row(static_cast<SHORT>(y), width).text;
            return loose ? squeezed(got) == squeezed(want) : got == want;
          })) {
        fail(line, "row " + std::to_string(y) + " reads otherwise");
      }
    } else if (command == "cursor") {
      int column = 0, y = 0;
      std::istringstream(rest) >> column >> y;
      if (!eventually([&] {
            CONSOLE_SCREEN_BUFFER_INFO info = screen_info();
            if (info.dwCursorPosition.Y != y) return false;
            screen_row row = read_row(static_cast<SHORT>(y), info.dwSize.X);
            int cell = info.dwCursorPosition.X;
            // The cursor's screen column: where its cell starts, or past the row's last character.
            int at = cell < static_cast<int>(row.columns.size())
                         ? row.columns[static_cast<std::size_t>(cell)]
                         : (row.columns.empty() ? 0 : row.columns.back() + width_of(row.text.back())) +
                               (cell - static_cast<int>(row.columns.size()));
            return at == column;
          })) {
        fail(line, "the cursor stands elsewhere");
      }
    } else if (command == "exit") {
      DWORD want = static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 0));
      DWORD status = STILL_ACTIVE;
      if (WaitForSingleObject(child.hProcess, 5000) != WAIT_OBJECT_0) {
        fail(line, "the program is still running");
      } else if (GetExitCodeProcess(child.hProcess, &status), status != want) {
        fail(line, "the program ended with " + std::to_string(status));
      }
    } else if (command == "ends") {
      if (WaitForSingleObject(child.hProcess, 5000) != WAIT_OBJECT_0) fail(line, "the program is still running");
    } else if (command == "mode-kept") {
      DWORD mode = 0;
      GetConsoleMode(console_in, &mode);
      if (mode != mode_at_start) {
        fail(line, "the input mode is " + std::to_string(mode) + ", not " + std::to_string(mode_at_start));
      }
    } else if (command == "sleep") {
      Sleep(static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 10)));
    } else {
      fail(line, "no such command");
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: console_driver ROSTER.EXE CASES.TXT CODE_PAGE REPORT.TXT\n");
    return 2;
  }
  report = std::fopen(argv[4], "wb");  // read on Linux: lines end in LF alone
  if (report == nullptr) return 2;
  SetConsoleCtrlHandler(keep_running, TRUE);
  UINT code_page = static_cast<UINT>(std::strtoul(argv[3], nullptr, 10));
  SetConsoleCP(code_page);
  SetConsoleOutputCP(code_page);
  open_console();
  if (console_in == INVALID_HANDLE_VALUE || console_out == INVALID_HANDLE_VALUE) {
    std::fprintf(report, "no console to drive\n0 passed, 1 failed\n");
    return 1;
  }
  runner cases;
  cases.program = wide(argv[1]);
  cases.code_page = code_page;
  std::ifstream script(argv[2]);
  std::string line;
  while (std::getline(script, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    cases.run(line);
  }
  cases.finish_case();
  std::fprintf(report, "%d passed, %d failed\n", cases.passed_cases, cases.failed_cases);
  std::fclose(report);
  return cases.failed_cases == 0 ? 0 : 1;
}
