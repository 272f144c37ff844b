// The built program at a pseudo-terminal, seen as a person sees it: its
// output is fed to a terminal emulator, and the screen's rows and cursor are
// compared with what should stand there. Prompts at every width, lines
// taller than the screen, keys that arrive slowly or with Alt, control
// characters, dumb terminals, and where the echo goes.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "screen.h"
#include "test_support.h"

namespace {

using testing_support::Screen;

const std::vector<std::string> kUtf8Terminal = {"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin"};
const std::string kAskName = "请输入姓名：";
const std::string kAskScores = "请输入三门课的成绩：";
const std::string kPause = "按任意键进行下一步操作";

// Stops the program and continues it, as a shell's Ctrl-Z and fg would,
// without a shell to draw anything meanwhile.
void stop_and_continue(e2e::PtySession& session) {
  session.kill(SIGTSTP);
  session.drain(100);
  session.kill(SIGCONT);
}

std::string file_text(const std::string& name) {
  std::ifstream in(name);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// The program behind its gate on a terminal of `rows` by `columns`, with the
// screen a person would see.
struct seen_program {
  e2e::PtySession session;
  Screen screen;

  seen_program(int rows, int columns, std::vector<std::string> environment = kUtf8Terminal)
      : session(environment, {}, e2e::pty_options{.rows = rows, .columns = columns}), screen(rows, columns) {
    EXPECT_TRUE(e2e::open_gate(session));
  }
  void type(std::string_view keys) { session.send(keys); }
  // Menu item 1: the entry form's name prompt.
  bool open_entry_form() {
    type("1\r");
    return session.wait_for(kAskName);
  }
  // Lets the program draw what it will, and shows it.
  void look() {
    session.settle(60);
    screen.catch_up(session.output());
  }
  // The listing's rows, after the pause that follows an item.
  std::string listing() {
    EXPECT_TRUE(session.wait_for(kPause));
    std::size_t from = session.output().size();
    type("k2\r");
    EXPECT_TRUE(session.wait_for(kPause, from));
    return session.output().substr(from);
  }
};

// How a terminal `columns` wide lays out text written from the start of a
// row: a wide character that does not fit goes to the next row. Gives the
// rows, and sets the cursor's place after the text.
std::vector<std::string> laid_out(const std::string& utf8, int columns, int& cursor_column) {
  std::vector<std::string> rows(1);
  int column = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
    int width = length >= 3 ? 2 : 1;  // the Chinese these tests show
    if (column + width > columns) {
      rows.emplace_back();
      column = 0;
    }
    rows.back() += utf8.substr(i, length);
    column += width;
    i += length;
  }
  cursor_column = column;
  return rows;
}

// The screen's rows up to the cursor read `text` as the terminal lays it out,
// and the cursor stands right after it.
void expect_ends_with(const Screen& screen, const std::string& text, int columns, const std::string& what) {
  int cursor_column = 0;
  std::vector<std::string> rows = laid_out(text, columns, cursor_column);
  int first = screen.cursor_row() - static_cast<int>(rows.size()) + 1;
  ASSERT_GE(first, 0) << what;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(screen.row(first + static_cast<int>(i)), rows[i]) << what << ", row " << i << " of\n" << screen.text();
  }
  EXPECT_EQ(screen.cursor_column(), cursor_column) << what << "\n" << screen.text();
}

TEST(TerminalScreen, TypedTextStartsWhereThePromptEndsAtEveryWidth) {
  // The name prompt takes 12 columns and the score prompt 20: at these widths
  // they end at the margin (12, 6; 20, 10), or their last wide character
  // wraps (9, 19), or they are wider than the screen. Neither the first key
  // nor Ctrl-L may touch them.
  for (int columns : {6, 9, 10, 12, 19, 20}) {
    seen_program program(30, columns);
    std::string at = std::to_string(columns) + " columns";
    ASSERT_TRUE(program.open_entry_form());
    program.type("ab");
    program.look();
    expect_ends_with(program.screen, kAskName + "ab", columns, "name, " + at);
    program.type("\x0c");
    program.look();
    EXPECT_EQ(program.screen.row(0).substr(0, 3), "请") << "Ctrl-L draws the prompt on the top row, " << at;
    expect_ends_with(program.screen, kAskName + "ab", columns, "name after Ctrl-L, " + at);
    std::size_t from = program.session.output().size();
    program.type("\rA\rc\r");
    ASSERT_TRUE(program.session.wait_for(kAskScores, from));
    program.type("1 2");
    program.look();
    expect_ends_with(program.screen, kAskScores + "1 2", columns, "scores, " + at);
    program.type("\x0c");
    program.look();
    expect_ends_with(program.screen, kAskScores + "1 2", columns, "scores after Ctrl-L, " + at);
    program.session.kill(SIGTERM);
  }
}

