# What the shell checks beside the end-to-end tests share; sourced with the
# check's name in $check. Each takes the built program as its argument, has
# a scratch folder of its own in $work, and ends with 77, saying why in one
# line, when this machine lacks what it needs.
set -uo pipefail
roster=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
skip() { echo "$check: skipped: $*"; exit 77; }
fail() { echo "$check: $*" >&2; exit 1; }
# Skips unless every tool named is installed (scripts/setup.sh installs them).
needs() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh installs it)"
  done
}
