#!/usr/bin/env bash
# Checks the Windows builds of roster on this Linux machine.
#
# roster.exe for 32-bit Windows (i686), the program's home platform, is always
# cross-compiled, and its file is checked without running it: a PE32 console
# program, statically linked, importing system DLLs only.
#
# The run-time checks run the unit tests under wine, compare piped transcripts
# byte for byte with the Linux build, and drive roster.exe at a wine console
# (on a tmux pane) under code page 437 and code page 936. They run on the
# 32-bit build where this machine can run 32-bit programs, and otherwise on
# the same source built for 64-bit Windows (x86_64) under 64-bit wine.
#
# ROSTER_WINDOWS_32BIT=no takes the 64-bit way without probing (to check that
# way on a machine that could run 32-bit programs); yes skips the probe and
# takes the 32-bit way. ROSTER_WINDOWS_I386_PROBE names a program to run as
# the 32-bit probe instead of the built-in one (the choice's own test uses it
# to play a machine whose kernel refuses 32-bit programs).
#
#   scripts/windows_check.sh            everything
#   scripts/windows_check.sh --choose   only which build the run-time checks use, and why
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh
source scripts/windows_probe.sh

say() { echo "windows_check: $*"; }
fail() { echo "windows_check: $*" >&2; exit 1; }
started=$SECONDS
elapsed() { echo "$((SECONDS - started)) s"; }

work=$(mktemp -d)
pane=roster-wine-$$
# A tmux server of the check's own: a session killed on a server something
# else uses (a second check, say) could take that server down mid-drive.
tmux() { command tmux -L "$pane" -f /dev/null "$@"; }
cleanup() {
  if tmux has-session 2>/dev/null; then tmux kill-server || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Runs a quiet step; its output is shown only when it fails.
quietly() {
  local what=$1; shift
  if ! "$@" >"$work/step.log" 2>&1; then
    echo "windows_check: $what failed (${*}):" >&2
    cat "$work/step.log" >&2
    exit 1
  fi
}

install_packages windows_check g++-mingw-w64-i686-posix googletest tmux locales librsvg2-bin icoutils ||
  fail "the 32-bit Windows toolchain could not be installed"

# --- Which build the run-time checks use --------------------------------------
# Prints why 32-bit Windows programs cannot run here and returns 0; returns 1
# when they can (printing why the probe was skipped, if it was); returns 2,
# printing what went wrong, when a step of the probe itself failed where the
# machine runs 32-bit programs: that is a fault of this check, never a reason
# to take the 64-bit way.
why_no_32bit() {
  case "${ROSTER_WINDOWS_32BIT:-auto}" in
    no) echo "ROSTER_WINDOWS_32BIT=no"; return 0 ;;
    yes) echo "ROSTER_WINDOWS_32BIT=yes"; return 1 ;;
  esac
  local status=0 probe=${ROSTER_WINDOWS_I386_PROBE:-$work/i386-probe}
  [ -n "${ROSTER_WINDOWS_I386_PROBE:-}" ] || write_i386_probe "$probe"
  run_i386_probe "$probe" "$work/probe.log" || status=$?
  if [ "$status" != 42 ]; then
    echo "this kernel cannot run 32-bit programs (a 32-bit probe program gave \"$(sed -n '1s/.*: //p' "$work/probe.log")\", status $status)"
    return 0
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  if ! install_packages windows_check wine wine32:i386 >"$work/install.log" 2>&1; then
    echo "32-bit wine could not be installed: $(tail -n 3 "$work/install.log" | tr '\n' ' ')"
    return 0
  fi
  printf 'int main(void) { return 42; }\n' >"$work/probe.c"
  if ! i686-w64-mingw32-gcc -o "$work/probe.exe" "$work/probe.c" >"$work/probe.log" 2>&1; then
    echo "compiling the 32-bit Windows probe failed:"
    cat "$work/probe.log"
    return 2
  fi
  # wine makes the prefix on its first run, but not the folders above it.
  mkdir -p "$WINEPREFIX"
  status=0
  timeout 300 wine "$work/probe.exe" >"$work/probe.log" 2>&1 || status=$?
  if [ "$status" != 42 ]; then
    echo "this machine runs 32-bit programs and 32-bit wine is installed, yet wine did not run a 32-bit program (status $status, WINEPREFIX=$WINEPREFIX):"
    cat "$work/probe.log"
    return 2
  fi
  return 1
}

