#!/usr/bin/env bash
# Makes the Debian package and checks it as a user would meet it: its
# declared dependencies, its files, its manual pages read by man, and, where
# this shell is root, a real install with apt, a piped session through the
# installed program, and a clean removal. Elsewhere the package is unpacked
# into a scratch folder and checked there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

say() { echo "package_check: $*"; }
fail() { echo "package_check: $*" >&2; exit 1; }

install_packages package_check dpkg-dev man-db groff-base locales || fail "the packaging tools could not be installed"
ensure_zh_locale package_check UTF-8 || exit 1

cmake --workflow --preset deb
package=$(ls build-release/roster_*.deb)
[ "$(echo "$package" | wc -l)" = 1 ] || fail "expected one package, found: $package"

info=$(dpkg-deb --info "$package")
grep -qE '^ Depends: .*libc6' <<<"$info" || fail "$package declares no dependency on the C library: $info"
contents=$(dpkg-deb --contents "$package")
for path in ./usr/bin/roster ./usr/share/man/man1/roster.1.gz ./usr/share/man/zh_CN/man1/roster.1.gz \
            ./usr/share/doc/roster/README.md ./usr/share/doc/roster/README.zh-CN.md \
            ./usr/share/doc/roster/copyright ./usr/share/doc/roster/changelog.gz \
            ./usr/share/locale/zh_CN/LC_MESSAGES/roster.mo ./usr/share/locale/zh_SG/LC_MESSAGES/roster.mo \
            ./usr/share/locale/zh/LC_MESSAGES/roster.mo; do
  grep -q " $path\$" <<<"$contents" || fail "$package lacks $path"
done
say "$package: $(grep '^ Depends:' <<<"$info" | sed 's/^ //'), program, both manual pages, both READMEs, copyright, changelog and the Chinese messages"

# What a distribution looks at first: lintian reports no error and no
# warning (its informational notes are not counted).
if install_packages package_check lintian && command -v lintian >/dev/null; then
  report=$(lintian --tag-display-limit 0 "$package" 2>&1 | grep -E '^[EW]: ' || true)
  [ -z "$report" ] || fail "lintian reports: $report"
  say "lintian reports no error and no warning"
else
  say "skipped: lintian, which could not be installed here"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Both pages render without a single groff warning.
dpkg-deb -x "$package" "$work/root"
for page in "C.UTF-8 $work/root/usr/share/man/man1/roster.1.gz" "zh_CN.UTF-8 $work/root/usr/share/man/zh_CN/man1/roster.1.gz"; do
  read -r language file <<<"$page"
  warnings=$(LANG=$language MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null) || fail "man could not read $file"
  [ -z "$warnings" ] || fail "$file: groff warns: $warnings"
done
say "both manual pages read by man -l without warnings"

# The installed program, through a piped session; and its messages'
# catalog found where it was installed.
check_session() {  # the program
  LANG=C.UTF-8 "$1" <tests/e2e/data/full_session.in >"$work/session.out" || fail "$1 ended with status $?"
  cmp -s "$work/session.out" tests/e2e/data/full_session.out || fail "$1 gave another transcript"
  LANG=zh_CN.UTF-8 "$1" --help | grep -q '^用法：roster' || fail "$1 --help is not Chinese under zh_CN.UTF-8"
}
check_session "$work/root/usr/bin/roster"

if [ "$(id -u)" -ne 0 ]; then
  say "skipped: a real install, which needs root; the unpacked program gave the expected transcript"
  exit 0
fi

if dpkg-query -W roster >/dev/null 2>&1; then
  log=$(apt-get remove -y roster 2>&1) || fail "could not remove an earlier roster: $log"
fi
log=$(DEBIAN_FRONTEND=noninteractive apt-get install -y "./$package" 2>&1) || fail "apt could not install $package: $log"
check_session /usr/bin/roster
say "installed with apt; /usr/bin/roster gave the expected transcript"

if [ -f /usr/share/man/man1/roster.1.gz ]; then
  [ "$(LANG=C.UTF-8 man -w roster)" = /usr/share/man/man1/roster.1.gz ] || fail "man roster finds $(man -w roster)"
  [ "$(LANG=zh_CN.UTF-8 man -w roster)" = /usr/share/man/zh_CN/man1/roster.1.gz ] ||
    fail "LANG=zh_CN.UTF-8 man roster finds $(LANG=zh_CN.UTF-8 man -w roster)"
  LANG=zh_CN.UTF-8 MANWIDTH=80 man roster 2>/dev/null | grep -q '退出状态' || fail "the Chinese page does not read"
  say "man roster and LANG=zh_CN.UTF-8 man roster find and show their pages"
else
  say "skipped: man roster after the install, because dpkg here leaves out /usr/share/man (path-exclude)"
fi

log=$(apt-get remove -y roster 2>&1) || fail "apt could not remove roster: $log"
for path in /usr/bin/roster /usr/share/man/man1/roster.1.gz /usr/share/man/zh_CN/man1/roster.1.gz /usr/share/doc/roster; do
  [ ! -e "$path" ] || fail "$path is left after removal"
done
say "removed cleanly"
