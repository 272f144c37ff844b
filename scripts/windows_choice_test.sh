#!/usr/bin/env bash
# Tests which build windows_check.sh runs its run-time checks on, as a fresh
# machine would see it: a HOME without .cache, an XDG_CACHE_HOME that does
# not exist yet, the 64-bit way asked for, and a kernel that refuses 32-bit
# programs (played by a probe the kernel cannot run). Only the choice is
# made (windows_check.sh --choose); CI runs this after the whole check.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/windows_probe.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# The choice's one line, from a fresh HOME and none of the variables that
# steer it but those given.
choose() {  # home, then NAME=value...
  local home=$1; shift
  mkdir -p "$home"
  env -u XDG_CACHE_HOME -u ROSTER_WINEPREFIX -u ROSTER_WINEPREFIX64 -u ROSTER_WINDOWS_32BIT \
    -u ROSTER_WINDOWS_I386_PROBE HOME="$home" "$@" bash scripts/windows_check.sh --choose 2>&1 |
    grep -E 'run-time checks use|failed' || true
}

expect() {  # what, the line, an extended regex it must match
  if grep -qE "$3" <<<"$2"; then
    echo "windows_choice_test: $1: $2"
  else
    echo "windows_choice_test: $1: expected /$3/, got: ${2:-nothing}" >&2
    failures=$((failures + 1))
  fi
}

write_i386_probe "$work/probe"
if run_i386_probe "$work/probe" "$work/probe.log"; then status=0; else status=$?; fi
if [ "$status" = 42 ]; then
  # A machine whose package sources hold no 32-bit wine cannot run the home
  # platform's build either, and the line says so.
  natural='32-bit build \(i686, preset windows\) under wine: this machine runs 32-bit programs|64-bit build .*: 32-bit wine could not be installed'
else
  natural='64-bit build .* this kernel cannot run 32-bit programs'
  echo "windows_choice_test: this kernel does not run 32-bit programs: the 32-bit way is checked only as refused"
fi

expect "a fresh HOME" "$(choose "$work/fresh")" "$natural"
expect "XDG_CACHE_HOME not there yet" "$(choose "$work/xdg" XDG_CACHE_HOME="$work/xdg/not/yet")" "$natural"
expect "ROSTER_WINDOWS_32BIT=no" "$(choose "$work/no" ROSTER_WINDOWS_32BIT=no)" \
  '64-bit build .*: ROSTER_WINDOWS_32BIT=no$'
printf '\177ELF\1\1\1 not a program any kernel runs' >"$work/refused"
chmod +x "$work/refused"
expect "a kernel that refuses 32-bit programs" "$(choose "$work/refused-home" ROSTER_WINDOWS_I386_PROBE="$work/refused")" \
  '64-bit build .*: this kernel cannot run 32-bit programs \(a 32-bit probe program gave ".*Exec format error", status 126\)'

[ "$failures" = 0 ] || exit 1
