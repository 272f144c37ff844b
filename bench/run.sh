#!/usr/bin/env bash
# Whole-program, roster file and ranking benchmarks. Prints figures to compare from run to
# run; nothing here passes or fails.
#   bench/run.sh                      sessions of 1,000, 10,000 and 100,000 students
#   bench/run.sh 5000                 one size only
#   bench/run.sh --against OTHER 100000
#       runs this build's roster and OTHER (another build of it, say an older
#       commit's) in turn on the same sessions, checks that both write the
#       same bytes, and prints each one's median and the ratio this/OTHER
set -euo pipefail
cd "$(dirname "$0")/.."
other=""
if [ "${1:-}" = --against ]; then
  other=$(realpath "$2")
  [ -x "$other" ] || { echo "bench: $other is not a program" >&2; exit 2; }
  shift 2
fi
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(1000 10000 100000)
repeats=${BENCH_REPEATS:-7}

bash scripts/setup.sh
cmake --preset bench >/dev/null  # what it says on success is noise; errors go to stderr
cmake --build --preset bench >/dev/null
this=build-bench/roster

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall time of one run in microseconds; standard output into $work/out.$3.
one_run() {  # program locale session-file tag
  local start end
  start=$(date +%s%N)
  LANG=$2 "$1" <"$3" >"$work/out.$4"
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

peak_kb() {  # program locale session-file
  LANG=$2 /usr/bin/time -f '%M' "$1" <"$3" 2>&1 >/dev/null | tail -n 1
}

session_for() {  # size locale: the session file, made once per size
  [ -f "$work/session.$1.utf8" ] || {
    build-bench/bench/make_session "$1" >"$work/session.$1.utf8"
    iconv -f UTF-8 -t GBK "$work/session.$1.utf8" >"$work/session.$1.gbk"
  }
  if [ "$2" = zh_CN.GBK ]; then echo "$work/session.$1.gbk"; else echo "$work/session.$1.utf8"; fi
}

if [ -n "$other" ]; then
  echo "This build ($this) against $other, run in turn, $repeats times each (medians):"
  printf '%-10s %-10s %12s %12s %8s %14s %14s\n' students locale this_s other_s ratio this_peak_MiB other_peak_MiB
  for n in "${sizes[@]}"; do
    for locale in zh_CN.GBK C.UTF-8; do
      file=$(session_for "$n" "$locale")
      : >"$work/this.times"
      : >"$work/other.times"
      for _ in $(seq "$repeats"); do
        one_run "$this" "$locale" "$file" this >>"$work/this.times"
        one_run "$other" "$locale" "$file" other >>"$work/other.times"
      done
      cmp -s "$work/out.this" "$work/out.other" ||
        { echo "bench: $n students under $locale: the two programs wrote different bytes" >&2; exit 1; }
      awk -v n="$n" -v l="$locale" -v a="$(median <"$work/this.times")" -v b="$(median <"$work/other.times")" \
        -v pa="$(peak_kb "$this" "$locale" "$file")" -v pb="$(peak_kb "$other" "$locale" "$file")" 'BEGIN {
        printf "%-10d %-10s %12.4f %12.4f %8.3f %14.2f %14.2f\n", n, l, a / 1e6, b / 1e6, a / b, pa / 1024, pb / 1024 }'
    done
  done
  exit 0
fi

echo "Whole sessions in pipe mode (best of $repeats runs):"
printf '%-10s %-10s %10s %14s %14s %12s\n' students locale wall_s students/s output_MB/s peak_RSS_MiB
declare -A peak
for n in "${sizes[@]}"; do
  for locale in zh_CN.GBK C.UTF-8; do
    file=$(session_for "$n" "$locale")
    best=""
    for _ in $(seq "$repeats"); do
      took=$(one_run "$this" "$locale" "$file" this)
      if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
    done
    peak[$n.$locale]=$(peak_kb "$this" "$locale" "$file")
    awk -v n="$n" -v l="$locale" -v us="$best" -v b="$(stat -c %s "$work/out.this")" -v kb="${peak[$n.$locale]}" 'BEGIN {
      s = us / 1e6; printf "%-10d %-10s %10.3f %14.0f %14.1f %12.2f\n", n, l, s, n / s, b / s / 1048576, kb / 1024 }'
  done
done
if [ -n "${peak[100000.C.UTF-8]:-}" ] && [ -n "${peak[1000.C.UTF-8]:-}" ]; then
  awk -v big="${peak[100000.C.UTF-8]}" -v small="${peak[1000.C.UTF-8]}" 'BEGIN {
    printf "memory per record (100,000 run less 1,000 run, C.UTF-8): %.1f bytes\n", (big - small) * 1024 / 99000 }'
fi

echo
file_repeats=$((repeats < 3 ? repeats : 3))
echo "Whole sessions with a roster file (C.UTF-8, best of $file_repeats): item 1 saves once, each of the 100 inserts"
echo "and 100 deletes saves the whole roster again (written, flushed with fsync, renamed):"
printf '%-10s %10s %12s %14s\n' students wall_s saves ms/save
for n in "${sizes[@]}"; do
  file=$(session_for "$n" C.UTF-8)
  best=""
  for _ in $(seq "$file_repeats"); do
    rm -f "$work/roster.csv"
    start=$(date +%s%N)
    LANG=C.UTF-8 "$this" "$work/roster.csv" <"$file" >/dev/null
    took=$((($(date +%s%N) - start) / 1000))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  awk -v n="$n" -v us="$best" 'BEGIN { printf "%-10d %10.3f %12d %14.2f\n", n, us / 1e6, 201, us / 1e3 / 201 }'
done

echo
echo "The roster file alone: rows written (no disk), saved to disk (with fsync), read back:"
build-bench/bench/file_bench --benchmark_counters_tabular=true

echo
echo "Ranking alone:"
build-bench/bench/ranking_bench --benchmark_counters_tabular=true