TEST(TerminalScreen, ALineTallerThanTheScreenIsShownTrueAroundTheCursor) {
  // 480 letters at 40 by 10: the name prompt's row holds 28 of them, the
  // rows after it 40 each.
  seen_program program(10, 40);
  ASSERT_TRUE(program.open_entry_form());
  std::string letters;
  for (int i = 0; i < 480; ++i) letters += static_cast<char>('a' + i % 26);
  program.type(letters);
  program.look();
  program.type("\x1b[HX");  // Home, then X at the start of the line
  program.look();
  EXPECT_EQ(program.screen.row(0), kAskName + "X" + letters.substr(0, 27)) << program.screen.text();
  EXPECT_EQ(program.screen.cursor_row(), 0);
  EXPECT_EQ(program.screen.cursor_column(), 13);
  program.type("\x1b[FYZ");  // End, then YZ
  program.look();
  std::string line = "X" + letters + "YZ";  // 483 characters: rows 0 to 12, the last holding 15
  for (int row = 0; row < 10; ++row) {
    EXPECT_EQ(program.screen.row(row), line.substr(static_cast<std::size_t>(28 + (row + 2) * 40), 40))
        << "screen row " << row << " is the line's row " << row + 3 << "\n" << program.screen.text();
  }
  EXPECT_EQ(program.screen.cursor_row(), 9);
  EXPECT_EQ(program.screen.cursor_column(), 15);
  program.type("\rA\rc\r1 2 3\r#\r");
  EXPECT_NE(program.listing().find("No.1\t\tXabcdefghijklmnopqr\tA\t"), std::string::npos);
}

TEST(TerminalScreen, ControlCharactersShowAsOneQuestionMarkEach) {
  seen_program program(24, 80);
  ASSERT_TRUE(program.open_entry_form());
  program.type("a\x07\xc2\x9b\xc2\x85" "b");  // BEL, then CSI and NEL as UTF-8 (C1)
  program.look();
  expect_ends_with(program.screen, kAskName + "a???b", 80, "C0 and C1 controls");
  program.type("\rA\rc\r1 2 3\r#\r");
  EXPECT_NE(program.listing().find("No.1\t\ta???b\tA\t"), std::string::npos);
}

TEST(TerminalKeys, AltAndAKeyEditsByWordsOrDoesNothingAndEscAloneClears) {
  seen_program program(24, 80);
  ASSERT_TRUE(program.open_entry_form());
  const char* names[] = {
      "zhang san\x1b" "bX",          // Alt-B: before "san"
      "zhang san\x01\x1b" "fY",      // Alt-F from the start: after "zhang"
      "zhang san\x01\x1b" "d",       // Alt-D: "zhang" goes
      "zhang san\x1b\x7f",           // Alt-Backspace: "san" goes
      "ab\x1bxc",                    // Alt-X: nothing
      "ab\x1b]xc",                   // Alt-] and a key at once: the key
      "ab\x1b]\x1b]\x1b]c",           // Alt-] held down: nothing
      "ab\x1b[M !!\x1b[M#!!c",        // an X10 mouse click: nothing
  };
  for (const char* name : names) program.type(std::string(name) + "\rA\rc\r1 2 3\r");
  program.type("crlf\r\nA\r\nc\r\n1 2 3\r\n");  // a terminal that sends CR LF for Enter
  program.type("junk\x1b");  // Esc alone, no key after it: the line is cleared
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  program.type("ok\rA\rc\r1 2 3\r#\r");
  std::string rows = program.listing();
  for (const char* stored : {"zhang Xsan", "zhangY san", " san", "zhang ", "abc", "abxc", "crlf", "ok"}) {
    EXPECT_NE(rows.find(std::string("\t\t") + stored + "\tA\t"), std::string::npos) << stored << " in\n" << rows;
  }
}

