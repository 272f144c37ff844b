// How keys typed at a terminal become the codes the home console gives.
#include <gtest/gtest.h>

#include "terminal/key_codes.h"

namespace {

TEST(KeyCodes, BackspaceIsEightAndEnterThirteen) {
  EXPECT_EQ(console::plain_key_code(127), 8);
  EXPECT_EQ(console::plain_key_code(8), 8);
  EXPECT_EQ(console::plain_key_code(13), 13);
  EXPECT_EQ(console::plain_key_code('\n'), 13);
  EXPECT_EQ(console::plain_key_code('7'), '7');
}

TEST(KeyCodes, SpecialKeysGiveTheTwoHomeConsoleCodes) {
  using codes = std::vector<int>;
  EXPECT_EQ(console::escape_key_codes("[A"), (codes{224, 72}));  // Up
  EXPECT_EQ(console::escape_key_codes("OA"), (codes{224, 72}));
  EXPECT_EQ(console::escape_key_codes("[B"), (codes{224, 80}));
  EXPECT_EQ(console::escape_key_codes("[D"), (codes{224, 75}));
  EXPECT_EQ(console::escape_key_codes("[C"), (codes{224, 77}));
  EXPECT_EQ(console::escape_key_codes("[H"), (codes{224, 71}));
  EXPECT_EQ(console::escape_key_codes("[4~"), (codes{224, 79}));  // End
  EXPECT_EQ(console::escape_key_codes("[3~"), (codes{224, 83}));  // Delete
  EXPECT_EQ(console::escape_key_codes("[1;5A"), (codes{224, 72})) << "modifiers ignored";
  EXPECT_EQ(console::escape_key_codes("OP"), (codes{0, 59}));     // F1
  EXPECT_EQ(console::escape_key_codes("[[A"), (codes{0, 59}));    // F1, Linux console
  EXPECT_EQ(console::escape_key_codes("[15~"), (codes{0, 63}));   // F5
  EXPECT_EQ(console::escape_key_codes("[21~"), (codes{0, 68}));   // F10
  EXPECT_EQ(console::escape_key_codes("[23~"), (codes{224, 133}));  // F11
  EXPECT_EQ(console::escape_key_codes("[24~"), (codes{224, 134}));  // F12
  EXPECT_EQ(console::escape_key_codes(""), (codes{27}));          // Esc alone
  EXPECT_EQ(console::escape_key_codes("x"), (codes{27, 'x'}));    // Alt+x
  EXPECT_EQ(console::escape_key_codes("[99~"), codes{});
  EXPECT_EQ(console::escape_key_codes("[9999999999~"), codes{});
}

}  // namespace
