#!/usr/bin/env bash
# The 32-bit Windows build run-checked on a machine whose kernel refuses
# 32-bit programs: in a user namespace of its own (Linux 6.7 and later give
# each one a binfmt_misc), 32-bit x86 programs are handed to qemu-i386, and
# the 32-bit wine loader runs roster.exe there. Slow (a minute or two a
# start), so only the checks that matter most: the GBK transcripts against
# the Linux build, a roster-file session saving the same bytes, and the
# 32-bit installer installed, its entry's command run, and uninstalled.
#
#   windows_emulated.sh WORK    (called by windows_check.sh; WORK its scratch folder)
# Says in one line what ran, or what was skipped and why; status 1 on a
# failed check only.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

say() { echo "windows_check: 32-bit under emulation: $*"; }
skip() { say "skipped: $*"; exit 0; }
fail() { echo "windows_check: 32-bit under emulation: $*" >&2; exit 1; }

# An i386 ELF program (e_machine 3) goes to qemu-i386, opened now (flag F),
# so that it runs from inside any mount namespace.
register_i386() {
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
    printf ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      >/proc/sys/fs/binfmt_misc/register
}

# --- Inside the namespace ----------------------------------------------------
if [ "${1:-}" = --inside ]; then
  work=$2
  register_i386 || fail "binfmt_misc could not be mounted in the namespace"
  export WINEDEBUG=-all QEMU_RESERVED_VA=0xbf000000
  export WINEPREFIX=${ROSTER_WINEPREFIX32_EMULATED:-${XDG_CACHE_HOME:-$HOME/.cache}/roster-wineprefix32-emulated}
  wine=/usr/lib/wine/wine
  exe=$PWD/build-windows/roster.exe
  status=0
  # The wine servers of both prefixes outlive the namespace's shell: they are
  # ended, and waited for, before the caller removes its scratch folder.
  end_servers() {
    local prefix server=/usr/lib/wine/wineserver32  # the one the 32-bit loader starts
    [ -x "$server" ] || server=/usr/lib/wine/wineserver
    for prefix in "$WINEPREFIX" "$work/e.installed"; do
      [ -d "$prefix" ] || continue
      WINEPREFIX=$prefix "$server" -k || true
      WINEPREFIX=$prefix timeout 120 "$server" -w || true
    done
  }
  trap end_servers EXIT
  step=$SECONDS
  mkdir -p "$WINEPREFIX"
  timeout 600 "$wine" "$exe" --version >"$work/e.version" 2>"$work/e.version.err" ||
    fail "roster.exe --version did not run: $(tail -n 3 "$work/e.version.err")"
  grep -qx 'roster [0-9.]*' <(tr -d '\r' <"$work/e.version") || fail "roster.exe --version said $(cat "$work/e.version")"
  say "roster.exe --version, the wine prefix made or found ($((SECONDS - step)) s)"

  # The piped sessions that matter most, byte for byte as the Linux build.
  for session in session wrong_passwords; do
    step=$SECONDS
    linux=0 windows=0
    LANG=zh_CN.GBK build/roster <"$work/$session" >"$work/e.linux.out" || linux=$?
    timeout 600 "$wine" "$exe" <"$work/$session" >"$work/e.windows.out" 2>"$work/e.windows.err" || windows=$?
    if cmp -s "$work/e.linux.out" "$work/e.windows.out" && [ "$linux" = "$windows" ]; then
      say "$session: the same transcript and exit status $windows as the Linux build ($((SECONDS - step)) s)"
    else
      echo "windows_check: 32-bit under emulation: $session: transcripts or statuses differ (Linux $linux, Windows $windows)" >&2
      status=1
    fi
  done

  # A roster file with a Chinese name: the same bytes as the Linux build saves.
  step=$SECONDS
  files=$work/e.files
  mkdir -p "$files/linux"
  saved=0
  (cd "$files" && LANG=C.UTF-8 timeout 600 "$wine" "$exe" 二班.csv <"$work/file_session" >/dev/null 2>"$work/e.file.err") || saved=$?
  (cd "$files/linux" && LANG=zh_CN.GBK "$OLDPWD/build/roster" 二班.csv <"$work/file_session" >/dev/null)
  if [ "$saved" = 0 ] && cmp -s "$files/二班.csv" "$files/linux/二班.csv"; then
    say "a roster file saved the same bytes as the Linux build's ($((SECONDS - step)) s)"
  else
    echo "windows_check: 32-bit under emulation: the roster file session ended $saved or saved other bytes: $(cat "$work/e.file.err")" >&2
    status=1
  fi

  # The 32-bit installer, as a user would run it.
  step=$SECONDS
  installer=$(ls build-windows-release/roster-*-win32.exe)
  in_prefix() { env HOME="$work/e.user" WINEPREFIX="$work/e.installed" LANG=zh_CN.UTF-8 "$@"; }
  mkdir -p "$work/e.user" "$work/e.installed"
  in_prefix timeout 900 "$wine" "$installer" /S >"$work/e.install.log" 2>&1 || fail "$installer /S failed: $(tail -n 3 "$work/e.install.log")"
  programs=$(find "$work/e.installed/drive_c" -maxdepth 2 -type d -path '*/Program Files*/roster' | head -n 1)
  [ -n "$programs" ] && [ -f "$programs/roster.exe" ] || fail "the installer put no roster.exe under Program Files"
  entry=$(find "$work/e.installed/drive_c/users" -name '学生名单.lnk' | head -n 1)
  [ -n "$entry" ] || fail "the installer made no Start-menu entry named 学生名单"
  documents=$(find "$work/e.installed/drive_c/users" -maxdepth 2 -type d -name Documents | head -n 1)
  session=$(printf '907135\n1\n张三\nA01\n一班\n90 80 70\n#\n\n0\n' | iconv -f UTF-8 -t GBK)
  (cd "$documents" && in_prefix timeout 600 "$wine" "$programs/roster.exe" 学生名单.csv <<<"$session" >/dev/null 2>"$work/e.entry.err") ||
    fail "the installed roster.exe failed: $(cat "$work/e.entry.err")"
  grep -q '^张三,A01,一班,90,80,70,80' "$documents/学生名单.csv" || fail "the installed roster.exe saved no student"
  uninstaller=$(in_prefix "$wine" winepath -w "$programs/Uninstall.exe" 2>/dev/null | tr -d '\r')
  in_prefix timeout 900 "$wine" "$uninstaller" /S >"$work/e.uninstall.log" 2>&1 || fail "Uninstall.exe /S failed"
  for _ in $(seq 60); do [ -e "$programs/roster.exe" ] || break; sleep 2; done
  [ ! -e "$programs/roster.exe" ] || fail "the uninstaller left roster.exe"
  [ -f "$documents/学生名单.csv" ] || fail "the uninstaller removed the roster file"
  say "installer $installer installed, its roster.exe saved a student in Documents, uninstalled, the roster file kept ($((SECONDS - step)) s)"
  exit "$status"