// Alt with a Chinese character is one whole key at the pause, none of its
// bytes left over for the menu's next line, and three keys at the gate (Esc
// and its two GBK bytes); a terminal's string answer is no key at either.
TEST(TerminalKeys, AltWithAChineseCharacterIsOneKeyAndAStringAnswerNone) {
  const std::string osc = "\x1b]11;rgb:0000/0000/0000\x1b\\";
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(session.wait_for("请输入管理员密码："));
  std::size_t from = session.output().size();
  session.send("\x1b\xe5\xbc\xa0");  // Alt-张
  session.settle();
  EXPECT_EQ(session.shown_since(from), "***");
  // An answer split after its Esc ], as over a slow link, and a mouse click.
  session.send("\b\b\b9071\x1b]");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  session.send(osc.substr(2) + "\x1bP1$r0m\x1b\\" "\x1b[M !!35\r");
  ASSERT_TRUE(session.wait_for("请输入相应的数字", from)) << session.shown_since(from);
  session.send("2\r");
  ASSERT_TRUE(session.wait_for(kPause, from));
  session.settle();
  from = session.output().size();
  session.send(osc + "\x1b]10;?\x07");
  session.settle(300);
  EXPECT_EQ(session.shown_since(from), "") << "a string answer answered the pause";
  session.send("\x1b\xe5\xbc\xa0");
  session.settle(100);
  session.send("6 A01\r");
  EXPECT_TRUE(session.wait_for("未找到此人", from)) << session.shown_since(from);
  session.kill(SIGKILL);
}

TEST(TerminalKeys, UpRecallsNoFurtherBackThanThe200NewestLines) {
  seen_program program(24, 80);
  ASSERT_TRUE(program.open_entry_form());
  // "1" and 63 students' four lines: 253 lines, the oldest 53 forgotten.
  for (int i = 0; i < 63; ++i) {
    std::string n = std::to_string(i);
    program.type("n" + n + "\rs" + n + "\rc" + n + "\r" + n + " 0 0\r");
  }
  std::string up;
  for (int i = 0; i < 300; ++i) up += "\x1b[A";
  program.type(up + "\rs\rc\r1 2 3\r#\r");
  EXPECT_NE(program.listing().find("No.64\t\tn13\ts\tc\t"), std::string::npos);
}

TEST(TerminalKeys, KeysWhoseBytesArriveSlowlyAreReadWhole) {
  seen_program program(24, 80);
  ASSERT_TRUE(program.open_entry_form());
  // A slow link splits Left after Esc and after Esc [, and a Chinese
  // character between its bytes.
  auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); };
  program.type("abc\x1b");
  pause();
  program.type("[DX\rA\rc\r1 2 3\r");
  program.type("abc\x1b[");
  pause();
  program.type("DY\rB\rc\r1 2 3\r");
  program.type("k\xe4");
  pause();
  program.type("\xb8\xad");
  program.look();
  expect_ends_with(program.screen, kAskName + "k中", 80, "a character split between its bytes");
  program.type("\x7f\rC\rc\r1 2 3\r#\r");
  std::string rows = program.listing();
  for (const char* stored : {"\t\tabXc\tA\t", "\t\tabYc\tB\t", "\t\tk\tC\t"}) {
    EXPECT_NE(rows.find(stored), std::string::npos) << stored << " in\n" << rows;
  }
}

TEST(TerminalKeys, OutputHeldByCtrlSIsShownWhenReleased) {
  // Ctrl-S holds the terminal's output: the echo waits, on a terminal
  // someone made non-blocking too, and a signal meanwhile loses none of it.
  for (bool nonblocking : {false, true}) {
    e2e::PtySession session(kUtf8Terminal, {}, {.nonblocking_input = nonblocking});
    ASSERT_TRUE(e2e::open_gate(session));
    session.send("1\r");
    ASSERT_TRUE(session.wait_for(kAskName));
    session.settle();
    session.send("\x13" "abc");
    session.drain(200);
    session.kill(SIGTSTP);  // no shell can stop it here: the handler runs and goes on
    session.drain(200);
    std::size_t from = session.output().size();
    session.send("\x11");
    EXPECT_TRUE(session.wait_for("c", from)) << (nonblocking ? "non-blocking" : "blocking");
    Screen screen(24, 80);
    session.settle();
    screen.catch_up(session.output());
    expect_ends_with(screen, kAskName + "abc", 80, nonblocking ? "non-blocking" : "blocking");
    session.kill(SIGTERM);
  }
}

