#!/usr/bin/env bash
# A roster through a spreadsheet and back (gnumeric's ssconvert: CSV to xlsx
# to CSV): a text that begins like a formula is never run as one, and the
# file the spreadsheet writes back opens again with the same texts.
#   spreadsheet_round_trip.sh ROSTER     (status 77: skipped, and why, in one line)
check=spreadsheet_round_trip
source "$(dirname "$0")/shell_check.sh"
needs ssconvert
cd "$work" || exit 1
printf '907135\n1\n=1+1\n+86\n@SUM(1)\n1 2 3\n-5\nA2\n=HYPERLINK("x")\n4 5 6\n#\n\n0\n' |
  LANG=C.UTF-8 "$roster" c.csv >/dev/null 2>errors || fail "the session failed: $(cat errors)"
ssconvert c.csv c.xlsx >convert.log 2>&1 && ssconvert c.xlsx back.csv >>convert.log 2>&1 ||
  fail "ssconvert failed: $(cat convert.log)"
listed=$(printf '907135\n2\n\n0\n' | LANG=C.UTF-8 "$roster" back.csv 2>&1) || fail "the file back does not open: $listed"
for row in $'No.1\t\t=1+1\t+86\t@SUM(1)' $'No.2\t\t-5\tA2\t=HYPERLINK("x")'; do
  grep -qF "$row" <<<"$listed" || fail "after the round trip the roster lists otherwise (no '$row'): $listed"
done
echo "spreadsheet_round_trip: texts that begin like formulas stay texts through gnumeric and back"
