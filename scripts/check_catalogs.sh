#!/usr/bin/env bash
# Checks the messages' catalogs against the code: every message the code
# shows is translated in every po/*.po, every entry of a catalog is still
# used, and each catalog compiles under msgfmt --check (its %s match the
# English ones). Usage: check_catalogs.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
mkdir -p "$work"
cd "$source_dir"
mapfile -t sources < <(find src -name '*.cpp' | sort)
xgettext --language=C++ --from-code=UTF-8 --no-location --package-name=roster \
  --keyword= --keyword=message:1 --keyword=translatable:1 --keyword=failed:2 --keyword=say:1 \
  --flag=message:1:c-format --flag=failed:2:c-format --flag=say:1:c-format \
  --output="$work/roster.pot" "${sources[@]}"
status=0
for catalog in po/*.po; do
  msgfmt --check --output-file=/dev/null "$catalog" || status=1
  # A message the code shows that the catalog lacks (or leaves untranslated).
  msgcmp "$catalog" "$work/roster.pot" || status=1
  # An entry no code uses any more comes out of msgmerge as obsolete.
  msgmerge --quiet --no-fuzzy-matching --output-file="$work/merged.po" "$catalog" "$work/roster.pot"
  unused=$(msgattrib --only-obsolete --no-wrap "$work/merged.po" | grep '^#~ msgid' || true)
  if [[ -n $unused ]]; then
    echo "$catalog: entries no code uses:" >&2
    echo "$unused" >&2
    status=1
  fi
done
exit $status
