#!/usr/bin/env bash
# Fuzzes whole sessions for a chosen time: scripts/fuzz.sh [seconds] [jobs]
# (ROSTER_FUZZ_TARGET=file fuzzes the roster file reader instead, and
# ROSTER_FUZZ_TARGET=line the keys typed at a terminal)
# New inputs go to fuzz/findings/corpus, crashes to fuzz/findings/; copy any
# crash worth keeping into fuzz/corpus so that every test run replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=${2:-1}

source scripts/common.sh
install_packages fuzz clang libclang-rt-14-dev pkg-config libvterm-dev
cmake --preset fuzz && cmake --build --preset fuzz

mkdir -p fuzz/findings/corpus fuzz/findings/file_corpus fuzz/findings/terminal/corpus
parallel=()
# Parallel jobs log to fuzz-N.log in the current folder: keep those in findings.
if [ "$jobs" -gt 1 ]; then parallel=(-jobs="$jobs" -workers="$jobs"); cd fuzz/findings; fi
root=$(git rev-parse --show-toplevel)
target=${ROSTER_FUZZ_TARGET:-session}
case "$target" in
  session) binary=session_fuzzer corpus=corpus extra=(-dict="$root/fuzz/session.dict") ;;
  file) binary=roster_file_fuzzer corpus=file_corpus extra=() ;;
  line) binary=line_reader_fuzzer corpus=terminal/corpus extra=() ;;
  *) echo "fuzz: ROSTER_FUZZ_TARGET is session, file or line, not '$target'" >&2; exit 2 ;;
esac
exec "$root/build-fuzz/fuzz/$binary" "$root/fuzz/findings/$corpus" "$root/fuzz/$corpus" "${extra[@]}" \
  -max_total_time="$seconds" "${parallel[@]}" -artifact_prefix="$root/fuzz/findings/" -print_final_stats=1 \
  -max_len=4096 -timeout=10
