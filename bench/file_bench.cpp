// The roster file: how long a roster of N students takes to be read from its
// file and to be saved, the writing of its rows apart from the disk's work
// (the temporary file, fsync, rename, the folder's fsync), and a save as a
// session makes it, the file it replaces kept as a version (what changed
// worked out, the version kept, the history written and thinned), against
// the same save without versions.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include <filesystem>

#include "console/backend.h"
#include "console/console.h"
#include "files/file_system.h"
#include "frontend/roster_store.h"
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

// Item 5 over and over, one student's scores changed back and forth, each
// save keeping the one before as a version.
void save_keeping_versions(benchmark::State& state) {
  std::unique_ptr<console::Backend> backend = console::make_system_backend();
  console::install(backend.get());
  roster* list = roster_of(static_cast<int>(state.range(0)));
  std::unique_ptr<files::FileSystem> disk = files::make_system_file_system();
  std::string path = "roster-bench-" + std::to_string(getpid()) + ".csv";
  {
    roster_store store(*disk, path);
    roster* loaded = nullptr;
    if (store.open(loaded) != 0) state.SkipWithError("the roster file could not be opened");
    release_roster(loaded);
    student* changed = list->next;
    for (auto _ : state) {
      changed->score[0] = changed->score[0] == 40 ? 41 : 40;
      store.item_done(5, list, nullptr);
    }
  }
  std::remove(path.c_str());
  std::remove(("." + path + ".lock").c_str());
  std::filesystem::remove_all("roster-bench-" + std::to_string(getpid()) + "-versions");
  release_roster(list);
  console::install(nullptr);
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
BENCHMARK(save_keeping_versions)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(load)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
