#!/usr/bin/env bash
# Installs what building and testing roster needs on a Debian machine and
# generates the zh_CN.GBK and zh_CN.UTF-8 locales the tests run under. Anything already in
# place is left alone, so running it again costs a second.
set -euo pipefail
source "$(dirname "$0")/common.sh"

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libvterm-dev tmux valgrind locales man-db groff-base dpkg-dev gettext fusefat exfat-fuse exfatprogs dosfstools fuse3 ntfs-3g acl strace gnumeric)

install_packages setup "${packages[@]}"

ensure_zh_locale setup GBK
ensure_zh_locale setup UTF-8
ensure_zh_locale setup GB2312 zh_CN
ensure_zh_locale setup UTF-8 zh_SG.UTF-8