export WINEDEBUG=-all
cache=${XDG_CACHE_HOME:-$HOME/.cache}
export WINEPREFIX=${ROSTER_WINEPREFIX:-$cache/roster-wineprefix}
choice=0
reason=$(why_no_32bit) || choice=$?
if [ "$choice" = 2 ]; then
  fail "the 32-bit probe failed: $reason"
elif [ "$choice" = 0 ]; then
  emulated=no
  if [[ $reason == "this kernel cannot run 32-bit programs"* ]]; then
    emulated=yes
    say "run-time checks use the 64-bit build (x86_64, preset windows64) under wine64: $reason; the 32-bit build's own checks follow under emulation (qemu-i386), where this machine allows it"
  else
    say "run-time checks use the 64-bit build (x86_64, preset windows64) under wine64: $reason"
    say "skipped: running the 32-bit build itself, because of that"
  fi
  preset=windows64
  exe=build-windows64/roster.exe
  export WINEPREFIX=${ROSTER_WINEPREFIX64:-$cache/roster-wineprefix64}
else
  say "run-time checks use the 32-bit build (i686, preset windows) under wine: ${reason:-this machine runs 32-bit programs}"
  preset=windows
  exe=build-windows/roster.exe
  wine=wine
fi
[ "${1:-}" != --choose ] || exit 0
if [ "$preset" = windows64 ]; then
  install_packages windows_check g++-mingw-w64-x86-64-posix wine64 ||
    fail "the 64-bit Windows toolchain or wine64 could not be installed"
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  [ -x "$wine" ] || fail "wine64 is installed but its loader was not found"
  export WINELOADER=$wine WINEARCH=win64
fi


# --- The 32-bit build, checked as a file ------------------------------------
say "building roster.exe for 32-bit Windows (preset windows)"
cmake --preset windows >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; fail "configuring preset windows failed"; }
cmake --build --preset windows

# A PE file of the given magic, a console program, whose imports are all DLLs
# every Windows has: nothing of the compiler's runtime is left to a DLL.
check_executable() {  # the file, PE32 or PE32+, its objdump
  local exe=$1 format=$2 objdump=$3 headers imports
  headers=$("$objdump" -p "$exe") || fail "$objdump could not read $exe"
  grep -qF "($format)" <<<"$(grep -m1 '^Magic' <<<"$headers")" ||
    fail "$exe is not $format: $(grep -m1 Magic <<<"$headers")"
  grep -qE '^Subsystem[[:space:]]+00000003' <<<"$headers" ||
    fail "$exe is not a console program: $(grep -m1 Subsystem <<<"$headers")"
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -u | tr '\n' ' ')
  [ -n "$imports" ] || fail "$exe imports nothing, which no Windows program does"
  local dll
  for dll in $imports; do
    case "${dll,,}" in
      kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|shell32.dll|ws2_32.dll|ntdll.dll) ;;
      *) fail "$exe needs $dll, which is not a system DLL: link it statically" ;;
    esac
  done
  say "$exe: $format console program, imports ${imports% } only"
}
check_executable build-windows/roster.exe PE32 i686-w64-mingw32-objdump

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  quietly "making the wine prefix $WINEPREFIX" timeout 300 "$wine" wineboot -i
fi

# --- Unit tests under wine -----------------------------------------------------
step=$SECONDS
if [ "$preset" = windows ]; then
  ctest --preset windows
else
  cmake --workflow --preset windows64
  check_executable "$exe" PE32+ x86_64-w64-mingw32-objdump
fi
say "unit tests under $wine passed ($((SECONDS - step)) s)"

# --- The same piped session through both builds, byte for byte -----------------
step=$SECONDS
[ -x build/roster ] || {
  quietly "configuring the Linux build" cmake --preset default
  cmake --build --preset default --target roster
}
iconv -f UTF-8 -t GBK tests/e2e/data/full_session.in >"$work/session"
printf '1\r\n2\r\n3\r\n' >"$work/wrong_passwords"
status=0
for session in session wrong_passwords; do
  linux_status=0 windows_status=0
  LANG=zh_CN.GBK build/roster <"$work/$session" >"$work/linux.out" || linux_status=$?
  "$wine" "$exe" <"$work/$session" >"$work/windows.out" 2>"$work/windows.err" || windows_status=$?
  if cmp -s "$work/linux.out" "$work/windows.out" && [ "$linux_status" = "$windows_status" ]; then
    say "$session: the same transcript and exit status $windows_status on both builds"
  else
    echo "windows_check: $session: transcripts or exit statuses differ (Linux $linux_status, Windows $windows_status)" >&2
    cmp "$work/linux.out" "$work/windows.out" >&2 || true
    cat "$work/windows.err" >&2
    status=1
  fi
