// The reading rules of the console services: pending input and its discard,
// words, integers, numbers, bounded text fields, keys without a keyboard, and
// the end of input.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "test_support.h"

using console::read_status;
using testing_support::gbk;
using testing_support::ScriptedSession;

namespace {

console::ScriptedConsole::Options pipe_mode(std::size_t chunk = 4096) {
  return {.keyboard = false, .chunk_size = chunk};
}

TEST(PendingInput, DiscardDropsOnlyTheRestOfTheCurrentLine) {
  ScriptedSession session("3abc def\nnext line\n");
  int value = 0;
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, 3);
  console::discard_pending();
  std::string word;
  ASSERT_TRUE(console::read_word(word, 20));
  EXPECT_EQ(word, "next");
}

TEST(PendingInput, DiscardDropsNothingAfterALineBreakWasConsumed) {
  ScriptedSession session("first\nsecond\n");
  char field[20];
  ASSERT_TRUE(console::read_text(field, sizeof field));
  console::discard_pending();  // the line break was read: nothing pending
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "second");
}

TEST(PendingInput, DiscardBeforeAnyReadTakesNothing) {
  ScriptedSession session("kept\n");
  console::discard_pending();
  char field[20];
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "kept");
}

TEST(PendingInput, AFailedReadHasTakenItsLineIn) {
  ScriptedSession session("x\n7\n");
  int value = 0;
  EXPECT_EQ(console::read_int(value), read_status::not_a_number);
  console::discard_pending();
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, 7);
}

TEST(PendingInput, UnreadTextAfterANumberIsWhatTheNextReadTakes) {
  ScriptedSession session("6 A01\n");
  int value = 0;
  ASSERT_EQ(console::read_int(value), read_status::ok);
  std::string word;
  ASSERT_TRUE(console::read_word(word, 20));
  EXPECT_EQ(word, "A01");
}

TEST(PendingInput, ReadsDoNotDependOnHowInputArrives) {
  const std::string input = "  12 abc\r\n\r\nname with spaces\r\n1.5 -2 3e1 tail\nlast";
  for (std::size_t chunk : {1u, 2u, 3u, 7u, 4096u}) {
    ScriptedSession session(input, {}, pipe_mode(chunk));
    int value = 0;
    ASSERT_EQ(console::read_int(value), read_status::ok) << chunk;
    EXPECT_EQ(value, 12);
    console::discard_pending();
    char field[20];
    ASSERT_TRUE(console::read_text(field, sizeof field));
    EXPECT_STREQ(field, "") << "the blank line is a line, chunk " << chunk;
    ASSERT_TRUE(console::read_text(field, sizeof field));
    EXPECT_STREQ(field, "name with spaces") << chunk;
    double scores[3];
    ASSERT_EQ(console::read_numbers(scores, 3), 3);
    EXPECT_EQ(scores[0], 1.5);
    EXPECT_EQ(scores[1], -2);
    EXPECT_EQ(scores[2], 30);
    console::discard_pending();
    ASSERT_TRUE(console::read_text(field, sizeof field));
    EXPECT_STREQ(field, "last") << "a last line without a break is still a line";
    EXPECT_FALSE(console::read_text(field, sizeof field));
  }
}

TEST(IntegerRead, SkipsBlankLinesAndTakesSigns) {
  ScriptedSession session("\n\n   -12x\n+5\n");
  int value = 0;
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, -12);
  console::discard_pending();
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, 5);
}

TEST(IntegerRead, ValuesOutsideAnIntAreNotNumbers) {
  ScriptedSession session("2147483647\n-2147483648\n2147483648\n99999999999999999999\n-2147483649\n");
  int value = 0;
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, INT_MAX);
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, INT_MIN);
  value = 42;
  EXPECT_EQ(console::read_int(value), read_status::out_of_range);
  EXPECT_EQ(console::read_int(value), read_status::out_of_range);
  EXPECT_EQ(console::read_int(value), read_status::out_of_range);
  EXPECT_EQ(value, 42) << "a failed read leaves the value alone";
  EXPECT_EQ(console::read_int(value), read_status::end_of_input);
}

