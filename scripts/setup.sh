#!/usr/bin/env bash
# Installs what building and testing roster needs on a Debian machine and
# generates the zh_CN.GBK locale the tests run under. Anything already in
# place is left alone, so running it again costs a second.
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev valgrind locales)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.gbk'; then
  echo "setup: generating the zh_CN.GBK locale"
  as_root localedef -f GBK -i zh_CN zh_CN.GBK || true
  locale -a | grep -qix 'zh_CN\.gbk' || { echo "setup: could not generate zh_CN.GBK" >&2; exit 1; }
fi