done
say "piped transcripts compared ($((SECONDS - step)) s)"

# --- Roster files ---------------------------------------------------------------
# A session saved to a file with a Chinese name, the same bytes as the Linux
# build saves; started again, it lists the same roster; a second copy and a
# bad file are refused with their statuses.
step=$SECONDS
files=$work/files
mkdir -p "$files/linux"
windows_exe=$PWD/$exe
in_files() { (cd "$files" && LANG=C.UTF-8 "$wine" "$windows_exe" "$@"); }
printf '907135\r\n1\r\nA\r\nA01\r\nC1\r\n60 70 81\r\nB\r\nA02\r\nC1\r\n90 85.5 70\r\n#\r\n7\r\n2\r\n0\r\n' >"$work/file_session"
file_status=0
in_files 二班.csv <"$work/file_session" >"$work/first.out" 2>"$work/first.err" || file_status=$?
(cd "$files/linux" && LANG=zh_CN.GBK "$OLDPWD/build/roster" 二班.csv <"$work/file_session" >/dev/null)
printf '907135\r\n2\r\n0\r\n' | in_files 二班.csv >"$work/again.out" 2>&1 || file_status=$?
listing() { sed -n '/^No\.1/,/^No\.2/p' "$1" | tail -n 2; }
files_ok=yes
check_file() {  # what, then a command that must succeed
  local what=$1; shift
  if "$@"; then return 0; fi
  echo "windows_check: roster files: $what" >&2
  status=1 files_ok=no
}
check_file "the session ended with status $file_status: $(cat "$work/first.err")" [ "$file_status" = 0 ]
check_file "the Windows build saved other bytes than the Linux build" cmp "$files/二班.csv" "$files/linux/二班.csv"
check_file "started again, it listed another roster" [ "$(listing "$work/first.out")" = "$(listing "$work/again.out")" ]
check_file "the ranked listing is not B first" grep -q '^No\.1.*A02' "$work/again.out"
# The temporary file is hidden while it is written; the roster it becomes is not.
attributes=$(cd "$files" && WINEDEBUG=-all "$wine" cmd /c attrib 二班.csv | tr -d '\r')
not_hidden() { local flags=${1:0:12}; [ -n "$1" ] && [ "$flags" = "${flags//H/}" ]; }
check_file "the saved roster file is hidden: $attributes" not_hidden "$attributes"
mkfifo "$files/hold"
in_files 二班.csv <"$files/hold" >/dev/null 2>&1 &
holder=$!
exec 9>"$files/hold"
sleep 3
second=0
in_files 二班.csv </dev/null >/dev/null 2>"$work/second.err" || second=$?
printf '907135\r\n0\r\n' >&9
exec 9>&-
wait "$holder" || true
check_file "a second copy ended with $second, not 75: $(cat "$work/second.err")" [ "$second" = 75 ]
printf '姓名,学号,班级,科目一,科目二,科目三,平均分\r\n张三,A01,一班,90\r\n' >"$files/bad.csv"
bad=0
in_files bad.csv </dev/null >/dev/null 2>"$work/bad.err" || bad=$?
check_file "a bad file ended with $bad, not 65" [ "$bad" = 65 ]
# The refusal comes in the reader's language (wine takes the user's interface
# language from LANG), piped in the console's code page: GBK here.
check_file "a bad file was refused with another line: $(iconv -f GBK -t UTF-8 "$work/bad.err")" \
  grep -qx 'roster: bad.csv: line 2, field 5 (科目二): 4 fields in the row, where a roster row has 7' \
  <(iconv -f GBK -t UTF-8 "$work/bad.err")
(cd "$files" && LANG=zh_CN.UTF-8 "$wine" "$windows_exe" bad.csv </dev/null >/dev/null 2>"$work/bad.zh.err") || true
check_file "a bad file was refused to a Chinese reader with another line: $(iconv -f GBK -t UTF-8 "$work/bad.zh.err")" \
  grep -qx 'roster: bad.csv：第 2 行第 5 列（科目二）：这一行有 4 列，名单的一行应有 7 列' \
  <(iconv -f GBK -t UTF-8 "$work/bad.zh.err")
