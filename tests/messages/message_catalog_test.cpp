// The catalog reader the Windows program looks its messages up with, over
// the Chinese catalog as built.
#include <gtest/gtest.h>

#include <string>

#include "messages/message_catalog.h"

namespace console {
extern const std::string_view chinese_catalog;
}

namespace {

int placeholders(std::string_view text) {
  int count = 0;
  for (std::size_t at = text.find("%s"); at != std::string_view::npos; at = text.find("%s", at + 2)) ++count;
  return count;
}

TEST(MessageCatalog, FindsEveryMessageWithItsPlaceholdersAndNothingElse) {
  console::message_catalog catalog(console::chinese_catalog);
  ASSERT_GT(catalog.size(), 30u);
  for (std::size_t i = 1; i < catalog.size(); ++i) {  // entry 0 is the catalog's header
    std::string english(catalog.original(i));
    const char* found = catalog.find(english);
    ASSERT_NE(found, nullptr) << english;
    EXPECT_EQ(std::string_view(found), catalog.translation(i)) << english;
    EXPECT_NE(english, found);
    EXPECT_EQ(placeholders(english), placeholders(found)) << english;
  }
  EXPECT_EQ(catalog.find("no such message"), nullptr);
  EXPECT_EQ(catalog.find("zzz"), nullptr);
  std::string cut(console::chinese_catalog.substr(0, console::chinese_catalog.size() / 2));
  EXPECT_EQ(console::message_catalog(cut).size(), 0u) << "a catalog cut short holds nothing";
}

}  // namespace
