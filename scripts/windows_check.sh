#!/usr/bin/env bash
# Cross-compiles roster.exe and its unit tests for 32-bit Windows, runs the
# tests under wine, checks that a piped session gives roster.exe exactly the
# transcript it gives the Linux build, and drives roster.exe at a console
# (wine gives it one on a tmux pane) as a person would.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
missing=()
for package in g++-mingw-w64-i686 wine wine32:i386 googletest tmux; do
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

# At a console: keys through _getwch, lines through ReadConsoleW, text through
# WriteConsoleW, the screen cleared through the console API.
pane=roster-wine-$$
screen() { tmux capture-pane -p -t "$pane"; }
shows() {  # waits up to 10 s for a line matching the extended regex $1
  for _ in $(seq 100); do
    screen | grep -qE "$1" && return 0
    sleep 0.1
  done
  echo "windows_check: console: never showed /$1/" >&2
  screen >&2
  return 1
}
console_run() {  # starts roster.exe on a fresh pane
  tmux kill-session -t "$pane" 2>/dev/null || true
  tmux new-session -d -s "$pane" -x 120 -y 50 \
    "LANG=C.UTF-8 wine build-windows/roster.exe; echo EXIT=\$?; sleep 600"
}
console_session() {
  console_run
  shows '请输入管理员密码：$' &&
    tmux send-keys -t "$pane" 1 Enter 9 0 x BSpace &&
    shows '^请输入管理员密码：\*\*$' &&
    tmux send-keys -t "$pane" 7 1 3 5 Enter &&
    shows '0\.退出$' && ! screen | grep -q '欢迎' &&
    tmux send-keys -t "$pane" 1 Enter 张三 Enter A01 Enter 一班 Enter '90 80 70' Enter '#' Enter &&
    shows '^按任意键进行下一步操作' && sleep 0.5 && screen | grep -q '请输入姓名：#' &&
    tmux send-keys -t "$pane" k 2 Enter &&
    shows '^No\.1 +张三 +A01 +一班 +90\.0 +80\.0 +70\.0 +80\.0$' &&
    tmux send-keys -t "$pane" k 0 Enter &&
    shows '^EXIT=0$' &&
    console_run &&
    shows '请输入管理员密码：$' &&
    tmux send-keys -t "$pane" 1 Enter 2 Enter 3 Enter &&
    shows '^三次输入错误！！！退出系统$' && shows '^EXIT=1$'
}
if console_session; then
  echo "windows_check: console: password, entry form, listing and both exits as at a Linux terminal"
else
  status=1
fi
tmux kill-session -t "$pane" 2>/dev/null || true
exit "$status"
