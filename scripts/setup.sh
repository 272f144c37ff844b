#!/usr/bin/env bash
# Installs what building and testing roster needs on a Debian machine and
# generates the zh_CN.GBK locale the tests run under. Anything already in
# place is left alone, so running it again costs a second.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev valgrind locales)

install_packages setup "${packages[@]}"

if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.gbk'; then
  echo "setup: generating the zh_CN.GBK locale"
  as_root localedef -f GBK -i zh_CN zh_CN.GBK || true
  locale -a | grep -qix 'zh_CN\.gbk' || { echo "setup: could not generate zh_CN.GBK" >&2; exit 1; }
fi