TEST(TerminalKeys, BetweenThePauseAndTheNextLineTheTerminalEchoesNothing) {
  // Ctrl-S holds the menu that follows the pause: while the program waits to
  // write it, keys typed must stay the program's, unechoed by the terminal.
  e2e::PtySession session(kUtf8Terminal);
  ASSERT_TRUE(e2e::open_gate(session));
  session.send("2\r");
  ASSERT_TRUE(session.wait_for(kPause));
  session.settle();
  session.send("\x13" "k");
  session.drain(300);
  tcflag_t line_mode = session.settings().c_lflag & (ECHO | ICANON);
  session.send("\x11");
  EXPECT_EQ(line_mode, 0u) << "the terminal's own line mode came back between the pause and the menu";
  EXPECT_TRUE(session.wait_for("请输入相应的数字"));
  session.kill(SIGTERM);
}

TEST(DumbTerminals, GetNoEscapeSequencesAndEditLinesThemselves) {
  // TERM=dumb, emacs, or no TERM at all: the program edits and echoes the
  // lines plainly (an insert mid-line, Ctrl-L), nothing is cleared. In an
  // editor's shell buffer (Emacs's: INSIDE_EMACS, a dumb terminal without
  // echo) the buffer shows the line, and the program draws none of it.
  const std::string program = e2e::program_path();
  for (const char* term : {"TERM=dumb", "TERM=emacs", "TERM=cons25", "TERM=", "NO_TERM=1", "INSIDE_EMACS=29.1,comint"}) {
    bool in_editor = std::string(term).starts_with("INSIDE_EMACS");
    std::vector<std::string> environment = {"LANG=C.UTF-8", term, "PATH=/usr/bin:/bin"};
    if (in_editor) environment.push_back("TERM=dumb");
    e2e::PtySession session(environment, {"/bin/sh", "-c", (in_editor ? "stty -echo; exec '" : "exec '") + program + "'"});
    ASSERT_TRUE(e2e::open_gate(session)) << term;
    session.send("1\r");
    ASSERT_TRUE(session.wait_for(kAskName)) << term;
    std::size_t typed_from = session.output().size();
    session.send("zx\x1b[Dhq\x7f\x0c\r");
    ASSERT_TRUE(session.wait_for("请输入学号")) << term;
    std::string drawn = session.output().substr(typed_from);
    EXPECT_EQ(drawn.find("zhx") == std::string::npos, in_editor) << term << ": the line drawn or not as it should be\n" << drawn;
    session.send("A\rc\r1 2 3\r#\r");
    ASSERT_TRUE(session.wait_for(kPause)) << term;
    std::size_t from = session.output().size();
    session.send("k2\r");
    EXPECT_TRUE(session.wait_for("No.1\t\tzhx\tA\tc\t", from)) << term;
    session.send("k0\r");
    EXPECT_EQ(session.wait().exit_status, 0) << term;
    EXPECT_EQ(session.output().find('\x1b'), std::string::npos) << term << ": an escape sequence was sent";
  }
}

