#!/usr/bin/env bash
# A roster kept on USB sticks: a FAT32, an exFAT and an NTFS image, mounted
# through FUSE (fusefat, exfat-fuse, ntfs-3g) where this machine lets a FUSE
# file system be mounted. On each, a session saves a new roster, a second
# replaces it with item 1 (which keeps the old one as a version) and a third
# lists what was saved. File systems without modes or hard links must save
# all the same.
#   usb_sticks.sh ROSTER     (status 77: skipped, and why, in one line)
check=usb_sticks
source "$(dirname "$0")/shell_check.sh"
mounted=() loops=()
cleanup() {
  for point in "${mounted[@]}"; do fusermount -u "$point" || true; done
  for loop in "${loops[@]}"; do losetup -d "$loop" || true; done
  rm -rf "$work"
}
trap cleanup EXIT

[ -c /dev/fuse ] || skip "this machine has no /dev/fuse, so no stick image can be mounted"
needs mkfs.vfat fusefat mkfs.exfat mount.exfat-fuse mkntfs ntfs-3g fusermount

session() {  # folder, input; the transcript on standard output
  (cd "$1" && LANG=C.UTF-8 "$roster" "$file.csv" <<<"$2") 2>"$work/errors" || fail "status $? on $1: $(cat "$work/errors")"
}

stick() {  # name, the roster's name, mkfs command..., then -- and the mount command...
  local name=$1 point=$work/$1
  file=$2
  shift 2
  local make=() mount=()
  while [ "$1" != -- ]; do make+=("$1"); shift; done
  shift
  mount=("$@")
  local image=$work/$name.img
  truncate -s 64M "$image"
  "${make[@]}" "$image" >"$work/mkfs.log" 2>&1 || fail "$name: ${make[*]} failed: $(cat "$work/mkfs.log")"
  # exfat-fuse run by root mounts block devices only: the image goes on a loop device.
  if [ "${mount[0]}" = mount.exfat-fuse ] && [ "$(id -u)" = 0 ]; then
    local loop
    loop=$(losetup -f --show "$image" 2>"$work/mount.log") || skip "$name: no loop device for the image ($(cat "$work/mount.log"))"
    loops+=("$loop")
    image=$loop
  fi
  mkdir -p "$point"
  if ! "${mount[@]}" "$image" "$point" >"$work/mount.log" 2>&1 || ! mountpoint -q "$point"; then
    skip "$name: the image could not be mounted here (${mount[0]}: $(tr '\n' ' ' <"$work/mount.log"))"
  fi
  mounted+=("$point")
  session "$point" $'907135\n1\n张三\nA01\n一班\n90 80 70\n李四\nA02\n一班\n60 70 80\n#\n\n0' >/dev/null
  session "$point" $'907135\n1\n王五\nA03\n二班\n1 2 3\n#\n\n0' >/dev/null
  grep -q "the replaced roster is kept in $file-versions/" "$work/errors" || fail "$name: no version said: $(cat "$work/errors")"
  local listed
  listed=$(session "$point" $'907135\n2\n\n0')
  grep -qE $'^No\\.1\t\t王五\tA03\t二班' <<<"$listed" || fail "$name: the saved roster does not list: $listed"
  local versions
  versions=$(ls "$point/$file-versions" | grep -c '^[0-9-]*\.csv$')
  [ "$versions" = 1 ] || fail "$name: $versions versions: $(ls -A "$point/$file-versions")"
  grep -q '^张三,A01,一班,90,80,70,80.0' "$point/$file"-versions/*.csv || fail "$name: the version lacks the old roster"
  grep -q $'\tentered\t' "$point/$file-versions/versions.txt" || fail "$name: the versions' index lacks the save"
  [ ! -e "$point/.$file.csv.saving" ] || fail "$name: a temporary file is left"
  echo "usb_sticks: $name: a roster saved, replaced (its version kept) and listed again"
}

# fusefat cannot make a file with a Chinese name (EPERM); a kernel's vfat can.
stick FAT32 class2 mkfs.vfat -F 32 -- fusefat -o rw+
stick exFAT 二班 mkfs.exfat -- mount.exfat-fuse
stick NTFS 二班 mkntfs -F -Q -- ntfs-3g
