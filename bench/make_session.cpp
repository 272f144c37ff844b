// Writes a prepared session for the benchmarks to standard output (UTF-8):
// the password, N students entered with item 1, a listing, 100 queries, 100
// inserts each followed by a delete, and item 0.
//   make_session N
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kFamilyNames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
const char* const kGivenNames[] = {"伟", "芳", "娜", "秀英", "敏", "静", "丽", "强", "磊", "军", "洋", "勇"};
const char* const kClasses[] = {"一班", "二班", "三班", "四班", "五班"};

template <std::size_t N>
const char* pick(const char* const (&options)[N], unsigned long index) {
  return options[index % N];
}

void write_student(unsigned long i, const char* number_prefix) {
  // A small linear congruential generator keeps sessions identical from run to run.
  unsigned long seed = i * 2654435761UL + 12345;
  std::printf("%s%s%s\n%s%06lu\n%s\n%lu %lu.5 %lu\n", pick(kFamilyNames, seed >> 3),
              pick(kGivenNames, seed >> 7), pick(kGivenNames, seed >> 11), number_prefix, i,
              pick(kClasses, seed >> 13), 40 + seed % 61, 50 + (seed >> 5) % 50, 30 + (seed >> 9) % 71);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_session N\n");
    return 2;
  }
  unsigned long count = std::strtoul(argv[1], nullptr, 10);
  std::printf("907135\n1\n");
  for (unsigned long i = 0; i < count; ++i) write_student(i, "S");
  std::printf("#\n2\n");
  for (unsigned long k = 0; k < 100; ++k) std::printf("6 S%06lu\n", (k * 7919) % (count ? count : 1));
  for (unsigned long k = 0; k < 100; ++k) {
    std::printf("3 S%06lu\n", (k * 104729) % (count ? count : 1));
    write_student(k, "T");
    std::printf("4 T%06lu\n", k);
  }
  std::printf("0\n");
  return 0;
}