TEST(EchoDestination, TheEchoGoesToTheTerminalAndNeverIntoAFile) {
  // Standard output into a file, standard input the terminal as usual or
  // opened for reading only.
  for (std::string input : {"", "< /dev/tty", "< /dev/tty 2> /dev/null"}) {
    char file_name[] = "/tmp/roster-echo-XXXXXX";
    int fd = mkstemp(file_name);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string command = "exec '" + std::string(e2e::program_path()) + "' " + input + " > " + file_name;
    e2e::PtySession session(kUtf8Terminal, {"/bin/sh", "-c", command});
    auto file = [&] { return file_text(file_name); };
    auto file_shows = [&](const std::string& text) {
      for (int i = 0; i < 250 && file().find(text) == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      return file().find(text) != std::string::npos;
    };
    ASSERT_TRUE(file_shows("请输入管理员密码：")) << input;
    session.send("907135\r");
    ASSERT_TRUE(file_shows("请输入相应的数字")) << input;
    session.send("1\r");
    ASSERT_TRUE(file_shows(kAskName)) << input;
    session.send("echoed");
    session.settle();
    EXPECT_NE(session.shown_since(0).find("echoed"), std::string::npos) << input << ": typed blind";
    std::size_t from = session.output().size();
    stop_and_continue(session);
    EXPECT_TRUE(session.wait_for(kAskName, from)) << input << ": after a stop the prompt never came back";
    session.send("\rA\rc\r1 2 3\r#\r");
    ASSERT_TRUE(file_shows(kPause)) << input;
    std::size_t before_stop = file().size();
    stop_and_continue(session);  // at the pause: drawn again on the terminal alone
    session.drain(200);
    EXPECT_EQ(file().size(), before_stop) << input << ": the redraw went into the file";
    session.send("k0\r");
    EXPECT_EQ(session.wait().exit_status, 0) << input;
    EXPECT_EQ(file().find("echoed"), std::string::npos) << input << ": the echo went into the file";
    unlink(file_name);
  }
}

std::size_t count_of(const std::string& text, const std::string& part, std::size_t from) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part, from); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Resizes and stops at a terminal: the line is drawn again at once and once,
// a storm of resizes included, also by a program started with SIGWINCH and
// SIGCONT blocked; a resize at the gate or the pause never ends its keys.
TEST(TerminalWaits, ResizesAndStopsAreAnsweredAtOnceAndOnce) {
  for (bool blocked : {false, true}) {
    std::vector<std::string> argv = {e2e::program_path()};
    if (blocked) {
      argv = {"/usr/bin/perl", "-MPOSIX", "-e",
              "sigprocmask(SIG_BLOCK, POSIX::SigSet->new(" + std::to_string(SIGWINCH) + ", " +
                  std::to_string(SIGCONT) + ")); exec @ARGV",
              e2e::program_path()};
    }
    e2e::PtySession session(kUtf8Terminal, argv);
    ASSERT_TRUE(session.wait_for("请输入管理员密码：")) << blocked;
    session.resize(24, 70);
    session.send("907135\r");
    ASSERT_TRUE(session.wait_for("请输入相应的数字")) << blocked << ": a resize at the gate ended its keys";
    std::size_t from = session.output().size();
    session.send("7\r");
    ASSERT_TRUE(session.wait_for(kPause, from)) << blocked;
    session.settle();
    from = session.output().size();
    session.resize(24, 60);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    stop_and_continue(session);
    EXPECT_TRUE(session.wait_for(kPause, from, 1000)) << blocked << ": a stop inside a resize's settling";
    session.settle(200);
    from = session.output().size();
    session.send("k1\r");
    ASSERT_TRUE(session.wait_for(kAskName, from)) << blocked << ": a resize at the pause ended its keys";
    session.send("ab");
    session.settle();
    from = session.output().size();
    for (int i = 0; i < 10; ++i) {
      session.resize(24, 50 + i);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    session.settle(400);
    EXPECT_EQ(count_of(session.output(), kAskName, from), 1u) << blocked << ": a storm of resizes, drawn once";
    from = session.output().size();
    stop_and_continue(session);
    session.settle(300);
    EXPECT_EQ(count_of(session.output(), kAskName, from), 1u) << blocked << ": brought back, drawn at once";
    session.kill(SIGKILL);
  }
}

// A resize between the bytes of a key a slow link split gives one redraw,
// laid out for the new width; after a stop at the pause, the cursor stands
// on the row after the pause line.
TEST(TerminalWaits, AResizeInsideAKeyAndAStopAtThePauseAreDrawnRight) {
  seen_program program(24, 80);
  ASSERT_TRUE(program.open_entry_form());
  program.type("ab\xe5");  // the first byte of 张
  program.session.settle(100);
  std::size_t from = program.session.output().size();
  program.session.resize(24, 40);
  program.session.settle(100);
  program.type("\xbc\xa0");
  program.session.settle();
  EXPECT_EQ(count_of(program.session.output(), kAskName, from), 1u);
  Screen narrow(24, 40);
  narrow.catch_up(program.session.output());
  EXPECT_EQ(narrow.row(narrow.cursor_row()), kAskName + "ab张") << narrow.text();
  program.type("\rA\rc\r1 2 3\r#\r");
  ASSERT_TRUE(program.session.wait_for(kPause, from));
  stop_and_continue(program.session);
  program.session.settle(200);
  narrow.catch_up(program.session.output());
  EXPECT_EQ(narrow.row(narrow.cursor_row() - 1), kPause) << narrow.text();
  EXPECT_EQ(narrow.cursor_column(), 0);
}

// Stopped and brought back with no shell to start a fresh row, the cursor
// still after what was typed: the password prompt and the name prompt are
// drawn again on a row of their own.
TEST(TerminalWaits, BroughtBackMidRowThePromptStartsARowOfItsOwn) {
  e2e::PtySession session(kUtf8Terminal);
  Screen screen(24, 80);
  ASSERT_TRUE(session.wait_for("请输入管理员密码："));
  for (auto [keys, prompt] : {std::pair{"90", std::string("请输入管理员密码：**")}, {"7135\r1\rab", kAskName + "ab"}}) {
    session.send(keys);
    session.settle();
    screen.catch_up(session.output());
    int row = screen.cursor_row();
    stop_and_continue(session);
    session.settle(200);
    screen.catch_up(session.output());
    EXPECT_EQ(screen.row(row), prompt);
    EXPECT_EQ(screen.row(row + 1), prompt) << screen.text();
  }
  session.kill(SIGKILL);
}

// Standard input a terminal other than the controlling one: it counts as in
// the foreground, and the program goes on at it rather than stopping.
TEST(TerminalWaits, ATerminalThatIsNotTheControllingOneCountsAsTheForeground) {
  int master = -1, other = -1;
  ASSERT_EQ(openpty(&master, &other, nullptr, nullptr, nullptr), 0);
  // A foreground job of an interactive shell, so that a stop for the terminal would stop it.
  e2e::PtySession controlling({"LANG=C.UTF-8", "TERM=xterm", "PATH=/usr/bin:/bin", "PS1=$ "},
                              {"/bin/bash", "--norc", "--noprofile", "-i"});
  ASSERT_TRUE(controlling.wait_for("$ "));
  controlling.send("'" + std::string(e2e::program_path()) + "' <> " + ttyname(other) + " >&0\r");
  std::string seen;
  auto shows = [&](const std::string& text) {
    for (int i = 0; i < 250 && seen.find(text) == std::string::npos; ++i) {
      struct pollfd ready {master, POLLIN, 0};
      char buffer[4096];
      if (poll(&ready, 1, 20) > 0) {
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0) seen.append(buffer, static_cast<std::size_t>(n));
      }
    }
    return seen.find(text) != std::string::npos;
  };
  ASSERT_TRUE(shows("请输入管理员密码："));
  ASSERT_EQ(write(master, "907135\r", 7), 7);
  EXPECT_TRUE(shows("请输入相应的数字")) << seen;
  std::size_t from = controlling.output().size();
  ASSERT_EQ(write(master, "0\r", 2), 2);
  EXPECT_TRUE(controlling.wait_for("$ ", from));
  controlling.send("exit\r");
  controlling.wait();
  close(other);
  close(master);
}