TEST(NumberRead, StopsAtTheFirstThingThatIsNotANumber) {
  ScriptedSession session("50 60 x 70\n90 abc\n");
  double scores[3] = {0, 0, 0};
  EXPECT_EQ(console::read_numbers(scores, 3), 2);
  EXPECT_EQ(scores[0], 50);
  EXPECT_EQ(scores[1], 60);
  console::discard_pending();
  double more[3] = {0, 0, 0};
  EXPECT_EQ(console::read_numbers(more, 3), 1);
  EXPECT_EQ(more[0], 90);
}

TEST(NumberRead, TakesNumbersAcrossLines) {
  ScriptedSession session("1\n\n2\n.5\n");
  double scores[3];
  ASSERT_EQ(console::read_numbers(scores, 3), 3);
  EXPECT_EQ(scores[2], 0.5);
}

TEST(NumberRead, LongNumbersKeepTheValueTheirDigitsGive) {
  const std::string zeros(1000, '0');
  const std::string digits = "123456789012345678901234567890";
  ScriptedSession session(digits + " 0.1" + zeros + "1 1" + zeros + " 0." + zeros + "7e1005 " + digits + zeros +
                          "e-1000 1e99999999999999999999 1e" + zeros + zeros + "1 1e-" + zeros + zeros +
                          "1 1e18446744073709551621 x\n");
  double values[9];
  ASSERT_EQ(console::read_numbers(values, 9), 9);
  EXPECT_EQ(values[0], std::strtod(digits.c_str(), nullptr));
  EXPECT_EQ(values[1], 0.1);
  EXPECT_EQ(values[2], 0) << "too large for a double";
  EXPECT_EQ(values[3], 70000);
  EXPECT_EQ(values[4], std::strtod(digits.c_str(), nullptr));
  EXPECT_EQ(values[5], 0);
  EXPECT_EQ(values[6], 10) << "an exponent of two thousand digits that say 1";
  EXPECT_EQ(values[7], 0.1);
  EXPECT_EQ(values[8], 0) << "an exponent past 2^64 overflows as every other does, never wraps";
  std::string rest;
  ASSERT_TRUE(console::read_word(rest, 20));
  EXPECT_EQ(rest, "x") << "every digit was consumed";
}

TEST(NumberRead, OnlyDecimalNumbersCount) {
  ScriptedSession session("nan\ninf\n1e999 -0 7e\n");
  double score = 5;
  EXPECT_EQ(console::read_numbers(&score, 1), 0);
  console::discard_pending();
  EXPECT_EQ(console::read_numbers(&score, 1), 0);
  console::discard_pending();
  double scores[3] = {5, 5, 5};
  ASSERT_EQ(console::read_numbers(scores, 3), 3);
  EXPECT_EQ(scores[0], 0) << "too large for a double";
  EXPECT_FALSE(std::signbit(scores[1])) << "-0 is shown as 0.0";
  EXPECT_EQ(scores[2], 7);
}

TEST(TextRead, CutsAt19BytesOnACharacterBoundaryAndDropsTheRest) {
  // Ten Chinese characters are 20 GBK bytes: only nine fit.
  ScriptedSession session(gbk("一二三四五六七八九十\n") + gbk("一二三四五六七八九十x\n") + "a" +
                          gbk("一二三四五六七八九十") + "\nnext\n");
  char field[text_field_size];
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_EQ(std::string(field), gbk("一二三四五六七八九"));
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_EQ(std::string(field), gbk("一二三四五六七八九")) << "nothing is stored after the cut";
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_EQ(std::string(field), "a" + gbk("一二三四五六七八九")) << "19 bytes exactly";
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "next") << "the cut-off rest never leaks into the next field";
}