fi

# --- Outside: what it needs, then the namespace ------------------------------
work=$1
started=$SECONDS
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386 || skip "the i386 architecture could not be added for 32-bit wine"
fi
install_packages windows_check qemu-user wine32:i386 >"$work/e.install-packages.log" 2>&1 ||
  skip "qemu-user or 32-bit wine could not be installed: $(tail -n 2 "$work/e.install-packages.log" | tr '\n' ' ')"
[ -x /usr/lib/wine/wine ] && [ -x /usr/bin/qemu-i386 ] || skip "the 32-bit wine loader or qemu-i386 is missing after the install"
unshare --user --map-root-user --mount --fork bash -c "$(declare -f register_i386); register_i386" 2>"$work/e.probe.err" ||
  skip "this kernel gives a user namespace no binfmt_misc of its own (Linux 6.7 and later do): $(head -n 1 "$work/e.probe.err")"
cmake --workflow --preset windows-installer >"$work/e.installer.log" 2>&1 || { cat "$work/e.installer.log" >&2; fail "making the 32-bit installer failed"; }
iconv -f UTF-8 -t GBK tests/e2e/data/full_session.in >"$work/session"
printf '1\r\n2\r\n3\r\n' >"$work/wrong_passwords"
printf '907135\r\n1\r\nA\r\nA01\r\nC1\r\n60 70 81\r\nB\r\nA02\r\nC1\r\n90 85.5 70\r\n#\r\n7\r\n2\r\n0\r\n' >"$work/file_session"
result=0
unshare --user --map-root-user --mount --fork bash "$0" --inside "$work" || result=$?
[ "$result" = 0 ] && say "all passed ($((SECONDS - started)) s)"
exit "$result"