// Standard output through a pipe to the same screen, or another terminal:
// what is typed never erases the prompt the pipe showed, nor lands where a
// prompt stands on the other screen.
// Where the prompt went another way, the line is laid out from where it
// really starts on the row: after the prompt a pipe's reader showed, at the
// row's start where the prompt went into a file or to another terminal.
// Backspace never steps back over a prompt the program did not draw, and a
// line typed ahead is drawn only once the reader has shown its prompt.
TEST(EchoDestination, ALineTypedNeverErasesAPromptThatCameThroughAPipe) {
  int other_master = -1, other = -1;
  ASSERT_EQ(openpty(&other_master, &other, nullptr, nullptr, nullptr), 0);
  char file_name[] = "/tmp/roster-prompt-XXXXXX";
  int fd = mkstemp(file_name);
  ASSERT_GE(fd, 0);
  close(fd);
  struct output_case {
    std::string to;
    bool prompt_on_screen;
    bool typed_ahead = false;
  };
  const output_case cases[] = {
      {"| cat", true},
      {"| tee /dev/null", true},
      {"| (sleep 0.5; exec cat)", true, true},
      {std::string("> ") + file_name, false},
      {"> " + std::string(ttyname(other)), false},
  };
  // 25 letters and 10 Backspaces after the prompt's 12 columns wrap at 30
  // columns only where the prompt stands before them.
  const std::string keys = "zhang" + std::string(30, '\x7f') + "abcdefghijklmnopqrstuvwxy" + std::string(10, '\x7f');
  for (const output_case& c : cases) {
    e2e::PtySession session(kUtf8Terminal, {"/bin/sh", "-c", "'" + std::string(e2e::program_path()) + "' " + c.to},
                            e2e::pty_options{.rows = 24, .columns = 30});
    if (c.typed_ahead) {
      session.settle(100);
      session.send("907135\r1\r" + keys);
    } else {
      session.send("907135\r");
      session.settle(300);
      session.send("1\r");
      session.settle(300);
      session.send(keys);
    }
    session.settle(c.typed_ahead ? 1500 : 300);
    Screen screen(24, 30);
    screen.catch_up(session.output());
    EXPECT_EQ(screen.row(screen.cursor_row()), (c.prompt_on_screen ? kAskName : "") + "abcdefghijklmno")
        << c.to << ":\n" << screen.text();
    session.kill(SIGKILL);
  }
  unlink(file_name);
  close(other);
  close(other_master);
}