TEST(TextRead, ALongLineIsConsumedWhole) {
  std::string long_line(1 << 20, 'x');
  ScriptedSession session(long_line + "\nnext\n", {}, pipe_mode(1000));
  char field[text_field_size];
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_EQ(std::strlen(field), 19u);
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "next");
}

TEST(TextRead, HalfACharacterIsNeverStored) {
  ScriptedSession session("ab\xd6\nc\xd6\x7f\n");
  char field[text_field_size];
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "ab?");
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "c?\x7f");
}

TEST(TextRead, KeepsEveryGbkCharacterAndNoControlCharacter) {
  // 丂 and the last pair take the trail byte range's ends; 0x80 alone is the
  // euro sign of the C library's GBK.
  ScriptedSession session("\x81\x40\xfe\xfe\x81\x80\n\x80\n a\rb\x1b[1m\x07\tc\n");
  char field[text_field_size];
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "\x81\x40\xfe\xfe\x81\x80");
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "\x80");
  ASSERT_TRUE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, " a?b?[1m?\tc") << "a lone CR stays in its line";
}

TEST(TextRead, EndOfInputLeavesTheFieldAlone) {
  ScriptedSession session("");
  char field[text_field_size] = "old";
  EXPECT_FALSE(console::read_text(field, sizeof field));
  EXPECT_STREQ(field, "old");
}

TEST(WordRead, KeepsOnlyTheFirstBytesButConsumesTheWholeWord) {
  ScriptedSession session("\n  A0123456789012345678901234 B02\n");
  std::string word;
  ASSERT_TRUE(console::read_word(word, 20));
  EXPECT_EQ(word, "A0123456789012345678");
  ASSERT_TRUE(console::read_word(word, 20));
  EXPECT_EQ(word, "B02");
  EXPECT_FALSE(console::read_word(word, 20));
}

TEST(Keys, WithoutAKeyboardKeysAreInputBytesAndALineBreakIsEnter) {
  ScriptedSession session("9\r\n\n\xd6\xd0", {}, pipe_mode(1));
  EXPECT_EQ(console::get_key(), '9');
  EXPECT_EQ(console::get_key(), 13) << "\\r\\n counts once";
  EXPECT_EQ(console::get_key(), 13);
  EXPECT_EQ(console::get_key(), 0xd6) << "one key per GBK byte";
  EXPECT_EQ(console::get_key(), 0xd0);
  EXPECT_EQ(console::get_key(), console::end_of_keys);
}

TEST(Keys, WithoutAKeyboardThePauseTakesNothing) {
  ScriptedSession session("5\n", {}, pipe_mode());
  console::pause_for_key();
  int value = 0;
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, 5);
}

TEST(Keys, WithAKeyboardKeysNeverTouchPendingInput) {
  ScriptedSession session("5\n", {'x', 13});
  EXPECT_EQ(console::get_key(), 'x');
  console::pause_for_key();
  EXPECT_EQ(session.backend().keys_left(), 0u);
  EXPECT_FALSE(session.backend().in_key_mode()) << "the terminal is back after each key";
  int value = 0;
  ASSERT_EQ(console::read_int(value), read_status::ok);
  EXPECT_EQ(value, 5);
}

TEST(Keys, KeyModeSpansSeveralKeysWhenAsked) {
  ScriptedSession session("", {'1', '2'});
  {
    console::key_mode keys;
    console::get_key();
    console::get_key();
    EXPECT_TRUE(session.backend().in_key_mode());
  }
  EXPECT_FALSE(session.backend().in_key_mode());
  EXPECT_EQ(session.backend().key_mode_entries(), 1);
}

TEST(Output, PrintFormatsLongTextsWhole) {
  ScriptedSession session("");
  std::string long_text(1000, 'y');
  console::print("%s|%d|%.1lf", long_text.c_str(), 7, 70.333333);
  EXPECT_EQ(session.output(), long_text + "|7|70.3");
}

}  // namespace
