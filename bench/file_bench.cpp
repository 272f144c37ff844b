// The roster file: how long a roster of N students takes to be read from its
// file and to be saved, the writing of its rows apart from the disk's work
// (the temporary file, fsync, rename, the folder's fsync).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "files/file_system.h"
#include "roster/roster_csv.h"

namespace {

// N students with Chinese names and scores that need a decimal or two.
roster* roster_of(int count) {
  roster* list = make_empty_roster();
  student* last = list;
  for (int i = 0; i < count; ++i) {
    student* record = new student{};
    std::snprintf(record->name, sizeof record->name, "\xd5\xc5\xc8\xfd%d", i % 1000);  // 张三
    std::snprintf(record->student_no, sizeof record->student_no, "S%06d", i);
    std::snprintf(record->class_name, sizeof record->class_name, "\xd2\xbb\xb0\xe0");  // 一班
    record->score[0] = 40 + i % 61;
    record->score[1] = 50.5 + i % 50;
    record->score[2] = (i % 71) / 3.0;
    record->average = average_of(record->score);
    last->next = record;
    last = record;
  }
  return list;
}

void write_rows(benchmark::State& state) {
  roster* list = roster_of(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string file = roster_to_csv(list);
    bytes = file.size();
    benchmark::DoNotOptimize(file);
  }
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  release_roster(list);
}

void save_to_disk(benchmark::State& state) {
  roster* list = roster_of(static_cast<int>(state.range(0)));
  std::unique_ptr<files::FileSystem> disk = files::make_system_file_system();
  std::string path = "roster-bench-" + std::to_string(getpid()) + ".csv";
  std::string why;
  for (auto _ : state) {
    if (!disk->replace_file(path, roster_to_csv(list), why)) state.SkipWithError(why.c_str());
  }
  std::remove(path.c_str());
  release_roster(list);
}

void load(benchmark::State& state) {
  roster* list = roster_of(static_cast<int>(state.range(0)));
  std::string file = roster_to_csv(list);
  release_roster(list);
  for (auto _ : state) {
    loaded_roster loaded = roster_from_csv(file);
    if (loaded.list == nullptr) state.SkipWithError(loaded.problem.what.c_str());
    release_roster(loaded.list);
  }
}

BENCHMARK(write_rows)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(save_to_disk)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(load)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