// A pipe's reader that does not read (stopped, or `| sleep`) is waited for
// once, not a second at every line of a pasted session.
TEST(EchoDestination, APipeNobodyReadsHoldsAPastedSessionOnce) {
  char done[] = "/tmp/roster-done-XXXXXX";
  int fd = mkstemp(done);
  ASSERT_GE(fd, 0);
  close(fd);
  unlink(done);
  e2e::PtySession session(kUtf8Terminal, {"/bin/sh", "-c", "{ '" + std::string(e2e::program_path()) +
                                                                "'; echo $? > " + done + "; } | sleep 20"});
  session.settle(200);
  std::string paste = "907135\r1\r";
  for (int i = 0; i < 8; ++i) paste += "n" + std::to_string(i) + "\rA0" + std::to_string(i) + "\rc\r1 2 3\r";
  session.send(paste + "#\rk2\rk0\r");  // 38 lines
  auto start = std::chrono::steady_clock::now();
  while (file_text(done).empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(12)) {
    session.drain(100);
  }
  EXPECT_EQ(file_text(done), "0\n") << "the session did not end within 12 s (a second a line would take 38)";
  session.kill(SIGKILL);
  unlink(done);
}

// Whatever standard output is (a pipe to the same screen, a file) and
// whatever the terminal (GBK or UTF-8, dumb): a session pasted while the
// gate reads keys shows each answer after its prompt, Backspace takes back a
// whole character on the screen and in what is stored, and a resize mid-line
// ends nothing.
TEST(EchoDestination, WhateverTheOutputEachAnswerIsShownAndStoredAsTyped) {
  struct output_case {
    const char* lang;
    const char* term;
    const char* to;  // appended to the command; "> FILE" is a file
  };
  const output_case cases[] = {
      {"zh_CN.GBK", "xterm", "| cat"}, {"zh_CN.GBK", "xterm", "> FILE"}, {"C.UTF-8", "xterm", "| cat"},
      {"zh_CN.GBK", "dumb", ""},       {"C.UTF-8", "dumb", "| cat"},
  };
  for (const output_case& c : cases) {
    bool at_gbk = std::string(c.lang) == "zh_CN.GBK";
    auto encoded = [&](const std::string& utf8) { return at_gbk ? testing_support::gbk(utf8) : utf8; };
    std::string what = std::string(c.lang) + " TERM=" + c.term + " " + c.to;
    char file_name[] = "/tmp/roster-out-XXXXXX";
    int fd = mkstemp(file_name);
    ASSERT_GE(fd, 0);
    close(fd);
    std::string to = c.to;
    bool into_file = to == "> FILE";
    if (into_file) to = std::string("> ") + file_name;
    e2e::PtySession session({std::string("LANG=") + c.lang, std::string("TERM=") + c.term, "PATH=/usr/bin:/bin"},
                            {"/bin/sh", "-c", "exec '" + std::string(e2e::program_path()) + "' " + to});
    auto output = [&] { return into_file ? file_text(file_name) : session.output(); };
    auto shows = [&](const std::string& text) {
      for (int i = 0; i < 100 && output().find(text) == std::string::npos; ++i) session.drain(50);
      return output().find(text) != std::string::npos;
    };
    session.drain(200);
    session.send(encoded("907135\r1\r张\x7f" "a\rA01\r一班\r90 80 70\r#\r"));
    ASSERT_TRUE(shows(encoded(kPause))) << what;
    session.send("k2");
    session.settle();
    session.resize(24, 60);
    session.settle(300);
    session.send("\r");
    EXPECT_TRUE(shows(encoded("No.1\t\ta\tA01\t一班\t"))) << what << ": not stored as shown, or a resize ended it";
    Screen screen(24, 80, at_gbk ? "GBK" : "UTF-8");
    screen.catch_up(session.output());
    std::string rows = screen.text();
    for (std::string answered : {"请输入姓名：a", "请输入学号：A01", "请输入班级：一班", "请输入三门课的成绩：90 80 70"}) {
      if (into_file) answered = answered.substr(answered.find("：") + 3);
      EXPECT_NE(rows.find("\n" + answered + "\n"), std::string::npos) << what << ": " << answered << " in\n" << rows;
    }
    session.kill(SIGKILL);
    unlink(file_name);
  }
}

