#!/usr/bin/env bash
# A roster in a folder colleagues share, as a hostile colleague and an
# unlucky kill would find it: the copy kept aside while a file is written in
# place (found by what the file is, put back only over a write it cut short,
# never applied twice, never read from a file nobody who may write the roster
# made), another program's version that slips in during a save, the lock,
# the lock file's text, and a file made read-only meanwhile. Users are
# played with setpriv, kills and stalls placed with strace's fault injection.
#   shared_folder.sh ROSTER     (status 77: skipped, and why, in one line)
check=shared_folder
source "$(dirname "$0")/shell_check.sh"
needs strace setpriv unshare
[ "$(id -u)" = 0 ] || skip "playing two users takes root (setpriv)"

teach=5000 pub=5001
A="setpriv --reuid=1201 --regid=$teach --groups=$teach"
B="setpriv --reuid=1202 --regid=$teach --groups=$teach"
chmod 755 "$work"
header='姓名,学号,班级,科目一,科目二,科目三,平均分'
failures=0
wrong() { echo "$check: $*" >&2; failures=$((failures + 1)); }

# A folder of the case's own, with r.csv holding 甲 and 乙: $1 the folder's
# mode, $2 the file's owner, $3 its mode.
folder() {
  dir=$work/$case
  mkdir "$dir" && chown 0:$teach "$dir" && chmod "$1" "$dir"
  printf '\xef\xbb\xbf%s\r\n甲,A1,c,1,2,3,2.0\r\n乙,A2,c,1,2,3,2.0\r\n' "$header" >"$dir/r.csv"
  chown "$2:$teach" "$dir/r.csv" && chmod "$3" "$dir/r.csv"
}
# One session: the user's command prefix, the file's name, the keys; the
# status in $status, standard error in $dir/err. Killed or stalled where
# the strace options after the keys say.
session() {
  local who=$1 name=$2 keys=$3
  shift 3
  status=0
  if [ $# -gt 0 ]; then
    (cd "$dir" && printf '%b' "$keys" | ASAN_OPTIONS=detect_leaks=0 strace -f -o /dev/null "$@" $who "$roster" "$name" \
      >/dev/null 2>"$dir/err") || status=$?
  else
    (cd "$dir" && printf '%b' "$keys" | $who "$roster" "$name" >/dev/null 2>"$dir/err") || status=$?
  fi
}
# A session in the background that holds the file a while: the user's
# command prefix, the keys before the pause, its seconds, the keys after.
# Standard error in $dir/err.later.
holding() {
  (cd "$dir" && (printf '%b' "$2"; sleep "$3"; printf '%b' "$4") | $1 "$roster" r.csv >/dev/null 2>"$dir/err.later") &
}
insert() { echo "907135\n3 none\n1\n$1\n$1-no\nc\n1 2 3\n0\n"; }  # at the end
listed() { (cd "$dir" && printf '907135\n2\n\n0\n' | $A "$roster" "${1:-r.csv}" 2>/dev/null) | grep -o 'No\.[0-9]*[[:space:]]*[^[:space:]]*' | awk '{print $2}' | tr '\n' ' '; }
holds() {  # what, then the names the file must list, in order
  local what=$1 got
  shift
  got=$(listed "${file:-r.csv}")
  [ "$got" = "$* " ] || wrong "$case: $what: the file lists [$got], not [$* ]; $(cat "$dir/err")"
}
# A spreadsheet of A's saves the roster by rename, with the students named.
another_program_saves() {
  local rows="" n=0
  for student in "$@"; do rows+="$student,A$((n += 1)),c,1,2,3,2.0\r\n"; done
  $A sh -c "umask 007; printf '\357\273\277%s\r\n$rows' '$header' >'$dir/other' && mv '$dir/other' '$dir/r.csv'"
}
journal_of() { if [ -n "${OLD_NAMES:-}" ]; then echo "$dir/.${1:-r.csv}.kept"; else echo "$dir/.roster-$(stat -c %i "$dir/${1:-r.csv}").kept"; fi; }

# 1. B is killed writing in place in a sticky group folder; A puts the last
# whole version back, cannot remove B's copy, and saves twice: the copy is
# never applied again.
case=sticky_group
folder 3770 1201 0660
ln "$dir/r.csv" "$dir/link.csv"  # hard-linked: every save goes in place
session "$B" r.csv "$(insert 丙)" -P "$dir/r.csv" -e trace=write -e inject=write:signal=KILL:when=1
session "$A" r.csv "$(insert 丁)"
session "$A" r.csv "$(insert 戊)"
session "$A" r.csv "907135\n0\n"
holds "a copy dealt with came back" 甲 乙 丁 戊

# 2. Killed after the file was written whole, as the copy goes; a
# spreadsheet then adds a student: neither is undone.
case=stale_copy
folder 0770 1201 0660
ln "$dir/r.csv" "$dir/link.csv"
session "$A" r.csv "$(insert 丙)" -e trace=unlink,unlinkat -e inject=unlink,unlinkat:signal=KILL:when=1
printf '丁,A4,c,1,2,3,2.0\r\n' >>"$dir/r.csv"
session "$A" r.csv "907135\n0\n"
holds "a stale copy undid a whole save" 甲 乙 丙 丁

# 3. Cut short through one name, opened through the other.
case=other_name
folder 0770 1201 0660
ln "$dir/r.csv" "$dir/link.csv"
session "$A" r.csv "$(insert 丙)" -P "$dir/r.csv" -e trace=write -e inject=write:signal=KILL:when=1
file=link.csv holds "the other name did not see the cut-short save" 甲 乙
session "$A" link.csv "$(insert 丁)"
session "$A" r.csv "907135\n0\n"
holds "the file's other name lost its save" 甲 乙 丁

# 4. In a sticky folder anyone may write, B plants a copy claiming empty new
# contents, then a FIFO: A's roster is neither replaced nor held up.
case=planted_copy
folder 1777 1201 0644
printf 'roster: a copy kept while saving in place, of 0000000000000000 0\nB,B1,c,1,2,3,2.0\n' >"$(journal_of)"
chown 1202:1202 "$(journal_of)"
session "$A" r.csv "907135\n0\n"
holds "a planted copy was put back" 甲 乙
grep -q . "$dir/err" || wrong "$case: the planted copy was not named"
rm -f "$(journal_of)"
$B mkfifo "$(journal_of)"
session "timeout 10 $A" r.csv "907135\n0\n"
[ "$status" = 0 ] || wrong "$case: a FIFO for a copy held the start up (status $status)"

# 5. A cut-short save's file deleted: the name starts afresh, the last whole
# version kept where a person finds it.
case=deleted_file
folder 0770 1201 0660
ln "$dir/r.csv" "$dir/link.csv"
session "$A" r.csv "$(insert 丙)" -P "$dir/r.csv" -e trace=write -e inject=write:signal=KILL:when=1
rm "$dir/r.csv" "$dir/link.csv"
session "$A" r.csv "$(insert 丁)"
[ "$status" = 0 ] || wrong "$case: a deleted file's copy blocked its name (status $status): $(cat "$dir/err")"
grep -lq '乙' "$dir"/r-versions/*.csv 2>/dev/null || wrong "$case: the last whole version was not kept as a version"

# 6. Another program saves by rename while the save's flush is stalled: its
# version is kept, not lost.
case=slipped_in
folder 0770 1201 0660
(sleep 1; another_program_saves 甲 乙 己) &
session "$A" r.csv "$(insert 丙)" -e trace=fsync -e inject=fsync:delay_enter=2000000:when=2
wait
grep -lq '己' "$dir"/r.csv "$dir"/r-versions/*.csv 2>/dev/null || wrong "$case: the version saved meanwhile was lost"

# 7. A new roster's lock is not got around from another PID namespace.
case=pid_namespace
if ! unshare -p -f --mount-proc true 2>/dev/null; then
  echo "$check: $case skipped: this machine makes no PID namespace (unshare -p)"
else
folder 2770 1201 0660
rm "$dir/r.csv"
holding "$A" '907135\n' 3 '1\nA\nA1\nc\n1 2 3\n#\n\n0\n'
sleep 1
session "unshare -p -f --mount-proc $B" r.csv "$(insert B)"
wait
[ "$status" = 75 ] || wrong "$case: a second copy in another PID namespace was let in (status $status): $(cat "$dir/err")"
holds "the first copy's student was lost" A
fi

# 8. A colleague lists the roster while a save in place is stalled.
case=reader_during_save
folder 0775 1201 0640
ln "$dir/r.csv" "$dir/link.csv"
session "$A" r.csv "$(insert 丙)" -P "$dir/r.csv" -e trace=ftruncate -e inject=ftruncate:delay_exit=2000000 &
sleep 1
seen=$(cd "$dir" && printf '907135\n2\n\n0\n' | setpriv --reuid=1203 --regid=$pub --groups=$teach "$roster" r.csv 2>/dev/null | grep -c 'No\.')
wait
[ "$seen" = 2 ] || wrong "$case: a colleague saw $seen students mid-save, not the 2 of the last whole version"

# 9. The copy a colleague of another primary group leaves is the roster's
# group, readable by exactly those who may read the roster.
case=copy_readers
folder 0775 1201 0660
ln "$dir/r.csv" "$dir/link.csv"
session "setpriv --reuid=1202 --regid=$pub --groups=$teach" r.csv "$(insert 丙)" -P "$dir/r.csv" -e trace=write \
  -e inject=write:signal=KILL:when=1
copy=$(ls "$dir"/.roster-*.kept "$dir"/.r.csv.kept 2>/dev/null | head -1)
[ -n "$copy" ] && [ "$(stat -c %g "$copy")" = $teach ] && [ $(($(stat -c 0%a "$copy") & 07)) = 0 ] ||
  wrong "$case: the copy is $(stat -c '%U:%G %a' "$copy" 2>&1), not the roster's group, unreadable by others"

# 10. A holder line with control characters reaches a refused colleague
# with them replaced.
case=holder_text
folder 0770 1201 0660
holding "$A" '907135\n' 2 '0\n'
sleep 0.5
printf '\e]0;TITLE\a\e]52;c;aGk=\a\e[2J\x9b\nhost\ntime\n' >"$dir/.r.csv.lock"
session "$B" r.csv "907135\n0\n"
wait
! LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f\x9b]' "$dir/err" || wrong "$case: control characters reached the colleague: $(od -c "$dir/err" | head -3)"

# 11. Made read-only while the program runs: never replaced.
case=made_read_only
folder 0770 1201 0660
inode=$(stat -c %i "$dir/r.csv")
holding "$A" '907135\n' 1 '3 none\n1\n丙\nA3\nc\n1 2 3\n0\n'
sleep 0.5
chmod a-w "$dir/r.csv"
wait
[ "$(stat -c %i "$dir/r.csv")" = "$inode" ] && ! grep -q 丙 "$dir/r.csv" || wrong "$case: a file made read-only was replaced"
grep -q . "$dir/err.later" || wrong "$case: nothing said the change was not saved"

# --- What the faults above did not reach -------------------------------------
# A cut-short save whose last whole version cannot be put back ends "not
# saved", never going on with the half-written file.
case=cannot_put_back
folder 0770 1201 0660
ln "$dir/r.csv" "$dir/link.csv"
session "$B" r.csv "$(insert 丙)" -P "$dir/r.csv" -e trace=write -e inject=write:signal=KILL:when=1
session "$A" r.csv "$(insert 丁)" -P "$dir/r.csv" -e trace=ftruncate -e inject=ftruncate:error=EIO
[ "$status" = 73 ] && ! grep -q 丁 "$dir/r.csv" || wrong "$case: went on with a half-written file (status $status)"

# Another program's version that cannot be kept (no version can be made)
# is never overwritten, swapped in or not.
case=not_kept_not_replaced
folder 0770 1201 0660
(sleep 1; another_program_saves 己) &
session "$A" r.csv "$(insert 丙)" -e trace=fsync,link,linkat -e inject=fsync:delay_enter=2000000:when=2 \
  -e inject=link,linkat:error=EIO
wait
grep -q 己 "$dir/r.csv" && ! grep -q 丙 "$dir/r.csv" || wrong "$case: a version that could not be kept was overwritten"

# A save another program made between the first read and the lock is read.
case=read_under_lock
folder 0770 1201 0660
(sleep 1; another_program_saves 己) &
session "$A" r.csv "$(insert 丙)" -e trace=flock -e inject=flock:delay_enter=2000000:when=1
wait
holds "a save made before the lock was overwritten" 己 丙

# A link made at the roster's name after a first save is neither read nor
# saved through at the next.
case=link_made_later
folder 0770 1201 0660
echo 'my notes' >"$dir/notes.txt"
(cd "$dir" && (printf '907135\n3 none\n1\n丙\nA3\nc\n1 2 3\n'; sleep 1; printf '3 none\n1\n丁\nA4\nc\n1 2 3\n0\n') |
  $A "$roster" r.csv >/dev/null 2>"$dir/err") &
sleep 0.5
ln -sf notes.txt "$dir/r.csv"
wait
[ "$(cat "$dir/notes.txt")" = 'my notes' ] && [ ! -L "$dir/r.csv" ] || wrong "$case: the save went through a link made later"
holds "the second save lost the first" 甲 乙 丙 丁

# A saver outside the roster's group who may write it (everyone may) keeps
# its group: the file is written in place.
case=group_kept
folder 0777 1201 0666
session "setpriv --reuid=1204 --regid=1204 --clear-groups" r.csv "$(insert 丙)"
[ "$(stat -c %g "$dir/r.csv")" = $teach ] && grep -q 丙 "$dir/r.csv" || wrong "$case: the group became $(stat -c %G "$dir/r.csv")"

# After a save by rename the new file is locked: a second copy is refused
# even with the lock file gone; and a lock file a group member may read but
# not write still locks.
case=new_file_locked
folder 0770 1201 0660
holding "$A" '907135\n3 none\n1\n丙\nA3\nc\n1 2 3\n' 2 '0\n'
sleep 1
rm -f "$dir/.r.csv.lock"
session "$B" r.csv "907135\n0\n"
wait
[ "$status" = 75 ] || wrong "$case: a second copy got past a new file's lock (status $status)"
chmod 0640 "$dir/.r.csv.lock" && chown 1201:$teach "$dir/.r.csv.lock"
holding "$B" '907135\n' 2 '0\n'
sleep 1
session "$A" r.csv "907135\n0\n"
wait
[ "$status" = 75 ] || wrong "$case: a lock file readable only was not locked by a group member (status $status)"

# Two colleagues' changes both kept: the versions folder and each version as
# readable as the roster (its group, nobody else), and B restores A's.
case=versions_shared
folder 0770 1201 0660
session "$A" r.csv "$(insert 丙)"
session "$B" r.csv "$(insert 丁)"
modes=$(stat -c '%g %a' "$dir/r-versions" "$dir"/r-versions/* | sort -u | tr '\n' ' ')
grep -qvE "^($teach [67][4-7]0 )+\$" <<<"$modes" && wrong "$case: the versions' groups and modes are $modes"
history=$(cd "$dir" && $B "$roster" --history r.csv 2>&1)
grep -qE '^  2  .*  1201  3 students  student 丙-no 丙 inserted$' <<<"$history" || wrong "$case: B's history: $history"
session "setpriv --reuid=1204 --regid=1204 --clear-groups" r.csv "907135\n0\n"
(cd "$dir" && $B "$roster" --restore 3 r.csv >/dev/null 2>"$dir/err") || wrong "$case: B could not restore A's version: $(cat "$dir/err")"
holds "the restored version" 甲 乙

[ "$failures" = 0 ] || exit 1
echo "$check: eleven shared-folder faults and seven more cases hold"
