// The roster file: its format read and written, the saving policy on an
// in-memory file system, and the command line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "frontend/command_line.h"
#include "console/console.h"
#include "files/file_names.h"
#include "files/lock_holder.h"
#include "frontend/roster_store.h"
#include "frontend/version_history.h"
#include "memory_file_system.h"
#include "roster/roster_csv.h"
#include "test_support.h"

using testing_support::gbk;
using testing_support::numbers_of;

namespace {

const std::string kHeader = "姓名,学号,班级,科目一,科目二,科目三,平均分\r\n";
const std::string kBom = "\xef\xbb\xbf";

std::string utf8_file(const std::string& rows) { return kBom + kHeader + rows; }

// A refused file names its line, its field and what is wrong.
TEST(RosterFile, RefusedFilesSayWhere) {
  struct row {
    std::string file;
    int line, field;
    const char* what;
  } rows[] = {
      {utf8_file("张三,A01,一班,90,80\r\n"), 2, 6, "5 fields"},
      {utf8_file("a,b,c,1,2,3,4,extra\r\n"), 2, 8, "8 fields"},
      {utf8_file("a,b,c,1,2,3,4\r\n\"open,b,c,1,2,3,4\r\nmore\r\n"), 3, 1, "never closed"},
      {utf8_file("\"a\"x,b,c,1,2,3,4\r\n"), 2, 1, "after the closing quote"},
      {utf8_file("一二三四五六七八九十,A01,c,1,2,3,4\r\n"), 2, 1, "and it has 20"},
      {utf8_file("a,😀,c,1,2,3,4\r\n"), 2, 2, "cannot keep"},
      {utf8_file("a,b,c,1,2,abc,4\r\n"), 2, 6, "not a valid score"},
      {utf8_file("a,b,c,1,1e999,3,4\r\n"), 2, 5, "not a valid score"},
      {utf8_file("a,b,c,,2,3,4\r\n"), 2, 4, "not a valid score"},
      {utf8_file("a,b,c,nan,2,3,4\r\n"), 2, 4, "not a valid score"},
      {"name,number\r\nA,1\r\n", 1, 0, "not a roster file: the first row is not the header row of a roster"},
      {kBom + kHeader + "\xff\xfe,b,c,1,2,3,4\r\n", 2, 1, "cannot keep"},  // marked UTF-8, yet not
      {gbk(kHeader) + "\x81\x20,b,c,1,2,3,4\r\n", 2, 1, "not recognised"},
      {utf8_file("a,b,c,1,2,3,4,,x\r\n"), 2, 8, "9 fields"},  // empty fields end a row only at its end
      {utf8_file("a,b,c,85x,2,3,4\r\n"), 2, 4, "not a valid score"},
      {utf8_file("\"a\r\nb\",A1,c,1,2,3,4\r\n\"c\nd\",A2,c,1,2,zz,4\r\n"), 4, 6, "not a valid score"},
      // A spreadsheet's other exports: what they are and what to save instead.
      {"\xff\xfe\x13\x59\x0d\x54", 1, 0, "UTF-16"},
      {std::string("\xd3\x59\x0d\x54\x2c\x00\x66\x5b", 8), 1, 0, "CSV UTF-8"},  // UTF-16LE without its mark
      {"姓名;学号;班级;科目一;科目二;科目三;平均分;;\r\na;1;c;1;2;3;2\r\n", 1, 0, "semicolons"},
      {"姓名\t学号\t班级\t科目一\t科目二\t科目三\t平均分\r\n", 1, 0, "tabs"},
  };
  for (const row& expected : rows) {
    loaded_roster loaded = roster_from_csv(expected.file);
    EXPECT_EQ(loaded.list, nullptr) << expected.file;
    EXPECT_EQ(loaded.problem.line, expected.line) << expected.file;
    EXPECT_EQ(loaded.problem.field, expected.field) << expected.file;
    EXPECT_NE(loaded.problem.what.find(expected.what), std::string::npos) << loaded.problem.what;
  }
}

// Good files give the records the entry form would have stored.
TEST(RosterFile, GoodFilesGiveTheirRoster) {
  struct row {
    std::string file;
    const char* numbers;
  } rows[] = {
      {"", ""},
      {utf8_file(""), ""},
      {utf8_file("\r\n\r\n"), ""},
      {kHeader + "a,A1,c,1,2,3,9\nb,A2,c,1,2,3,x\n", "A1 A2"},            // no mark, LF, the average ignored
      {gbk(kHeader) + gbk("张三,A1,一班,90,80,70,80\r\n"), "A1"},          // as a Chinese spreadsheet saves
      {utf8_file("a,A1,c,1,2,3,4\r\n,,,,,,\r\n\r\nb,A2,c,1,2,3,4"), "A1 A2"},  // blank rows, no last break
      {utf8_file("\"a,\"\"b\"\"\",\" A 1 \",c, 90 ,+2,3e1,4\r\n"), " A 1 "},
      {"姓名,学号,班级,科目一,科目二,科目三,平均分,,\r\na,A1,c,1,2,3,4,,\"\"\r\n", "A1"},  // empty cells after
      {kHeader + "张三（一）,A1,一班：二，三,1,2,3,4\n", "A1"},  // UTF-8 without the mark, full-width punctuation
      {utf8_file("a,A1,c,1,2,3,\r\n"), "A1"},  // an empty average is the average's cell, no field missing
  };
  for (const row& expected : rows) {
    loaded_roster loaded = roster_from_csv(expected.file);
    ASSERT_NE(loaded.list, nullptr) << expected.file << ": " << loaded.problem.what;
    EXPECT_EQ(numbers_of(loaded.list), expected.numbers);
    release_roster(loaded.list);
  }
  loaded_roster tricky = roster_from_csv(utf8_file("\"a,\"\"b\"\"\",\"x\ty\r\nz\",c\x01\x1f, 90 ,-0,3e1,4\r\n"));
  ASSERT_NE(tricky.list, nullptr);
  const student& record = *tricky.list->next;
  EXPECT_STREQ(record.name, "a,\"b\"");
  EXPECT_STREQ(record.student_no, "x\ty??z") << "control characters as the entry form stores them";
  EXPECT_STREQ(record.class_name, "c??");
  EXPECT_EQ(record.score[0], 90);
  EXPECT_FALSE(std::signbit(record.score[1]));
  EXPECT_EQ(record.average, average_of(record.score));
  release_roster(tricky.list);
}

// Writing and reading back change nothing: texts, order and every bit of
// every score, so a ranking survives.
TEST(RosterFile, WhatIsWrittenReadsBackTheSame) {
  roster* list = testing_support::roster_of({{"A1", 0, "a, b"}, {" A2", 0, "\"q\""}, {"A3", 0, ""}});
  double scores[][3] = {{90, 85.5, 0.1}, {1.0 / 3, -2.5e-300, 1e300}, {0, 0, 0}};
  int i = 0;
  for (student* record = list->next; record != nullptr; record = record->next, ++i) {
    std::memcpy(record->score, scores[i], sizeof scores[i]);
    record->average = average_of(record->score);
  }
  std::strcpy(list->next->class_name, gbk("一班").c_str());
  std::string file = roster_to_csv(list);
  EXPECT_EQ(file.substr(0, kBom.size() + kHeader.size()), kBom + kHeader);
  EXPECT_NE(file.find("\"a, b\",A1,一班,90,85.5,0.1,58.5\r\n"), std::string::npos) << file;
  EXPECT_NE(file.find(",\" A2\","), std::string::npos) << "a leading blank is quoted, for a spreadsheet to keep it";
  loaded_roster back = roster_from_csv(file);
  ASSERT_NE(back.list, nullptr) << back.problem.what;
  EXPECT_EQ(roster_to_csv(back.list), file);
  const student* again = back.list->next->next;
  EXPECT_STREQ(again->name, "\"q\"");
  EXPECT_EQ(std::memcmp(again->score, scores[1], sizeof scores[1]), 0);
  release_roster(back.list);
  release_roster(list);
  // No text is written as a formula a spreadsheet would run, and each reads
  // back as it was, apostrophes included.
  roster* formulas = testing_support::roster_of({{"+86", 0, "=1+1"}, {"'-5", 0, "'x"}, {"A@", 0, "\tcmd"}});
  std::string guarded = roster_to_csv(formulas);
  for (const char* row : {"'=1+1,'+86,", "'x,''-5,", "'\tcmd,A@,"}) {
    EXPECT_NE(guarded.find(std::string("\r\n") + row), std::string::npos) << row << " in " << guarded;
  }
  loaded_roster read = roster_from_csv(guarded);
  ASSERT_NE(read.list, nullptr) << read.problem.what;
  EXPECT_EQ(roster_to_csv(read.list), guarded);
  EXPECT_STREQ(read.list->next->name, "=1+1");
  EXPECT_STREQ(read.list->next->next->student_no, "'-5");
  release_roster(read.list);
  release_roster(formulas);
}

struct StoreTest : ::testing::Test {
  files::MemoryFileSystem disk;
  roster_store store{disk, "dir/class.csv"};
  roster* list = nullptr;
  void TearDown() override { release_roster(list); }
};

// A failed save leaves the file as it was, says so once, and is tried again
// after the next change and at the end, which reports 73 if it fails again.
TEST_F(StoreTest, AFailedSaveIsSaidAndTriedAgain) {
  disk.files["dir/class.csv"] = utf8_file("a,A1,c,1,2,3,2\r\n");
  testing_support::ScriptedSession session("");
  ASSERT_EQ(store.open(list), 0);
  store.item_done(2, list, nullptr);
  store.item_done(7, list, nullptr);
  EXPECT_EQ(disk.saves, 0) << "nothing changed, nothing written";
  delete list->next;
  list->next = nullptr;
  disk.fail_saves_with = "cannot write: File too large";
  store.item_done(4, list, nullptr);
  EXPECT_EQ(disk.files["dir/class.csv"], utf8_file("a,A1,c,1,2,3,2\r\n"));
  EXPECT_EQ(session.backend().errors(),
            "roster: dir/class.csv: not saved (cannot write: File too large); the roster is kept and saved after "
            "the next change\n");
  EXPECT_EQ(store.menu_over(list), exit_status::not_saved);
  disk.fail_saves_with.clear();
  store.item_done(6, list, nullptr);
  EXPECT_EQ(disk.saves, 0) << "a lookup changes nothing";
  EXPECT_EQ(store.menu_over(list), 0);
  EXPECT_EQ(disk.files["dir/class.csv"], utf8_file(""));
}

// Every change keeps the file it replaces as a version, and the history
// says what made each one: the item and the student it touched.
TEST_F(StoreTest, EachChangeKeepsTheFileItReplacesAndSaysWhatChanged) {
  testing_support::ScriptedSession session("");
  roster* first = testing_support::roster_of({{"A1", 0, "a"}});
  disk.files["dir/class.csv"] = roster_to_csv(first);
  release_roster(first);
  ASSERT_EQ(store.open(list), 0);
  struct row {
    int choice;
    roster* after;
    const char* said;
  } rows[] = {
      {3, testing_support::roster_of({{"A1", 0, "a"}, {"B2", 1, "b"}}), "student B2 b inserted"},
      {5, testing_support::roster_of({{"A1", 0, "a"}, {"B2", 7, "bb"}}), "student B2 bb changed"},
      {7, testing_support::roster_of({{"B2", 7, "bb"}, {"A1", 0, "a"}}), "ranked by average score"},
      {4, testing_support::roster_of({{"A1", 0, "a"}}), "student B2 bb deleted"},
      {1, testing_support::roster_of({{"C3", 1, "c"}}), "new roster entered (1 student)"},
  };
  std::string before = disk.files["dir/class.csv"];
  std::size_t made = 0;
  for (const row& change : rows) {
    store.item_done(change.choice, change.after, change.choice == 1 ? rows[3].after : nullptr);
    std::vector<versions::entry> history = versions::parse_index(disk.files["dir/class-versions/versions.txt"]);
    ASSERT_EQ(history.size(), ++made + 1) << change.said;
    EXPECT_EQ(versions::change_said(history.back()), change.said);
    EXPECT_TRUE(history.back().file.empty()) << "the newest is the file itself";
    EXPECT_EQ(disk.files["dir/class-versions/" + history[made - 1].file], before) << change.said;
    before = disk.files["dir/class.csv"];
    EXPECT_EQ(before, roster_to_csv(change.after));
  }
  versions::entry restore;
  restore.made_by = versions::change::restored;
  restore.detail_1 = "3";
  restore.detail_2 = "20261208-233015";
  EXPECT_TRUE(store.save_change(rows[3].after, restore));
  std::vector<versions::entry> history = versions::parse_index(disk.files["dir/class-versions/versions.txt"]);
  EXPECT_EQ(versions::change_said(history.back()), "version 3 (saved 2026-12-08 23:30:15) restored");
  EXPECT_EQ(versions::change_said(history.front()), "as found before versions were kept");
  EXPECT_EQ(session.backend().errors(), "roster: the replaced roster is kept in dir/class-versions/20261208-233015-5.csv\n");
  for (const row& change : rows) release_roster(change.after);
}

// A versions folder that cannot be made is said once, and the saves go on.
// Where the save cannot keep the file by name (no links: a stick, Windows),
// the copy in hand is written, never over a file already there; a version
// that cannot be kept at all is said in one line, and the save goes on.
TEST_F(StoreTest, AVersionThatCannotBeKeptIsSaidAndTheSaveGoesOn) {
  testing_support::ScriptedSession session("");
  disk.files["dir/class.csv"] = utf8_file("");
  disk.fail_folders_with = "Read-only file system";
  ASSERT_EQ(store.open(list), 0);
  roster* fresh = testing_support::roster_of({{"B1", 1}});
  roster* more = testing_support::roster_of({{"B1", 1}, {"B2", 2}});
  store.item_done(3, fresh, nullptr);
  store.item_done(3, more, nullptr);
  EXPECT_EQ(disk.files["dir/class.csv"], roster_to_csv(more));
  std::string old_file = disk.files["dir/class.csv"];
  disk.fail_folders_with.clear();
  disk.files["dir/class-versions/20261208-233015.csv"] = "someone's";
  disk.keeps_by_rename = false;
  store.item_done(1, fresh, more);
  EXPECT_EQ(disk.files["dir/class-versions/20261208-233015.csv"], "someone's");
  EXPECT_EQ(disk.files["dir/class-versions/20261208-233015-2.csv"], old_file);
  disk.fail_creates_with = "No space left on device";
  store.item_done(3, more, nullptr);
  EXPECT_EQ(disk.files["dir/class.csv"], roster_to_csv(more));
  EXPECT_EQ(session.backend().errors(),
            "roster: dir/class.csv: earlier versions cannot be kept in dir/class-versions (Read-only file system)\n"
            "roster: the replaced roster is kept in dir/class-versions/20261208-233015-2.csv\n"
            "roster: dir/class.csv: saved, but the version it replaced could not be kept in dir/class-versions (No "
            "space left on device)\n");
  release_roster(more);
  release_roster(fresh);
}

// The versions folder is named after the file, beside it.
TEST(StoreNames, VersionsGoBesideTheFileNamedAfterIt) {
  for (auto [file, folder] : {std::pair{"../二班.csv", "../二班-versions"}, {"a.b.csv", "a.b-versions"},
                              {"d.x/name", "d.x/name-versions"}}) {
    EXPECT_EQ(versions::folder_of(file), folder) << file;
  }
}

// The history thinned as backup tools thin theirs: everything of a day,
// the last of each hour for a week, the last of each day for 90 days, and
// never past 1,000 versions or 100 times the roster's size.
TEST(VersionHistory, ThinningKeepsTheRuleAtItsEdges) {
  auto version = [](const char* time, std::uint64_t bytes = 100) {
    versions::entry e;
    e.time = time;
    e.file = std::string(time) + ".csv";
    e.bytes = bytes;
    return e;
  };
  const std::string now = "20261208-233015";
  std::vector<versions::entry> history = {
      version("20260909-233014"),  // 90 days and a second: gone
      version("20260910-080000"),  // 89 days, not the last of its day: gone
      version("20260910-230000"),  // the last of its day
      version("20261202-101500"),  // six days, not the last of its hour: gone
      version("20261202-105959"),  // the last of its hour
      version("20261207-233100"),  // under a day: all kept
      version("20261207-233200"),
  };
  EXPECT_EQ(versions::to_thin(history, now, 1000, history.size() - 1), (std::vector<std::size_t>{0, 1, 3}));
  std::vector<versions::entry> many(1001, version("20261208-230000"));
  EXPECT_EQ(versions::to_thin(many, now, 1000, 0), (std::vector<std::size_t>{1})) << "past 1,000, the oldest but the newest made";
  std::vector<versions::entry> big = {version("20261208-220000", 600000), version("20261208-230000", 600000)};
  EXPECT_EQ(versions::to_thin(big, now, 100, 1), (std::vector<std::size_t>{0})) << "past 100 times the roster (1 MB at least)";
  EXPECT_TRUE(versions::to_thin(big, now, 20000, 1).empty());
}

// A name too long for its versions folder's is cut at a whole character,
// GBK or UTF-8, and the result fits in a folder entry.
TEST(StoreNames, LongNamesAreCutAtAWholeCharacter) {
  const std::string after = "-versions";
  for (auto [character, stem] : {std::pair{std::string("\xd6\xd0"), std::string()}, {std::string("中"), std::string()}}) {
    for (int i = 0; i < 130; ++i) stem += character;
    std::string fitted = files::fitting_stem("", "x" + stem, after);
    std::size_t mark = fitted.rfind('~');
    ASSERT_NE(mark, std::string::npos);
    EXPECT_LE(fitted.size() + after.size(), files::kLongestName);
    EXPECT_EQ((mark - 1) % character.size(), 0u) << "cut inside a character: " << mark;
  }
}

// On the machine's own file system a version never replaces a file of its
// name: the name is taken, and the next one is tried.
TEST(SystemFiles, AVersionNeverReplacesAFileOfItsName) {
  testing_support::ScriptedSession session("");
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("roster-taken-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string taken = (dir / "20261208-233015.csv").string();
  { std::ofstream(taken, std::ios::binary) << "someone's"; }
  std::unique_ptr<files::FileSystem> disk = files::make_system_file_system();
  std::string why;
  EXPECT_EQ(disk->create_file(taken, "mine", why), files::create_outcome::taken) << why;
  {
    std::ifstream kept(taken, std::ios::binary);  // closed before the folder goes (Windows will not remove an open file)
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "someone's");
  }
  std::filesystem::remove_all(dir);
}

// What another program saved in the file meanwhile is kept as a version
// before the roster is saved over it; a file it deleted is simply written
// again.
TEST_F(StoreTest, AnotherProgramsVersionIsKeptBeforeTheFileIsReplaced) {
  testing_support::ScriptedSession session("");
  disk.files["dir/class.csv"] = utf8_file("a,A1,c,1,2,3,2.0\r\n");
  ASSERT_EQ(store.open(list), 0);
  std::string theirs = utf8_file("a,A1,c,1,2,3,2.0\r\nb,B1,c,4,5,6,5.0\r\n");
  disk.files["dir/class.csv"] = theirs;
  store.item_done(6, list, nullptr);
  EXPECT_EQ(disk.files["dir/class.csv"], theirs) << "an item that changes nothing writes nothing";
  roster* ours = testing_support::roster_of({{"C1", 1}});
  store.item_done(3, ours, nullptr);
  EXPECT_EQ(disk.files["dir/class-versions/20261208-233015.csv"], theirs);
  EXPECT_EQ(disk.files["dir/class.csv"], roster_to_csv(ours));
  EXPECT_EQ(session.backend().errors(),
            "roster: dir/class.csv had been changed by another program: its version is kept in "
            "dir/class-versions/20261208-233015.csv, and this roster is saved in dir/class.csv\n");
  EXPECT_EQ(versions::change_said(versions::parse_index(disk.files["dir/class-versions/versions.txt"]).front()),
            "saved by another program");
  disk.files.erase("dir/class.csv");
  roster* more = testing_support::roster_of({{"C1", 1}, {"C2", 2}});
  store.item_done(3, more, nullptr);
  EXPECT_EQ(disk.files["dir/class.csv"], roster_to_csv(more));
  EXPECT_EQ(disk.files.size(), 4u) << "a deleted file's last save by this program is kept from memory";
  store.item_done(4, ours, nullptr);
  EXPECT_EQ(disk.files.size(), 5u) << "its own last save kept once, as its own";
  EXPECT_EQ(session.backend().errors().find("changed by another program", 100), std::string::npos);
  disk.files["dir/class.csv"] = theirs;
  disk.fail_creates_with = "No space left on device";
  store.item_done(3, more, nullptr);
  EXPECT_EQ(disk.files["dir/class.csv"], theirs) << "a version that could not be kept was overwritten";
  release_roster(ours);
  release_roster(more);
}

// A save another program made between the first read and the lock is the
// roster the session starts with.
TEST_F(StoreTest, TheFileIsReadAgainOnceLocked) {
  testing_support::ScriptedSession session("");
  disk.files["dir/class.csv"] = utf8_file("a,A1,c,1,2,3,2.0\r\n");
  disk.when_locked = [this] { disk.files["dir/class.csv"] = utf8_file("b,B1,c,1,2,3,2.0\r\n"); };
  ASSERT_EQ(store.open(list), 0);
  ASSERT_NE(list->next, nullptr);
  EXPECT_STREQ(list->next->student_no, "B1");
}

// A lock file half-written, empty or planted says nothing it does not hold,
// and no control character.
TEST(LockHolder, SaysOnlyWhatAWholeHolderLineHolds) {
  for (const char* lines : {"", "root\nvm\n", "root"}) {
    EXPECT_EQ(files::lock_holder_said(lines), console::message("who and since when is not known")) << lines;
  }
  std::string said = files::lock_holder_said("\x1b]52;c;aGk=\x07\x9b\xc2\x9b\nhost\n2026-12-10 09:00\n");
  EXPECT_EQ(said.find_first_of("\x1b\x07\x9b"), std::string::npos) << said;
}

TEST(CommandLine, ArgumentsGiveTheirRequest) {
  using action = command_line::request::action;
  struct row {
    std::vector<std::string> arguments;
    action what;
    std::string file;
  } rows[] = {
      {{}, action::run, ""},
      {{"二班.csv"}, action::run, "二班.csv"},
      {{"--", "-odd.csv"}, action::run, "-odd.csv"},
      {{"a.csv", "--help"}, action::help, "a.csv"},
      {{"--version"}, action::version, ""},
      {{"-x"}, action::misuse, ""},
      {{"a.csv", "b.csv"}, action::misuse, ""},
      {{"--history", "a.csv"}, action::history, "a.csv"},
      {{"--restore", "12", "a.csv"}, action::restore, "a.csv"},
      {{"--restore", "0", "a.csv"}, action::misuse, ""},
      {{"--restore", "a.csv"}, action::misuse, ""},
      {{"--history"}, action::misuse, ""},
  };
  for (const row& expected : rows) {
    command_line::request request = command_line::parse(expected.arguments);
    EXPECT_EQ(request.what, expected.what) << ::testing::PrintToString(expected.arguments);
    EXPECT_EQ(request.file, expected.file);
  }
  EXPECT_NE(command_line::parse({"-x"}).problem.find("-x"), std::string::npos) << "the option it does not know";
  EXPECT_EQ(command_line::parse({"--restore", "12", "a.csv"}).version_number, 12);
}

}  // namespace