// A tmux pane, a terminal that reflows its rows when it is resized as most
// do now (a row the program ended with a line break is cut into rows of the
// new width).
class TmuxPane {
 public:
  TmuxPane(int rows, int columns, const std::string& command)
      : socket_("roster-test-" + std::to_string(getpid())) {
    tmux({"new-session", "-d", "-s", "t", "-x", std::to_string(columns), "-y", std::to_string(rows), command});
  }
  ~TmuxPane() { tmux({"kill-server"}); }

  void type(const std::string& keys) { tmux({"send-keys", "-t", "t", "-l", keys}); }
  void resize(int rows, int columns) {
    tmux({"resize-window", "-t", "t", "-x", std::to_string(columns), "-y", std::to_string(rows)});
  }
  // Waits until the pane shows `text`.
  bool shows(const std::string& text) {
    for (int i = 0; i < 250; ++i) {
      if (screen().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  std::string screen() { return tmux({"capture-pane", "-p", "-t", "t"}); }
  std::vector<std::string> rows() {
    std::vector<std::string> all;
    std::istringstream lines(screen());
    for (std::string row; std::getline(lines, row);) all.push_back(row);
    return all;
  }
  int cursor(const char* which) { return std::stoi(tmux({"display-message", "-p", "-t", "t", which})); }

 private:
  std::string tmux(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"tmux", "-u", "-f", "/dev/null", "-L", socket_});
    int out[2];
    if (pipe(out) != 0) return "";
    pid_t child = fork();
    if (child == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      for (std::string& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      setenv("LANG", "C.UTF-8", 1);
      execvp("tmux", argv.data());
      _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    waitpid(child, nullptr, 0);
    return text;
  }

  std::string socket_;
};

TEST(TerminalScreen, AResizeMidLineDrawsThePromptAndTheLineAgainWhole) {
  TmuxPane pane(24, 30, "env LANG=C.UTF-8 '" + std::string(e2e::program_path()) + "'");
  ASSERT_TRUE(pane.shows("请输入管理员密码："));
  pane.type("907135\r");
  ASSERT_TRUE(pane.shows("请输入相应的数字"));
  pane.type("1\r");
  ASSERT_TRUE(pane.shows(kAskName));
  pane.type("abcdefghijklmnopqrs");  // 12 + 19 columns: wraps at 30
  ASSERT_TRUE(pane.shows("s"));
  pane.resize(24, 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  pane.type("t");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::vector<std::string> rows = pane.rows();
  int row = pane.cursor("#{cursor_y}");
  ASSERT_GE(row, 1);
  ASSERT_LT(row, static_cast<int>(rows.size()));
  EXPECT_EQ(rows[static_cast<std::size_t>(row) - 1], kAskName + "abcdefgh") << pane.screen();
  EXPECT_EQ(rows[static_cast<std::size_t>(row)], "ijklmnopqrst") << pane.screen();
  EXPECT_EQ(pane.cursor("#{cursor_x}"), 12);
}

}  // namespace
