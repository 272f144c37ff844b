# Helpers shared by the scripts: sourced, not run.

# Runs a command as root, through sudo where this shell is not root.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# True when a Debian package is installed.
is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Installs whichever of the named Debian packages are missing. apt's chatter
# goes to a log that is shown when the install fails. The caller's prefix
# ($1) starts every line printed.
install_packages() {
  local who=$1; shift
  local missing=() package log
  for package in "$@"; do
    is_installed "$package" || missing+=("$package")
  done
  [ "${#missing[@]}" -gt 0 ] || return 0
  echo "$who: installing ${missing[*]}"
  log=$(mktemp)
  # A mirror caught mid-sync fails one index or another; the lists already
  # there may still hold the packages, so the install is tried all the same.
  if ! as_root apt-get update -qq >"$log" 2>&1; then
    echo "$who: apt-get update failed, trying the install with the package lists there are: $(grep -m 1 '^E:' "$log")"
  fi
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >>"$log" 2>&1; then
    echo "$who: installing ${missing[*]} failed:" >&2
    cat "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}

# Generates the zh_CN locale of the given character map unless it is there,
# named zh_CN.<charmap> or, given a third argument, by that name (glibc's
# zh_CN alone is GB2312). localedef may end non-zero over mere warnings: the
# list says whether it worked.
ensure_zh_locale() {
  local who=$1 charmap=$2
  local name=${3:-zh_CN.$charmap}
  local listed=${name//-/}
  locale -a 2>/dev/null | grep -qix "${listed//./\\.}" && return 0
  echo "$who: generating the $name locale ($charmap)"
  as_root localedef -f "$charmap" -i zh_CN "$name" || true
  locale -a | grep -qix "${listed//./\\.}" || { echo "$who: could not generate $name" >&2; return 1; }
}