# A read-only file (wine shows a file without write bits as one with the
# read-only attribute) is listed, never replaced, and a change ends with 73.
cp "$files/二班.csv" "$files/readonly.csv"
chmod 444 "$files/readonly.csv"
read_only=0
printf '907135\r\n4 A01\r\n\r\n0\r\n' | in_files readonly.csv >/dev/null 2>"$work/readonly.err" || read_only=$?
check_file "a change to a read-only file ended with $read_only, not 73" [ "$read_only" = 73 ]
check_file "a read-only file was replaced" cmp -s "$files/二班.csv" "$files/readonly.csv"
check_file "a read-only file was not said to be one: $(iconv -f GBK -t UTF-8 "$work/readonly.err")" \
  grep -q '^roster: readonly.csv: read-only for you' <(iconv -f GBK -t UTF-8 "$work/readonly.err")
# Another program's save meanwhile is kept as a version before a change is
# saved over it, and --history says so.
printf '907135\r\n6 A01\r\n\r\n4 A01\r\n\r\n0\r\n' >"$work/changed_session"
cp "$files/二班.csv" "$files/changed.csv"
mkfifo "$files/changing"
in_files changed.csv <"$files/changing" >/dev/null 2>"$work/changed.err" &
changer=$!
exec 9>"$files/changing"
printf '907135\r\n6 A01\r\n\r\n' >&9
sleep 3
printf '\r\nspreadsheet\r\n' >>"$files/changed.csv"
cp "$files/changed.csv" "$work/theirs.csv"
printf '4 A01\r\n\r\n0\r\n' >&9
exec 9>&-
wait "$changer" || true
kept=$(grep -l spreadsheet "$files"/changed-versions/*.csv | head -n 1 || true)
check_file "another program's save was not kept as a version: $(ls -R "$files"); $(iconv -f GBK -t UTF-8 "$work/changed.err")" \
  cmp -s "$kept" "$work/theirs.csv"
history=$(in_files --history changed.csv 2>&1 | tr -d '\r' || true)
check_file "--history does not list another program's version second: $history" \
  grep -qE '^  2  [0-9-]+ [0-9:]+  [?]  .*  saved by another program$' <<<"$history"
[ "$files_ok" = no ] || say "roster files: saved as the Linux build saves, listed again, a second copy, a bad file and a read-only one refused, another program's save kept as a version and listed by --history ($((SECONDS - step)) s)"

# --- At a console ------------------------------------------------------------------
# Keys through _getwch, lines through ReadConsoleW, the screen cleared through
# the console API. Under C.UTF-8 wine's console has code page 437 and text goes
# out through WriteConsoleW; under zh_CN.UTF-8 it has code page 936 and the
# program's GBK bytes go out as they are. tmux shows both as UTF-8.
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
console_run() {  # starts roster.exe on a fresh pane under locale $1, after chcp
  tmux kill-session -t "$pane" 2>/dev/null || true
  tmux new-session -d -s "$pane" -x 120 -y 50 \
    "export LANG=$1; '$wine' cmd /c chcp; '$wine' $exe; echo EXIT=\$?; sleep 600"
}
# The home console's keys as wine's console gives them: an arrow key at the
# password prompt is two held keys (224, then its code) and two stars, which
# two Backspaces take back; keys and lines typed ahead during a pause answer
# the next pause and the next question. (Ctrl-Z, which tmux cannot pass to
# wine's console, is typed as a key event by the console driver below.)
console_session() {  # locale, the code page its console must have
  console_run "$1"
  shows '请输入管理员密码：$' && shows "(code page|代码页): $2\$" &&
    tmux send-keys -t "$pane" 1 Enter 9 0 x BSpace &&
    shows '^请输入管理员密码：\*\*$' &&
    tmux send-keys -t "$pane" Up &&
    shows '^请输入管理员密码：\*\*\*\*$' &&
    tmux send-keys -t "$pane" BSpace BSpace &&
    shows '^请输入管理员密码：\*\*$' &&
    tmux send-keys -t "$pane" 7 1 3 5 Enter &&
    shows '0\.退出$' && ! screen | grep -q '欢迎' &&
    tmux send-keys -t "$pane" 1 Enter 张三 Enter A01 Enter 一班 Enter '90 80 70' Enter '#' Enter &&
    shows '^按任意键进行下一步操作' && sleep 0.5 && screen | grep -q '请输入姓名：#' &&
    tmux send-keys -t "$pane" k 2 Enter &&
    shows '^No\.1 +张三 +A01 +一班 +90\.0 +80\.0 +70\.0 +80\.0$' &&
    tmux send-keys -t "$pane" k 7 Enter k 6 ' ' A01 Enter &&
    shows '^张三 +A01 +一班 +90\.0 +80\.0 +70\.0 +80\.0$' &&
    tmux send-keys -t "$pane" k 0 Enter &&
    shows '^EXIT=0$' &&
    console_run "$1" &&
    shows '请输入管理员密码：$' &&
    tmux send-keys -t "$pane" 1 Enter 2 Enter 3 Enter &&
    shows '^三次输入错误！！！退出系统$' && shows '^EXIT=1$'
}
ensure_zh_locale windows_check UTF-8 || exit 1
for console_locale in C.UTF-8:437 zh_CN.UTF-8:936; do
  step=$SECONDS
  locale_name=${console_locale%:*} code_page=${console_locale#*:}
  if console_session "$locale_name" "$code_page"; then
    say "console, code page $code_page ($locale_name): password with an arrow key, entry form, listing, keys and a query typed ahead, both exits ($((SECONDS - step)) s)"
  else
    echo "windows_check: console, code page $code_page ($locale_name): the drive above failed" >&2
    status=1
  fi
done

# --- Key events at a console ----------------------------------------------------
# The console driver types console key events (WriteConsoleInputW) into
# roster.exe and reads the console's own screen back, case by case
# (tests/windows/console_cases.txt); it runs on a tmux pane so that wine gives
# it a console, once at code page 936 and once at 437, and writes a report.
driver=${exe%/roster.exe}/tests/console_driver.exe
[ -f "$driver" ] || fail "$driver was not built"
# One wine server for all the driver's runs: a client that starts as an idle
# server shuts down fails ("server exited unexpectedly").
# (It says so, status 2, when one runs already, which is as good.)
wineserver=$(command -v wineserver || true)
[ -z "$wineserver" ] || "$wineserver" -p || [ $? = 2 ]
# Runs the driver's cases CASES on a tmux pane: drive NAME CASES CODE_PAGE
# LANG [COMMAND...], COMMAND going before wine (xvfb-run, say).
drive() {
  local name=$1 cases=$2 code_page=$3 language=$4 step=$SECONDS
  shift 4
  local report=$work/driver.$code_page.$language.txt
  tmux kill-session -t "$pane" 2>/dev/null || true
  tmux new-session -d -s "$pane" -x 120 -y 50 \
    "export LANG=$language; $* '$wine' '$driver' '$PWD/$exe' $cases $code_page '$report' >'$report.log' 2>&1; echo \$? >'$report.status'"
  for _ in $(seq 300); do [ -f "$report.status" ] && break; sleep 1; done
  if [ -f "$report" ] && tail -n 1 "$report" | grep -qE '^[0-9]+ passed, 0 failed$'; then
    say "$name: $(tail -n 1 "$report") ($((SECONDS - step)) s)"
    sed -n 's/^ok   /windows_check:   ok: /p; s/^  (\(.*\))$/windows_check:   note: \1/p' "$report"
  else
    echo "windows_check: $name: the driver's cases did not all pass:" >&2
    cat "$report" >&2 2>/dev/null || { echo "(no report)"; screen; } >&2
    grep -v fixme "$report.log" | tail -n 20 >&2 || true
    status=1
  fi
}
for code_page in 936 437; do
  drive "key events, code page $code_page" tests/windows/console_cases.txt "$code_page" C.UTF-8
done
[ -z "$wineserver" ] || "$wineserver" -k || true

# --- A console of the program's own -------------------------------------------
# Started from Explorer or a shortcut, roster.exe gets a console made for it,
# which closes as it ends: a refusal must wait for a key. wine makes such a
# console only with a display, so these cases run under Xvfb (with a wine
# server started there, not the one above), for a Chinese reader
# (tests/windows/own_console_cases.txt).
if install_packages windows_check xvfb xauth && command -v xvfb-run >/dev/null; then
  drive "consoles of the program's own" tests/windows/own_console_cases.txt 936 zh_CN.UTF-8 xvfb-run -a
  [ -z "$wineserver" ] || "$wineserver" -k || true
else
  say "skipped: a console of the program's own, because Xvfb (which wine needs to make one) could not be installed"
fi

# --- The .zip for Windows -------------------------------------------------------
step=$SECONDS
cmake --workflow --preset windows-zip >"$work/zip.log" 2>&1 || { cat "$work/zip.log" >&2; fail "making the .zip failed"; }
zip=$(ls build-windows-release/roster-*-win32.zip)
listing=$(cmake -E tar tf "$zip")
for file in roster.exe README.md README.zh-CN.md; do
  grep -qE "(^|/)$file\$" <<<"$listing" || fail "$zip lacks $file: $listing"
done
say "$zip holds roster.exe and both READMEs ($((SECONDS - step)) s)"

# --- The installer ----------------------------------------------------------------
# Made by CPack's NSIS generator for the build the run-time checks use (an
# installer runs the program's own architecture), then run as a user would:
# a silent install into a fresh wine prefix and home, the Start-menu entry
# read back and its command run, the "Open with" keys read back, and a silent
# uninstall that leaves the roster file.
step=$SECONDS
install_packages windows_check nsis liblnk-utils icoutils || fail "makensis, lnkinfo and wrestool could not be installed"
installer_preset=windows-installer suffix=win32
if [ "$preset" = windows64 ]; then installer_preset=windows64-installer suffix=win64; fi
cmake --workflow --preset "$installer_preset" >"$work/installer.log" 2>&1 ||
  { cat "$work/installer.log" >&2; fail "making the installer failed"; }
installer=$(ls build-"${installer_preset%-installer}"-release/roster-*-"$suffix".exe)
wineserver_binary=$(command -v wineserver || echo /usr/lib/wine/wineserver)
in_prefix() { env HOME="$work/user" WINEPREFIX="${prefix:-$work/installed}" LANG="${reader:-zh_CN.UTF-8}" WINEDEBUG=-all WINESERVER_BINARY="$wineserver_binary" "$@"; }
mkdir -p "$work/user"
in_prefix "$wine" "$installer" /S >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "$installer /S failed"; }
in_prefix "$wineserver_binary" -w
programs=$(find "$work/installed/drive_c" -maxdepth 2 -type d -path '*/Program Files*/roster' | head -n 1)
[ -n "$programs" ] || fail "the installer put no roster folder under Program Files"
for file in roster.exe README.md README.zh-CN.md Uninstall.exe; do
  [ -f "$programs/$file" ] || fail "the installer left out $file: $(ls "$programs")"
done
entry=$(find "$work/installed/drive_c/users" -path '*/Start Menu/Programs/学生信息管理系统/学生名单.lnk' | head -n 1)
[ -n "$entry" ] || fail "the installer made no Start-menu entry 学生信息管理系统\\学生名单: $(find "$work/installed/drive_c/users" -name '*.lnk')"
icons=$(wrestool -l --type=group_icon "$programs/roster.exe" 2>&1)
grep -q 'type=group_icon' <<<"$icons" || fail "the installed roster.exe has no icon: $icons"
link=$(lnkinfo "$entry") || fail "lnkinfo could not read $entry"
target=$(sed -n 's/^\s*Local path\s*: //p' <<<"$link")
arguments=$(sed -n 's/^\s*Command line arguments\s*: //p' <<<"$link")
[[ $target == *'\roster.exe' ]] || fail "the entry starts $target, not roster.exe: $link"
[[ $arguments =~ ^\"C:\\users\\[^\\]+\\Documents\\学生名单\.csv\"$ ]] || fail "the entry's arguments are $arguments: $link"
roster_file=${arguments//\"/}
session=$(printf '907135\n1\n张三\nA01\n一班\n90 80 70\n#\n\n0\n' | iconv -f UTF-8 -t GBK)
in_prefix "$wine" "$target" "$roster_file" <<<"$session" >/dev/null 2>"$work/entry.log" || { cat "$work/entry.log" >&2; fail "the entry's command failed"; }
listed=$(in_prefix "$wine" "$target" "$roster_file" <<<$'907135\n2\n\n0' 2>"$work/entry.log" | iconv -f GBK -t UTF-8)
grep -qE '^No\.1\s+张三\s+A01\s+一班\s+90\.0\s+80\.0\s+70\.0\s+80\.0$' <<<"$listed" ||
  fail "the roster the entry saved does not list again: $listed"
saved=$(in_prefix "$wine" winepath -u "$roster_file" 2>/dev/null)
[ -f "$saved" ] || fail "no roster file at $roster_file ($saved)"
# The second entry opens, in Explorer, the folder the program keeps the
# roster's versions in: its history is there after the save above.
history_entry=${entry%/*}/学生名单的历史版本.lnk
history_link=$(lnkinfo "$history_entry") || fail "lnkinfo could not read $history_entry"
grep -qiE '^\s*Local path\s*: .*\\explorer\.exe$' <<<"$history_link" || fail "the history entry does not open Explorer: $history_link"
history_folder=$(sed -n 's/^\s*Command line arguments\s*: //p' <<<"$history_link" | tr -d '"')
[[ $history_folder == "${roster_file%.csv}-versions" ]] || fail "the history entry opens $history_folder, not ${roster_file%.csv}-versions"
[ -f "${saved%.csv}-versions/versions.txt" ] || fail "the program kept no history where the entry looks: $(ls -A "${saved%/*}")"
keys=$(in_prefix "$wine" reg query 'HKLM\Software\Classes\Applications\roster.exe\shell\open\command' /ve 2>&1 | tr -d '\r')
grep -qF '\roster.exe" "%1"' <<<"$keys" || fail "no Open with command for roster.exe: $keys"
list=$(in_prefix "$wine" reg query 'HKLM\Software\Classes\.csv\OpenWithList\roster.exe' 2>&1 | tr -d '\r')
grep -q 'OpenWithList\\roster.exe' <<<"$list" || fail "roster.exe is not in the .csv Open with list: $list"
default=$(in_prefix "$wine" reg query 'HKCR\.csv' /ve 2>&1 | tr -d '\r')
! grep -qi 'roster' <<<"$default" || fail "the installer took the default program for .csv: $default"
# The installer as a person meets it, page by page, with the texts each page
# shows read back (tests/windows/installer_driver.cpp goes through them under
# Xvfb): for a Chinese reader over the installed copy, an upgrade that asks in
# Chinese; for an English reader, on a fresh machine and again over itself,
# English throughout, then an uninstall. Either way: no licence page, no
# Start-menu page, and no name that carries the version.
installer_driver=${exe%/roster.exe}/tests/installer_driver.exe
windows_installer=$(in_prefix "$wine" winepath -w "$installer" 2>/dev/null | tr -d '\r')
pages() {  # the run's name, then what the driver runs; the texts go to $work/NAME.txt
  local name=$1; shift
  # A wine server started without a display (by the commands above) cannot
  # show a window: this prefix's is ended first, and waited for within
  # Xvfb's lifetime after.
  in_prefix "$wineserver_binary" -k || true  # none running is as good
  in_prefix "$wineserver_binary" -w
  in_prefix xvfb-run -a sh -c '"$0" "$@"; status=$?; "$WINESERVER_BINARY" -w; exit $status' \
    "$wine" "$installer_driver" "$@" >"$work/$name.txt" 2>"$work/$name.log" ||
    { cat "$work/$name.log" >&2; fail "$name: the installer driver failed"; }
  tr -d '\r' <"$work/$name.txt" >"$work/$name.tmp" && mv "$work/$name.tmp" "$work/$name.txt"
  grep -qx 'exit 0' "$work/$name.txt" || { cat "$work/$name.txt" >&2; fail "$name: the program did not end with status 0"; }
  ! grep -Eiq 'licen|许可|Start Menu Folder|开始菜单」|1\.[0-9]+\.[0-9]+|CPack' "$work/$name.txt" ||
    { cat "$work/$name.txt" >&2; fail "$name: a licence or Start-menu page, or a version, was shown"; }
}
clicks() { grep '^click' "$work/$1.txt" | cut -d' ' -f2 | tr '\n' ' '; }
if command -v xvfb-run >/dev/null && [ -f "$installer_driver" ]; then
  pages upgrade-zh "$windows_installer"
  [ "$(clicks upgrade-zh)" = "6 1 1 1 " ] || { cat "$work/upgrade-zh.txt" >&2; fail "the Chinese upgrade went otherwise than question, welcome, folder, finish"; }
  grep -q '已经安装' "$work/upgrade-zh.txt" || fail "the Chinese upgrade question is not Chinese: $(head -n 5 "$work/upgrade-zh.txt")"
  # The texts alone: not the driver's own words, nor the folder typed in.
  shown_texts() { sed -E '/^(click|exit) /d; /^  Edit /d; s/^window //; s/^  [A-Za-z0-9#]+ -?[0-9]+: //' "$1"; }
  english=$(shown_texts "$work/upgrade-zh.txt" | grep -Eo '[A-Za-z]{4,}( [A-Za-z]+)*' | sort -u | tr '\n' ' ' || true)
  [ -z "$english" ] || { cat "$work/upgrade-zh.txt" >&2; fail "the Chinese installer showed English: $english"; }
  entries=$(find "$work/installed/drive_c" -name '*.lnk' -path '*/Start Menu/*' | sed "s|.*/Start Menu/||" | LC_ALL=C sort | tr '\n' ' ')
  [ "$entries" = "Programs/学生信息管理系统/学生名单.lnk Programs/学生信息管理系统/学生名单的历史版本.lnk " ] ||
    fail "after the upgrade the Start menu holds: $entries"
  # reg writes in the console's code page, 936 for this reader.
  shown=$(in_prefix "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\roster' /v DisplayName 2>&1 |
    iconv -f GBK -t UTF-8 | tr -d '\r')
  grep -q 'REG_SZ\s*学生信息管理系统$' <<<"$shown" || fail "Apps lists the program as: $shown"
  prefix=$work/english reader=en_US.UTF-8 pages fresh-en "$windows_installer"
  prefix=$work/english reader=en_US.UTF-8 pages upgrade-en "$windows_installer"
  prefix=$work/english reader=en_US.UTF-8 pages uninstall-en "$(in_prefix "$wine" winepath -w "$programs" 2>/dev/null | tr -d '\r')\Uninstall.exe"
  [ "$(clicks fresh-en)|$(clicks upgrade-en)|$(clicks uninstall-en)" = "1 1 1 |6 1 1 1 |1 1 " ] ||
    { cat "$work"/*-en.txt >&2; fail "the English installer went through other pages than welcome, folder, finish (and its question, and the uninstaller's two)"; }
  grep -q 'already installed' "$work/upgrade-en.txt" || fail "the English upgrade question is not English: $(head -n 5 "$work/upgrade-en.txt")"
  for run in fresh-en upgrade-en uninstall-en; do
    ! shown_texts "$work/$run.txt" | grep -qP '[^\x00-\x7f]' ||
      { cat "$work/$run.txt" >&2; fail "$run: the English installer showed text that is not English"; }
  done
  ! find "$work/english/drive_c" -path '*/Start Menu/*' -name '*.lnk' | grep -q . || fail "the English uninstall left Start-menu entries"
  say "the installer's pages read back: a Chinese upgrade that asks in Chinese, an English install, upgrade and uninstall in English; welcome, folder and finish only; each Start-menu entry once after an upgrade; no version in any name"
else
  say "skipped: the installer's pages read back, because Xvfb or the installer driver is missing"
fi
say "installer $installer: $programs holds roster.exe, both READMEs and Uninstall.exe; the entry $(basename "$entry") runs $target $arguments, and saved a student there that lists again; .csv files offer roster.exe under Open with, their default untouched"
uninstaller=$(in_prefix "$wine" winepath -w "$programs/Uninstall.exe" 2>/dev/null | tr -d '\r')
in_prefix "$wine" "$uninstaller" /S >"$work/uninstall.log" 2>&1 || { cat "$work/uninstall.log" >&2; fail "Uninstall.exe /S failed"; }
in_prefix "$wineserver_binary" -w
[ ! -e "$programs/roster.exe" ] || fail "the uninstaller left $programs/roster.exe"
[ ! -e "$entry" ] || fail "the uninstaller left the Start-menu entry"
if in_prefix "$wine" reg query 'HKLM\Software\Classes\Applications\roster.exe' >"$work/reg.log" 2>&1; then fail "the uninstaller left the Open with keys"; fi
[ -f "$saved" ] || fail "the uninstaller removed the roster file $saved"
say "uninstalled silently: program, entry and keys gone, the roster file kept ($((SECONDS - step)) s)"

# --- The 32-bit build under emulation ------------------------------------------
# Where the kernel refuses 32-bit programs, the home platform's build still
# runs its most telling checks, through qemu-i386 (scripts/windows_emulated.sh).
if [ "${emulated:-no}" = yes ]; then
  bash scripts/windows_emulated.sh "$work" || status=1
fi

if [ "$status" = 0 ]; then say "all checks passed on the $preset build ($(elapsed))"; fi
exit "$status"
