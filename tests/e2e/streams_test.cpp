// The program with unusual standard streams: output that cannot be written,
// input that cannot be read, descriptors someone made non-blocking, endless
// numbers, and GB locales whose character sets disagree with GBK.
#include <gtest/gtest.h>

#include <iconv.h>

#include "child_process.h"
#include "test_support.h"

using testing_support::valid_in;

namespace {

const std::vector<std::string> kUtf8 = {"LANG=C.UTF-8", "PATH=/usr/bin:/bin"};
const std::string kSession = "907135\n1\n张三\nA01\n一班\n90 80 70\n#\n2\n0\n";
constexpr int kOutputFailed = 74;

// The program under sh, with `redirections` applied and its standard error
// sent where standard output was, so that what it says is what comes back.
e2e::piped_run run_redirected(const std::string& redirections, const std::string& input) {
  std::string command = std::string("exec '") + e2e::program_path() + "' 2>&1 " + redirections;
  return e2e::run_piped({"/bin/sh", "-c", command}, input, kUtf8);
}

TEST(Streams, OutputThatCannotBeWrittenIsSaidAndEndsWithItsOwnStatus) {
  e2e::piped_run full = run_redirected(">/dev/full", kSession);
  EXPECT_EQ(full.output, "roster: cannot write to standard output: No space left on device\n");
  EXPECT_EQ(full.end.exit_status, kOutputFailed);
  e2e::piped_run closed = run_redirected(">&-", kSession);
  EXPECT_EQ(closed.output, "roster: cannot write to standard output: Bad file descriptor\n");
  EXPECT_EQ(closed.end.exit_status, kOutputFailed);
}

TEST(Streams, AReaderThatLeavesEndsTheProgramEvenWithSigpipeIgnored) {
  // Endless menu choices, and a reader that takes a little and leaves.
  std::string script = "trap '' PIPE; { echo 907135; yes 2 2>/dev/null; } | '" + std::string(e2e::program_path()) +
                       "' 2>/dev/null | head -c 100000 >/dev/null; exit ${PIPESTATUS[1]}";
  e2e::piped_run run = e2e::run_piped({"/bin/bash", "-c", script}, "", kUtf8, 10000);
  EXPECT_EQ(run.end.exit_status, kOutputFailed) << "killed by signal " << run.end.signal;
}

TEST(Streams, NonBlockingPipesWaitRatherThanEndOrDropOutput) {
  // 2,000 students and their listing: far more than a pipe holds.
  std::string input = "907135\n1\n";
  for (int i = 0; i < 2000; ++i) input += "n" + std::to_string(i) + "\nA\nc\n1 2 3\n";
  input += "#\n2\n0\n";
  e2e::piped_run plain = e2e::run_piped({e2e::program_path()}, input, kUtf8);
  ASSERT_EQ(plain.end.exit_status, 0);
  // A slow writer and a slow reader, on descriptors the program finds non-blocking.
  e2e::piped_run slow =
      e2e::run_piped({e2e::program_path()}, input, kUtf8, 30000, {.nonblocking = true, .write_piece = 4096, .write_pause_us = 2000, .read_piece = 4096, .read_pause_us = 2000});
  EXPECT_EQ(slow.end.exit_status, 0);
  EXPECT_EQ(slow.output.size(), plain.output.size());
  EXPECT_TRUE(slow.output == plain.output);
  e2e::piped_run gate = e2e::run_piped({e2e::program_path()}, "907135\n0\n", kUtf8, 10000,
                                       {.nonblocking = true, .write_piece = 2, .write_pause_us = 100000});
  EXPECT_EQ(gate.end.exit_status, 0) << "input still coming is not the end of it";
}

TEST(Streams, InputThatCannotBeReadIsSaidAndEndsAsAtTheEndOfInput) {
  e2e::piped_run closed = run_redirected("<&-", "");
  EXPECT_NE(closed.output.find("roster: cannot read standard input: Bad file descriptor\n"), std::string::npos);
  EXPECT_EQ(closed.end.exit_status, 1);
  e2e::piped_run directory = run_redirected("</", "");
  EXPECT_NE(directory.output.find("roster: cannot read standard input: Is a directory\n"), std::string::npos);
  EXPECT_EQ(directory.end.exit_status, 1);
}

TEST(Streams, AnEndlessNumberIsReadInBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit allows";
#endif
  // 64 MiB of digits under a 48 MiB address space limit: a number too large
  // for a double, which counts 0.
  std::string input = "907135\n1\nn\nA\nc\n" + std::string(std::size_t{64} << 20, '9') + " 12 0.5\n#\n2\n0\n";
  std::string command = std::string("ulimit -v 49152 && exec '") + e2e::program_path() + "'";
  e2e::piped_run run = e2e::run_piped({"/bin/sh", "-c", command}, input, kUtf8, 60000);
  EXPECT_EQ(run.end.exit_status, 0) << "killed by signal " << run.end.signal;
  EXPECT_NE(run.output.find("n\tA\tc\t0.0\t12.0\t0.5\t4.2\n"), std::string::npos);
}

// Every two-byte GBK code the C library knows, nine to a name, with the
// bytes each locale's character set gives them; codes a set lacks are left out.
struct named_codes {
  std::string input;                // the session, in the locale's set
  std::vector<std::string> names;  // each name, in the locale's set
};

named_codes every_gbk_code(const char* charset) {
  iconv_t to_locale = iconv_open(charset, "GBK");
  named_codes codes;
  codes.input = "907135\n1\n";
  std::string name;
  int in_name = 0;
  for (int lead = 0x80; lead <= 0xfe; ++lead) {
    // 0x80 alone is the C library's euro sign; every other code takes a trail.
    for (int trail = lead == 0x80 ? -1 : 0x40; trail <= (lead == 0x80 ? -1 : 0xfe); ++trail) {
      if (trail == 0x7f) continue;
      std::string gbk(1, static_cast<char>(lead));
      if (trail >= 0) gbk.push_back(static_cast<char>(trail));
      char out[8];
      char* src = gbk.data();
      char* dst = out;
      std::size_t src_left = gbk.size(), dst_left = sizeof out;
      if (iconv(to_locale, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1)) {
        iconv(to_locale, nullptr, nullptr, nullptr, nullptr);
        continue;
      }
      name.append(out, static_cast<std::size_t>(dst - out));
      if (++in_name == 9) {
        codes.input += name + "\nA\nc\n1 2 3\n";
        codes.names.push_back(name);
        name.clear();
        in_name = 0;
      }
    }
  }
  iconv_close(to_locale);
  codes.input += "#\n2\n0\n";
  return codes;
}

TEST(Streams, EveryStoredCharacterIsListedValidlyUnderEachGbLocale) {
  // Locales need not be installed: the name's codeset counts. zh_CN is.
  // zh_CN (no codeset) is GB2312 by the C library's own definition of it.
  for (const auto& [locale, charset] : {std::pair{"zh_CN.GBK", "GBK"}, std::pair{"zh_CN.GB2312", "EUC-CN"},
                                        std::pair{"zh_CN.GB18030", "GB18030"}, std::pair{"zh_CN", "EUC-CN"}}) {
    named_codes codes = every_gbk_code(charset);
    e2e::piped_run run =
        e2e::run_piped({e2e::program_path()}, codes.input, {std::string("LANG=") + locale}, 60000);
    EXPECT_EQ(run.end.exit_status, 0) << locale;
    EXPECT_TRUE(valid_in(charset, run.output)) << locale;
    // The C library maps a few GB2312 codes to code points its GBK lacks, and
    // those come back as '?': only GBK and GB18030 give every name back.
    if (std::string(charset) == "EUC-CN") continue;
    std::size_t missing = 0;
    for (const std::string& name : codes.names) {
      if (run.output.find("\t\t" + name + "\tA\t") == std::string::npos) ++missing;
    }
    EXPECT_EQ(missing, 0u) << locale << ": names not listed as typed, of " << codes.names.size();
  }
}

}  // namespace
