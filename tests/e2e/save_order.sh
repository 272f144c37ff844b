#!/usr/bin/env bash
# The order of a save's calls to the file system, as strace sees them: the
# temporary file flushed before it is renamed over the file, and the folder
# flushed after; written in place (a hard-linked file), the copy kept aside
# named (whole) and its folder flushed before the file is written, and the
# file flushed before the copy is removed. A folder that cannot be flushed
# at all (EINVAL, injected) still saves.
#   save_order.sh ROSTER     (status 77: skipped, and why, in one line)
check=save_order
source "$(dirname "$0")/shell_check.sh"
needs strace

# (The leak checker of a sanitized build cannot run under ptrace: it is off.)
traced() {  # the trace of one session that saves c.csv in $work with student $1, then strace's options
  local student=$1
  shift
  (cd "$work" && printf '907135\n1\n%s\n%s1\nc\n1 2 3\n#\n\n0\n' "$student" "$student" |
    ASAN_OPTIONS=detect_leaks=0 strace -f -o "$work/trace" "$@" \
      -e trace=openat,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat \
      "$roster" c.csv >/dev/null 2>"$work/errors") || fail "the session failed: $(cat "$work/errors")"
}
# The first line at or after line $1 that matches $2 (an extended regex), or 0.
line_of() { awk -v from="$1" -v pattern="$2" 'NR >= from && $0 ~ pattern { print NR; found = 1; exit } END { if (!found) print 0 }' "$work/trace"; }
# The descriptor an openat on line $1 gave.
fd_on() { sed -n "$1s/.*= \([0-9]*\)\$/\1/p" "$work/trace"; }
before() {  # what, then two line numbers that must both be found, in order
  [ "$2" -gt 0 ] && [ "$3" -gt 0 ] && [ "$2" -lt "$3" ] || fail "$1 (lines $2 and $3 of the trace): $(cat "$work/trace")"
}

traced a
opened=$(line_of 1 'openat\(.*"\./\.c\.csv\.saving", O_WRONLY')
temporary=$(fd_on "$opened")
renamed=$(line_of "$opened" 'rename(at2?)?\(.*\.c\.csv\.saving.*"c\.csv"')
before "the temporary file is flushed before the rename" "$(line_of "$opened" "fsync\\($temporary\\)")" "$renamed"
folder=$(line_of "$renamed" 'openat\(.*O_DIRECTORY')
before "the folder is flushed after the rename" "$renamed" "$(line_of "$folder" "fsync\\($(fd_on "$folder")\\)")"

ln "$work/c.csv" "$work/link.csv"
kept="\\.roster-$(stat -c %i "$work/c.csv")\\.kept"
traced b
copy=$(line_of 1 "openat\\(.*$kept\", O_RDWR\\|O_CREAT")
flushed=$(line_of "$copy" "fsync\\($(fd_on "$copy")\\)")
written=$(line_of "$copy" 'openat\(.*"(\./)?c\.csv", O_WRONLY')
before "the copy is flushed before the file is written" "$flushed" "$written"
folder=$(line_of "$flushed" 'openat\(.*O_DIRECTORY')
before "the folder is flushed once the copy is made, before the file is written" \
  "$(line_of "$folder" "fsync\\($(fd_on "$folder")\\)")" "$written"
before "the file is flushed before the copy is removed" "$(line_of "$written" "fsync\\($(fd_on "$written")\\)")" \
  "$(line_of "$written" "unlink(at)?\\(.*$kept\"")"
rm "$work/link.csv" "$work/c.csv"
traced d -e inject=fsync:error=EINVAL:when=3
injected=$(line_of 1 'fsync\(.*INJECTED')
folder=$(line_of "$(line_of 1 'rename\(')" 'openat\(.*O_DIRECTORY')
[ "$injected" -gt 0 ] && [ "$(sed -n "${injected}s/.*fsync(\([0-9]*\)).*/\1/p" "$work/trace")" = "$(fd_on "$folder")" ] ||
  fail "the third flush of a new file's first save is no longer its folder's: $(cat "$work/trace")"
grep -q '^d,d1,' "$work/c.csv" && [ ! -s "$work/errors" ] ||
  fail "a folder that cannot be flushed (EINVAL) failed the save: $(cat "$work/errors")"
echo "save_order: a rename save and a save in place flush in order; a folder that cannot be flushed still saves"
