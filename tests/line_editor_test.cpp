// The terminal's line editor without a terminal: edits by whole characters,
// recall of earlier lines, and where its drawing puts the line and cursor.
#include <gtest/gtest.h>

#include "console/line_editor.h"

namespace {

using console::LineEditor;
using console::typed_char;

const typed_char kZhang{"\xe5\xbc\xa0", "\xe5\xbc\xa0", 2};  // 张 in UTF-8
const typed_char kSan{"\xe4\xb8\x89", "\xe4\xb8\x89", 2};    // 三
typed_char ascii(char c) { return {std::string(1, c), std::string(1, c), 1}; }

LineEditor typed(std::initializer_list<typed_char> chars) {
  LineEditor editor;
  editor.start(0);
  for (const typed_char& c : chars) editor.insert(c);
  return editor;
}

TEST(LineEditor, EditsWholeCharactersAnywhereInTheLine) {
  LineEditor editor = typed({kZhang, kSan});
  editor.erase_before();
  EXPECT_EQ(editor.accept(), kZhang.bytes) << "Backspace takes all three bytes of 三";
  editor = typed({ascii('a'), ascii('b')});
  editor.left();
  editor.insert(kZhang);
  editor.home();
  editor.erase_at();
  editor.end();
  editor.insert(ascii(' '));
  editor.insert(kSan);
  EXPECT_EQ(editor.accept(), kZhang.bytes + "b " + kSan.bytes);
  editor = typed({ascii('a'), ascii(' '), kZhang, kSan, ascii(' ')});
  editor.erase_word_before();
  EXPECT_EQ(editor.accept(), "a ");
  editor = typed({kZhang});
  editor.clear();
  EXPECT_TRUE(editor.empty());
}

TEST(LineEditor, UpAndDownRecallTheLinesOfThisRun) {
  LineEditor editor;
  for (char c : {'1', '2', '2'}) {
    editor.start(0);
    editor.insert(ascii(c));
    editor.accept();
  }
  editor.start(0);
  editor.insert(ascii('x'));
  editor.recall_older();
  editor.recall_older();
  editor.recall_older();  // nothing older than 1: a line typed twice is kept once
  EXPECT_EQ(editor.accept(), "1");
  editor.start(0);
  editor.insert(ascii('x'));
  editor.recall_older();
  editor.recall_newer();
  EXPECT_EQ(editor.accept(), "x") << "down past the newest gives back the line being typed";
}

TEST(LineEditor, AFullLineTakesNoMore) {
  LineEditor editor;
  editor.start(0);
  for (std::size_t i = 0; i < LineEditor::kMaxBytes; ++i) ASSERT_TRUE(editor.insert(ascii('x')));
  EXPECT_FALSE(editor.insert(ascii('y')));
  EXPECT_EQ(editor.accept().size(), LineEditor::kMaxBytes);
}

TEST(LineEditor, DrawingWrapsWholeCharactersAndNeverTouchesThePrompt) {
  // A screen 10 columns wide, the prompt taking 6: 中 does not fit after
  // "abc" and starts the next row; the redraw goes back to column 6 only.
  const typed_char kZhong{"\xe4\xb8\xad", "\xe4\xb8\xad", 2};
  LineEditor editor;
  editor.start(6);
  for (const typed_char& c : {ascii('a'), ascii('b'), ascii('c'), kZhong}) editor.insert(c);
  EXPECT_EQ(editor.redraw(10), "\r\x1b[6C\x1b[Jabc\r\n" + kZhong.bytes + "\r\x1b[2C");
  editor.home();
  EXPECT_EQ(editor.redraw(10), "\x1b[1A\r\x1b[6C\x1b[Jabc\r\n" + kZhong.bytes + "\x1b[1A\r\x1b[6C");
  // A line ending exactly at the margin leaves the cursor on the next row.
  editor.start(6);
  for (const typed_char& c : {ascii('a'), ascii('b'), kZhong}) editor.insert(c);
  EXPECT_EQ(editor.redraw(10), "\r\x1b[6C\x1b[Jab" + kZhong.bytes + "\r\n\r");
  editor.insert(ascii('d'));
  EXPECT_EQ(editor.show_inserted(10), "d") << "typing at the end writes the character alone";
}

}  // namespace
