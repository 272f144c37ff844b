#!/usr/bin/env bash
# Whole-program and ranking benchmarks. Prints figures to compare from run to
# run; nothing here passes or fails.
#   bench/run.sh            sessions of 1,000, 10,000 and 100,000 students
#   bench/run.sh 5000       one size only
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(1000 10000 100000)
repeats=5

bash scripts/setup.sh
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall time of several runs, then one run under /usr/bin/time for memory.
measure() {  # locale session-file
  local best=""
  for _ in $(seq "$repeats"); do
    local start end
    start=$(date +%s%N)
    LANG=$1 build-bench/roster < "$2" > "$work/out"
    end=$(date +%s%N)
    local took=$(( (end - start) / 1000 ))
    if [ -z "$best" ] || [ "$took" -lt "$best" ]; then best=$took; fi
  done
  local peak_kb
  peak_kb=$(LANG=$1 /usr/bin/time -f '%M' build-bench/roster < "$2" 2>&1 >/dev/null | tail -n 1)
  echo "$best $(stat -c %s "$work/out") $peak_kb"
}

echo "Whole sessions in pipe mode (best of $repeats runs):"
printf '%-10s %-10s %10s %14s %14s %12s\n' students locale wall_s students/s output_MB/s peak_RSS_MiB
declare -A peak
for n in "${sizes[@]}"; do
  build-bench/bench/make_session "$n" > "$work/session.utf8"
  iconv -f UTF-8 -t GBK "$work/session.utf8" > "$work/session.gbk"
  for locale in zh_CN.GBK C.UTF-8; do
    file=$work/session.utf8
    [ "$locale" = zh_CN.GBK ] && file=$work/session.gbk
    read -r micros bytes peak_kb < <(measure "$locale" "$file")
    peak[$n.$locale]=$peak_kb
    awk -v n="$n" -v l="$locale" -v us="$micros" -v b="$bytes" -v kb="$peak_kb" 'BEGIN {
      s = us / 1e6; printf "%-10d %-10s %10.3f %14.0f %14.1f %12.2f\n", n, l, s, n / s, b / s / 1048576, kb / 1024 }'
  done
done
if [ -n "${peak[100000.C.UTF-8]:-}" ] && [ -n "${peak[1000.C.UTF-8]:-}" ]; then
  awk -v big="${peak[100000.C.UTF-8]}" -v small="${peak[1000.C.UTF-8]}" 'BEGIN {
    printf "memory per record (100,000 run less 1,000 run, C.UTF-8): %.1f bytes\n", (big - small) * 1024 / 99000 }'
fi

echo
echo "Ranking alone:"
build-bench/bench/ranking_bench --benchmark_counters_tabular=true
