// Lines typed at a terminal, without a terminal: keys played back into the
// line reader, then the lines it took and the screen its drawing leaves (in
// a terminal emulator), with the cursor where a person would see it.
#include <gtest/gtest.h>

#include "terminal/line_reader.h"
#include "scripted_terminal.h"
#include "screen.h"

namespace {

using console::LineEditor;
using console::LineReader;
using console::ScriptedTerminal;
using console::TerminalCharset;

const std::string kLeft = "\x1b[D", kRight = "\x1b[C", kUp = "\x1b[A", kDown = "\x1b[B", kHome = "\x1b[H",
                  kEnd = "\x1b[F", kDelete = "\x1b[3~", kBackspace = "\x7f";

std::string times(int count, const std::string& keys) {
  std::string all;
  for (int i = 0; i < count; ++i) all += keys;
  return all;
}

struct typing {
  const char* what;
  std::vector<std::string> chunks;  // keys; a new chunk comes after a pause
  std::vector<int> gaps;            // or, where given, this many ms after the one before
  std::vector<std::string> lines;   // what Enter took, in order
  std::vector<std::string> screen;  // the screen's top rows at the end (unchecked when empty)
  int cursor_row = -1, cursor_column = -1;
  std::string prompt = "> ";
  int columns = 20;
  int rows = 6;
  bool plain = false;  // drawn plainly, as on a dumb terminal or with the prompt through a pipe
};

// Keys, and the lines they give.
typing gives(const char* what, std::vector<std::string> chunks, std::vector<std::string> lines) {
  typing t;
  t.what = what;
  t.chunks = std::move(chunks);
  t.lines = std::move(lines);
  return t;
}

// Keys, and the screen's top rows and cursor they leave (a line still being typed).
typing shows(const char* what, std::vector<std::string> chunks, std::vector<std::string> screen, int row,
             int column, std::string prompt = "> ", int columns = 20) {
  typing t = gives(what, std::move(chunks), {});
  t.screen = std::move(screen);
  t.cursor_row = row;
  t.cursor_column = column;
  t.prompt = std::move(prompt);
  t.columns = columns;
  return t;
}

// Bytes that arrive with gaps between them (in ms, before each but the
// first), and the lines they give.
typing arriving(const char* what, std::vector<std::pair<int, std::string>> arrivals, std::vector<std::string> lines) {
  typing t = gives(what, {}, std::move(lines));
  for (auto& [gap, bytes] : arrivals) {
    t.gaps.push_back(gap);
    t.chunks.push_back(std::move(bytes));
  }
  return t;
}

// The same, drawn plainly.
typing plainly(typing t) {
  t.plain = true;
  return t;
}

// The same, and the lines Enter took on the way.
typing taking(std::vector<std::string> lines, typing t) {
  t.lines = std::move(lines);
  return t;
}

struct typed {
  std::vector<std::string> lines;
  std::string drawn;
  std::unique_ptr<testing_support::Screen> screen;
};

// Reads lines until the keys run out. The prompt is written before each
// line, as the program writes it, where the drawing left the cursor.
typed type_at_terminal(const typing& t, const char* charset = "UTF-8") {
  ScriptedTerminal terminal(t.chunks, t.columns, t.rows);
  for (std::size_t i = 0; i < t.gaps.size(); ++i) terminal.arrive_after(i, t.gaps[i]);
  LineReader reader(terminal, charset, {.plain = t.plain, .can_clear = !t.plain});
  typed result;
  std::string line;
  terminal.write(t.prompt);
  while (reader.read_line(line, t.prompt)) {
    result.lines.push_back(line);
    terminal.write(t.prompt);
  }
  result.screen = std::make_unique<testing_support::Screen>(t.rows, t.columns, charset);
  result.screen->catch_up(terminal.drawn());
  result.drawn = terminal.drawn();
  return result;
}

TEST(LineReader, KeysEditTheLineAndTheScreenShowsIt) {
  std::vector<typing> cases = {
      shows("a character typed mid-line lands in its place, the rest after it",
            {"abc" + kLeft + kLeft + "X"}, {"> aXbc"}, 0, 4),
      gives("Ctrl-B moves left and Ctrl-F right", {"abc\x02\x02X\x06\x06Y\r"}, {"aXbcY"}),
      gives("Right at the end of the line does nothing", {"ab" + kRight + kLeft + "X\r"}, {"aXb"}),
      gives("Delete on the last character erases it", {"ab" + kLeft + kDelete + "\r"}, {"a"}),
      gives("Ctrl-D mid-line deletes under the cursor and keeps the line", {"abc" + kHome + "\x04\r\x04"}, {"bc"}),
      gives("Ctrl-W erases the whole first word", {"abc\x17x\r"}, {"x"}),
      gives("Ctrl-W takes blanks, then the word before them", {"one two  \x17" "2\r"}, {"one 2"}),
      taking({"abcdefghijklmnopqrstuvwxy"},
             shows("Enter mid-line takes the whole line and leaves the cursor after it",
                   {"abcdefghijklmnopqrstuvwxy" + kHome + "\r"}, {"> abcdefghijklmnopqr", "stuvwxy", ">"}, 2, 2)),
      shows("Ctrl-L clears the screen and draws the prompt on the top row", {"ab\x0c"}, {"> ab", ""}, 0, 4),
      gives("a Tab is stored as a Tab", {"a\tb\r"}, {"a\tb"}),
      gives("Esc O sequences are read to their end", {"a\x1bOD" "X\x1bOPb\r"}, {"Xba"}),
      gives("Esc alone clears the line", {"junk\x1b", "ok\r"}, {"ok"}),
      gives("Esc and Esc: the first clears, the second waits for its key", {"junk\x1b\x1b", "ok\r"}, {"ok"}),
      gives("Alt-B and Alt-F move by words", {"zhang san\x1b" "bX\x1b" "b\x1b" "b\x1b" "fY\r"}, {"zhangY Xsan"}),
      gives("Alt-D erases the word after the cursor", {"zhang san" + kHome + "\x1b" "d\r"}, {" san"}),
      gives("Alt-Backspace erases the word before it", {"zhang san-3\x1b\x7f\x1b\x7f\r"}, {"zhang "}),
      gives("Alt and any other key leaves the line alone", {"ab\x1bxc\x1b" "\xe4\xb8\xad" "d\r"}, {"abcd"}),
      gives("a sequence longer than 32 bytes is read to its end, never as text",
            {"ab\x1b[" + std::string(40, '9') + "~c\x1b[1" + std::string(40, ';') + "DX\r"}, {"abXc"}),
      gives("a byte that cuts a sequence short is still a key", {"a\x1b[\x01X\r"}, {"Xa"}),
      gives("Esc, then Enter at once: the Esc clears, the Enter takes the line", {"ab\x1b\r", "c\r"}, {"", "c"}),
      gives("Ctrl-H erases like Backspace, Ctrl-E goes to the end", {"abc\x08" + kHome + "\x05X\r"}, {"abX"}),
      gives("Ctrl-P recalls older lines, Ctrl-N newer", {"one\rtwo\r\x10\x10\r\x10\x10\x10\x0e\r"},
            {"one", "two", "one", "two"}),
      gives("Ctrl-W stops at a Tab", {"one\ttwo\x17\r"}, {"one\t"}),
      gives("capitals belong to a word; Alt-F and Alt-D at a blank go on to the next word",
            {"Ab Cd Ef" + kHome + "\x1b" "f\x1b" "fX\x1b" "d\x1b" "bY\r"}, {"Ab YCdX"}),
      shows("control characters show as one '?' each, C1 ones included", {"a\x07\xc2\x9b\xc2\x85" "b"},
            {"> a???b"}, 0, 7),
      shows("a no-break space shows as itself; bytes that are not UTF-8 as '?'", {"a\xc2\xa0\xff" "b"},
            {"> a\xc2\xa0?b"}, 0, 6),
      gives("a recalled line counts its own bytes: typing stops at 4,095",
            {std::string(4000, 'a') + "\r" + kUp + std::string(200, 'b') + "\r"},
            {std::string(4000, 'a'), std::string(4000, 'a') + std::string(95, 'b')}),
      shows("a character that fills the row to the margin leaves the cursor on the next row", {"abcdefgh"},
            {"> abcdefgh", ""}, 1, 0, "> ", 10),
      shows("drawn again whole, such a line leaves the cursor on the next row too", {"abcdefgh" + kLeft + kRight},
            {"> abcdefgh", ""}, 1, 0, "> ", 10),
      shows("a line exactly as tall as the screen scrolls nothing: after a Backspace the prompt stands once",
            {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuv" + kBackspace},
            {"> abcdefgh", "ijklmnopqr", "stuvwxyzab", "cdefghijkl", "mnopqrstu", ""}, 4, 9, "> ", 10),
      shows("a row more scrolls the screen once: after a Backspace the prompt is drawn back on the top row",
            {"abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdef" + kBackspace},
            {"> abcdefgh", "ijklmnopqr", "stuvwxyzab", "cdefghijkl", "mnopqrstuv", "wxyzabcde"}, 5, 9, "> ", 10),
      taking({""}, shows("Enter on an empty line after a prompt at the margin leaves no blank row", {"\r"},
                         {"0123456789", "0123456789"}, 1, 9, "0123456789", 10)),
      shows("a Chinese character takes two columns in UTF-8", {"\xe4\xb8\xad" "b"}, {"> \xe4\xb8\xad" "b"}, 0, 5),
      gives("a four-byte character is one character", {"a\xf0\xa0\x80\x80" "b" + kBackspace + kBackspace + "\r"}, {"a"}),
      shows("a prompt wider than the screen: the line starts where it really ends", {"ab"},
            {"\xe8\xaf\xb7\xe8\xbe\x93\xe5\x85\xa5\xe5\xa7\x93", "\xe5\x90\x8d\xef\xbc\x9a" "ab"}, 1, 6,
            "\xe8\xaf\xb7\xe8\xbe\x93\xe5\x85\xa5\xe5\xa7\x93\xe5\x90\x8d\xef\xbc\x9a", 9),
      shows("a prompt that ends at the margin is never erased", {"ab\x0c"}, {"0123456789", "ab"}, 1, 2,
            "0123456789", 10),
      gives("a terminal's string answers are read to their end: OSC ended by ST or BEL, DCS, APC",
            {"ab\x1b]11;rgb:0000/0000/0000\x1b\\c\x1bP1$r0m\x1b\\\x1b]10;?\x07\x1b_Gi=1;OK\x1b\\d\r"}, {"abcd"}),
      gives("Alt-] and Alt-P with nothing straight after them are keys, and change nothing", {"a\x1b]", "b\x1bP", "c\r"},
            {"abc"}),
      gives("mouse reports are no text: X10, its UTF-8 form with a column past 95, urxvt's and SGR",
            {"a\x1b[M !!\x1b[M#!!b\x1b[M \xc3\x88!c\x1b[32;10;5Md\x1b[<0;10;5Me\r"}, {"abcde"}),
      gives("CR LF is one Enter; a LF that comes later is an Enter of its own", {"one\r\ntwo\r", "\n"},
            {"one", "two", ""}),
  };
  // A terminal's answer is told from a key pressed with Alt by its bytes,
  // however far apart they arrive.
  const std::vector<typing> arrivals = {
      arriving("a key 10 ms after Alt-] is a key, and so is all typed after it",
               {{0, "\x1b]"}, {10, "x"}, {150, "a"}, {150, "b"}, {150, "c"}, {150, "\r"}}, {"xabc"}),
      arriving("Alt-] held down stores nothing",
               {{0, "ab\x1b]"}, {25, "\x1b]"}, {25, "\x1b]"}, {25, "\x1b]"}, {25, "c\r"}}, {"abc"}),
      arriving("an OSC answer split after Esc ] by 300 ms", {{0, "ab\x1b]"}, {300, "11;rgb:0000/0000/0000\x1b\\c\r"}},
               {"abc"}),
      arriving("an OSC answer split inside its number by 40 ms", {{0, "ab\x1b]1"}, {40, "1;rgb:0/0/0\x07" "c\r"}}, {"abc"}),
      arriving("a DCS answer split after Esc P by 100 ms", {{0, "ab\x1bP"}, {100, ">|xterm(390)\x1b\\c\r"}}, {"abc"}),
      arriving("digits typed after Alt-] are given back at the first byte no answer holds",
               {{0, "\x1b]"}, {150, "1"}, {150, "2"}, {150, "\r"}}, {"12"}),
      arriving("an Enter typed inside a would-be answer is an Enter", {{0, "\x1b]7;"}, {150, "x\r"}}, {"7;x"}),
  };
  for (const typing& t : arrivals) EXPECT_EQ(type_at_terminal(t).lines, t.lines) << t.what;
  const std::vector<typing> drawn = {
      plainly(taking({"a"}, shows("plainly, Backspace takes back a whole wide character and leaves no gap",
                                  {"\xe4\xb8\xad" + kBackspace + "a\r"}, {"> a", ">"}, 1, 2))),
      plainly(shows("plainly, a character typed mid-line lands in its place", {"abc" + kLeft + kLeft + "X"},
                    {"> aXbc"}, 0, 4)),
      plainly(shows("plainly, erasing the middle of a longer line blanks what is left over",
                    {"abcdef" + kHome + kDelete + kDelete}, {"> cdef"}, 0, 2)),
      plainly(shows("plainly, a change on an earlier row is drawn again on a fresh row with the prompt",
                    {"abcdefghijkl" + kHome + "X"}, {"> abcdefgh", "ijkl", "> Xabcdefg", "hijkl"}, 3, 5, "> ", 10)),
  };
  cases.insert(cases.end(), drawn.begin(), drawn.end());
  for (const typing& t : cases) {
    typed result = type_at_terminal(t);
    EXPECT_EQ(result.lines, t.lines) << t.what;
    if (t.plain) {
      EXPECT_EQ(result.drawn.find('\x1b'), std::string::npos) << t.what << ": an escape sequence, drawn plainly";
    }
    for (std::size_t row = 0; row < t.screen.size(); ++row) {
      EXPECT_EQ(result.screen->row(static_cast<int>(row)), t.screen[row]) << t.what << ", row " << row;
    }
    if (t.cursor_row >= 0) {
      EXPECT_EQ(result.screen->cursor_row(), t.cursor_row) << t.what;
      EXPECT_EQ(result.screen->cursor_column(), t.cursor_column) << t.what;
    }
  }
}

TEST(LineReader, RecallGoesBackAndForthThroughBoundedHistory) {
  typing order = gives("", {"one\rtwo\rx" + kUp + kUp + kDown + "\r" + "y" + kUp + kDown + kDown + "\r"}, {});
  EXPECT_EQ(type_at_terminal(order).lines, (std::vector<std::string>{"one", "two", "two", "y"}))
      << "Down shows the next newer line, and past the newest the line being typed";
  typing repeats = gives("", {"a\rb\rb\r\r" + kUp + kUp + "\r"}, {});
  EXPECT_EQ(type_at_terminal(repeats).lines.back(), "a") << "a line typed twice in a row is kept once, an empty one never";
  std::string many;
  for (std::size_t i = 0; i < LineEditor::kHistoryLines + 50; ++i) many += "l" + std::to_string(i) + "\r";
  typing bounded = gives("", {many + times(static_cast<int>(LineEditor::kHistoryLines) + 60, kUp) + "\r"}, {});
  EXPECT_EQ(type_at_terminal(bounded).lines.back(), "l50") << "only the newest lines are kept";
}

TEST(LineReader, ALineHoldsItsFullLengthAfterErasing) {
  typing t = gives("", {times(10, "y") + times(10, kBackspace) + std::string(LineEditor::kMaxBytes, 'x') + "z\r"}, {});
  std::vector<std::string> lines = type_at_terminal(t).lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(LineEditor::kMaxBytes, 'x'));
}

TEST(LineReader, ALineTallerThanTheScreenShowsTheRowsAroundTheCursor) {
  // 10 columns, 4 rows, a 2-column prompt: 60 characters make 7 rows.
  std::string line;
  for (int i = 0; i < 60; ++i) line += static_cast<char>('a' + i % 26);
  typing home = shows("", {line + kHome + "X"}, {"> Xabcdefg", "hijklmnopq", "rstuvwxyza", "bcdefghijk"}, 0, 3);
  home.columns = 10;
  home.rows = 4;
  typed at_home = type_at_terminal(home);
  for (int row = 0; row < 4; ++row) EXPECT_EQ(at_home.screen->row(row), home.screen[static_cast<std::size_t>(row)]);
  EXPECT_EQ(at_home.screen->cursor_row(), 0);
  EXPECT_EQ(at_home.screen->cursor_column(), 3);
  typing end = gives("", {line + kHome + "X" + kEnd + "Y"}, {});
  end.columns = 10;
  end.rows = 4;
  typed at_end = type_at_terminal(end);
  // X and the 60 letters, then Y: rows of 8, then 10 each, the last one
  // "fghY" with the cursor after it.
  EXPECT_EQ(at_end.screen->row(2), "vwxyzabcde");
  EXPECT_EQ(at_end.screen->row(3), "fghY");
  EXPECT_EQ(at_end.screen->cursor_row(), 3);
  EXPECT_EQ(at_end.screen->cursor_column(), 4);
}

TEST(LineReader, AfterTheWidthChangesTheNextKeyLaysTheLineOutAgain) {
  ScriptedTerminal terminal({"abcdefghijklmnopqrstuvwxyzabcd", "X"}, 20, 6);
  terminal.narrow_at(1, 16);
  LineReader reader(terminal, "UTF-8");
  std::string line;
  terminal.write("> ");
  reader.read_line(line, "> ");
  testing_support::Screen screen(6, 16);
  screen.catch_up(terminal.drawn_since_narrowed());
  EXPECT_EQ(screen.rows(), (std::vector<std::string>{"", "> abcdefghijklmn", "opqrstuvwxyzabcd", "X", "", ""}))
      << "the prompt and the line again, on a fresh row, in rows of the new width";
  EXPECT_EQ(screen.cursor_row(), 3);
  EXPECT_EQ(screen.cursor_column(), 1);
}

TEST(LineReader, AGbkTerminalIsDrawnByTheSameColumns) {
  // 请输入姓名： wraps at 9 columns after 请输入姓; 中 takes two columns, as in UTF-8.
  typing t = shows("", {"\xd6\xd0" "b" + kLeft + kLeft + "a"}, {"请输入姓", "名：a中b"}, 1, 5,
                   "\xc7\xeb\xca\xe4\xc8\xeb\xd0\xd5\xc3\xfb\xa3\xba", 9);
  typed result = type_at_terminal(t, "GBK");
  EXPECT_EQ(result.screen->row(0), t.screen[0]);
  EXPECT_EQ(result.screen->row(1), t.screen[1]);
  EXPECT_EQ(result.screen->cursor_row(), 1);
  EXPECT_EQ(result.screen->cursor_column(), 5);
}

// Typed at a GB18030 terminal, a four-byte character is one character; at a
// GBK one, 0x80 is a byte of its own.
TEST(LineReader, OtherSetsTypeWholeCharacters) {
  for (auto [charset, keys] : {std::pair{"GB18030", "a\x95\x32\x82\x36" "b"}, {"GBK", "a\x80" "b"}}) {
    typed result = type_at_terminal(gives("", {keys + kBackspace + kBackspace + "\r"}, {}), charset);
    EXPECT_EQ(result.lines, std::vector<std::string>{"a"}) << charset;
  }
  for (const typing& stray : {gives("", {"a\xff" "b"}, {}), plainly(gives("drawn plainly", {"a\xff" "b"}, {}))}) {
    EXPECT_EQ(type_at_terminal(stray, "GBK").drawn.find('\xff'), std::string::npos)
        << "a byte that is no GBK character is shown as '?', never raw " << stray.what;
  }
}

TEST(TerminalCharset, CutsTypedBytesIntoWholeCharacters) {
  TerminalCharset utf8("UTF-8");
  std::vector<console::typed_char> chars = utf8.split("a\xf0\xa0\x80\x80\xe4\xb8\xad\xc2\x9b");
  ASSERT_EQ(chars.size(), 4u);
  EXPECT_EQ(chars[1].width, 2) << "U+20000 is one wide character";
  EXPECT_EQ(chars[2].width, 2) << "a Chinese character takes two columns, not its three bytes";
  EXPECT_EQ(chars[3].shown, "?");
  TerminalCharset gb18030("GB18030");
  chars = gb18030.split("\x95\x32\x82\x36\xd6\xd0");
  ASSERT_EQ(chars.size(), 2u) << "a four-byte GB18030 character is one character";
  EXPECT_EQ(chars[0].width, 2);
  EXPECT_EQ(chars[1].width, 2);
}

}  // namespace
