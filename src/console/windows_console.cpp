// The console of 32-bit Windows, or a pipe or file there.
//
// A console whose code page is 936 gets the program's GBK bytes as they are;
// a console with any other code page gets the text as UTF-16 (WriteConsoleW),
// so Chinese shows right there too. A pipe or file gets what the console's
// output code page wants: UTF-8 for 65001, the GBK bytes otherwise. Keys come from _getwch, which
// reads the keyboard without echo; a typed character gives one code per byte
// of its GBK form, a special key the usual 0 or 224 and its code.
#include <conio.h>
#include <io.h>
#include <windows.h>

#include <deque>
#include <string>

#include "console/backend.h"
#include "console/console.h"
#include "messages/messages.h"

namespace console {
namespace {

constexpr UINT kGbk = 936;
constexpr wint_t kCtrlC = 3;
constexpr DWORD kReadSize = 64 * 1024;

std::wstring to_wide(std::string_view text, UINT code_page) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string from_wide(std::wstring_view wide, UINT code_page) {
  if (wide.empty()) return {};
  // Code page 65001 takes no default character; the others get '?'.
  const char* question = code_page == CP_UTF8 ? nullptr : "?";
  int length = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   question, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, question,
                      nullptr);
  return text;
}

// How many bytes at the end of `text` start a UTF-8 character not yet complete.
std::size_t unfinished_utf8_tail(std::string_view text) {
  std::size_t back = 0;
  while (back < text.size() && back < 4) {
    auto byte = static_cast<unsigned char>(text[text.size() - 1 - back]);
    ++back;
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    std::size_t needed = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return needed > back ? back : 0;
  }
  return 0;
}

bool is_console(HANDLE handle) {
  DWORD mode;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// A console made for this program alone has it as its only process: one
// opened from a command prompt has the prompt too. Asked at the start,
// before anything else can attach to it.
bool console_has_one_process() {
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

// Text in code page `from` to a console as UTF-16, or to a pipe or file in
// what the console's output code page wants.
void write_text(HANDLE handle, std::string_view bytes, UINT from) {
  DWORD written = 0;
  if (is_console(handle)) {
    std::wstring wide = to_wide(bytes, from);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  UINT to = GetConsoleOutputCP() == CP_UTF8 ? CP_UTF8 : kGbk;
  std::string text = from == to ? std::string(bytes) : from_wide(to_wide(bytes, from), to);
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Output nobody can see makes the rest of the session pointless: say so on
// standard error and end.
[[noreturn]] void output_failed() {
  DWORD error = GetLastError();
  std::string line = "roster: " + message("cannot write to standard output: %s", {windows_error_text(error)}) + "\n";
  write_text(GetStdHandle(STD_ERROR_HANDLE), line, CP_UTF8);
  ExitProcess(output_failed_status);
}

// The console's input mode as the program found it. A Ctrl-C (or a closed
// window) can end the program inside _getwch, which reads with the mode
// off: the handler puts it back first, so the console is left as it was.
// The handler runs on a thread of its own: it stops the program's thread
// first, so that no _getwch begun meanwhile turns the mode off again.
HANDLE console_input = INVALID_HANDLE_VALUE;
DWORD input_mode_at_start = 0;
HANDLE program_thread = nullptr;
HANDLE break_heard = nullptr;  // set once a Ctrl-C event reaches this process

BOOL WINAPI restore_console_mode(DWORD) {
  SuspendThread(program_thread);
  SetConsoleMode(console_input, input_mode_at_start);
  SetEvent(break_heard);
  return FALSE;  // on to the system's handler, which ends the process
}

class WindowsConsole final : public Backend {
 public:
  WindowsConsole()
      : input_(GetStdHandle(STD_INPUT_HANDLE)),
        output_(GetStdHandle(STD_OUTPUT_HANDLE)),
        keyboard_(is_console(input_)),
        screen_(is_console(output_)),
        window_is_own_(keyboard_ && console_has_one_process()) {
    choose_reader_language();
    if (keyboard_ && GetConsoleMode(input_, &input_mode_at_start)) {
      console_input = input_;
      DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &program_thread, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
      break_heard = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      SetConsoleCtrlHandler(restore_console_mode, TRUE);
    }
  }

  bool read_input(std::string& gbk) override {
    return keyboard_ ? read_console_line(gbk) : read_redirected(gbk);
  }

  void write_output(std::string_view gbk) override {
    UINT code_page = GetConsoleOutputCP();
    if (screen_ && code_page != kGbk) {
      std::wstring wide = to_wide(gbk, kGbk);
      DWORD written = 0;
      if (!WriteConsoleW(output_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) output_failed();
      return;
    }
    std::string bytes = !screen_ && code_page == CP_UTF8 ? from_wide(to_wide(gbk, kGbk), CP_UTF8)
                                                         : std::string(gbk);
    std::string_view left = bytes;
    while (!left.empty()) {
      DWORD written = 0;
      if (!WriteFile(output_, left.data(), static_cast<DWORD>(left.size()), &written, nullptr)) output_failed();
      left.remove_prefix(written);
    }
  }

  // The platform's own text is UTF-8 here (file names are).
  void write_error(std::string_view bytes) override { write_text(GetStdHandle(STD_ERROR_HANDLE), bytes, CP_UTF8); }

  void write_platform_output(std::string_view bytes) override { write_text(output_, bytes, CP_UTF8); }

  std::string platform_text(std::string_view gbk) override { return from_wide(to_wide(gbk, kGbk), CP_UTF8); }

  bool has_keyboard() const override { return keyboard_; }
  bool window_is_own() const override { return window_is_own_; }

  int read_key() override {
    if (codes_.empty() && !queue_key()) return -1;
    int code = codes_.front();
    codes_.pop_front();
    return code;
  }

  void wait_for_key() override {
    codes_.clear();
    queue_key();
    codes_.clear();
  }

  // _getwch already reads unechoed, without waiting for Enter.
  void enter_key_mode() override {}
  void leave_key_mode() override {}

  void clear_screen() override {
    if (!screen_) return;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(output_, &info)) return;
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    COORD home = {0, 0};
    DWORD done = 0;
    FillConsoleOutputCharacterW(output_, L' ', cells, home, &done);
    FillConsoleOutputAttribute(output_, info.wAttributes, cells, home, &done);
    SetConsoleCursorPosition(output_, home);
  }

  void sleep_ms(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }

 private:
  // A line typed at the console, read as UTF-16 so any code page works.
  // Ctrl-Z at the start of a line ends the input, as the console has it.
  bool read_console_line(std::string& gbk) {
    if (ended_) return false;
    wchar_t buffer[4096];
    DWORD got = 0;
    BOOL read = ReadConsoleW(input_, buffer, 4096, &got, nullptr);
    if (!read || got == 0) {
      // At Ctrl-C a real console's ReadConsoleW returns with nothing before
      // the Ctrl-C handler has run. That is no end of input: taken for one,
      // a half-typed entry form would end and be saved over the roster. The
      // handler stops this thread and the system ends the process.
      if (break_heard != nullptr && WaitForSingleObject(break_heard, 1000) == WAIT_OBJECT_0) Sleep(INFINITE);
    }
    if (!read || got == 0 || buffer[0] == 0x1A) {
      ended_ = true;
      return false;
    }
    gbk += from_wide(std::wstring_view(buffer, got), kGbk);
    return true;
  }

  // Piped or redirected input: UTF-8 where the console's code page says so,
  // GBK as it is otherwise.
  bool read_redirected(std::string& gbk) {
    for (;;) {
      std::string chunk = held_;
      held_.clear();
      std::size_t before = chunk.size();
      chunk.resize(before + kReadSize);
      DWORD got = 0;
      BOOL ok = ReadFile(input_, chunk.data() + before, kReadSize, &got, nullptr);
      chunk.resize(before + (ok ? got : 0));
      bool last = !ok || got == 0;
      if (GetConsoleCP() == CP_UTF8) {
        std::size_t tail = last ? 0 : unfinished_utf8_tail(chunk);
        held_ = chunk.substr(chunk.size() - tail);
        chunk.resize(chunk.size() - tail);
        chunk = from_wide(to_wide(chunk, CP_UTF8), kGbk);
      }
      gbk += chunk;
      if (!chunk.empty()) return true;
      if (last) return false;
    }
  }

  // Queues the codes of one key. False when the console gives no more keys.
  bool queue_key() {
    wint_t key = _getwch();
    while (key == kCtrlC) {
      interrupt();
      key = _getwch();
    }
    if (key == WEOF) return false;
    if (key == 0 || key == 0xE0) {
      codes_.push_back(static_cast<int>(key));
      codes_.push_back(static_cast<int>(_getwch()));
      return true;
    }
    wchar_t character = static_cast<wchar_t>(key);
    std::string gbk = key < 0x80 ? std::string(1, static_cast<char>(key))
                                 : from_wide(std::wstring_view(&character, 1), kGbk);
    for (char byte : gbk) codes_.push_back(static_cast<unsigned char>(byte));
    if (codes_.empty()) codes_.push_back('?');
    return true;
  }

  // _getwch reads with the console's own Ctrl-C handling off, so a Ctrl-C
  // typed at a key prompt comes as a key. It is no key: it interrupts the
  // program, as everywhere else, through the console's Ctrl-C event. Once
  // the event has reached this process the system ends it; a program
  // started with Ctrl-C ignored never hears it, and goes on.
  static void interrupt() {
    ResetEvent(break_heard);
    if (GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) && WaitForSingleObject(break_heard, 2000) == WAIT_OBJECT_0) {
      Sleep(5000);  // the system's handler ends the process meanwhile
    }
  }

  HANDLE input_;
  HANDLE output_;
  bool keyboard_;
  bool screen_;
  bool window_is_own_;
  bool ended_ = false;
  std::string held_;
  std::deque<int> codes_;
};

}  // namespace

std::unique_ptr<Backend> make_system_backend() {
  return std::make_unique<WindowsConsole>();
}

}  // namespace console
