// The ranking on its own: time per comparison of averages for rosters built
// in memory, in two cases.
//  - Entered: records linked in the order they were allocated, as item 1
//    leaves them, with random averages; the usual first ranking.
//  - Reranked: the same records with new random averages but linked as the
//    previous ranking left them, so that walking the list jumps about memory.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "roster/roster.h"

namespace {

struct test_roster {
  roster* head = make_empty_roster();
  std::vector<student*> allocated;  // in allocation order

  explicit test_roster(int n) {
    for (int i = 0; i < n; ++i) allocated.push_back(new student{});
    link_in_allocation_order();
  }
  ~test_roster() { release_roster(head); }

  void link_in_allocation_order() {
    student* last = head;
    for (student* record : allocated) {
      last->next = record;
      last = record;
    }
    last->next = nullptr;
    student_count = static_cast<int>(allocated.size());
  }
};

void rank(benchmark::State& state, bool relink_first) {
  test_roster list(static_cast<int>(state.range(0)));
  std::mt19937 random(42);
  std::uniform_int_distribution<int> score(0, 300);
  std::size_t comparisons = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (relink_first) list.link_in_allocation_order();
    for (student* record = list.head->next; record != nullptr; record = record->next) {
      record->average = score(random) / 3.0;
    }
    state.ResumeTiming();
    comparisons += bubble_sort_by_average(list.head, student_count);
    benchmark::DoNotOptimize(list.head->next);
  }
  state.counters["comparisons"] = static_cast<double>(comparisons) / static_cast<double>(state.iterations());
  state.counters["time_per_comparison"] =
      benchmark::Counter(static_cast<double>(comparisons), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RankEntered(benchmark::State& state) { rank(state, true); }
void BM_RankReranked(benchmark::State& state) { rank(state, false); }

BENCHMARK(BM_RankEntered)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RankReranked)->Arg(1000)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
