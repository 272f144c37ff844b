#!/usr/bin/env bash
# Cross-compiles roster.exe and its unit tests for 32-bit Windows, runs the
# tests under wine, and checks that a piped session gives roster.exe exactly
# the transcript it gives the Linux build.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
missing=()
for package in g++-mingw-w64-i686 wine wine32:i386 googletest; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "windows_check: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# One wine prefix, made once and reused by every run.
export WINEDEBUG=-all
export WINEPREFIX=${ROSTER_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/roster-wineprefix}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
fi

cmake --workflow --preset windows

# The same piped session through both builds, byte for byte.
[ -x build/roster ] || { cmake --preset default >/dev/null && cmake --build --preset default --target roster; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
iconv -f UTF-8 -t GBK tests/e2e/data/full_session.in > "$work/session"
printf '1\r\n2\r\n3\r\n' > "$work/wrong_passwords"
status=0
for session in session wrong_passwords; do
  linux_status=0 windows_status=0
  LANG=zh_CN.GBK build/roster < "$work/$session" > "$work/linux.out" || linux_status=$?
  wine build-windows/roster.exe < "$work/$session" > "$work/windows.out" 2>/dev/null || windows_status=$?
  if cmp -s "$work/linux.out" "$work/windows.out" && [ "$linux_status" = "$windows_status" ]; then
    echo "windows_check: $session: the same transcript and exit status $windows_status on both builds"
  else
    echo "windows_check: $session: transcripts or exit statuses differ ($linux_status, $windows_status)" >&2
    cmp "$work/linux.out" "$work/windows.out" >&2 || true
    status=1
  fi
done
exit "$status"
