#!/bin/sh
# propsmooth-report copied alone to a folder of its own finds no GIS module
# (neither beside it nor in ../lib/propsmooth), or finds one of another
# version: a run with GIS files must fail with the status of an unreadable
# --regions file, say in one line which module files it tried and what to
# do, and leave the files it was given as they were. A run without GIS
# files must not notice.
# Usage: gis_module_missing.sh TOOL OTHER_VERSION_MODULE DATA
set -u
tool=$1 stale=$2
# The cases run in folders of their own.
data=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
work=$(mktemp -d "${TMPDIR:-/tmp}/gis-module.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED [$case]: $*"; failures=$((failures + 1)); }

# The status the real program gives for a regions file it cannot read.
"$tool" -q "$data" --csv "$work/ref.csv" --regions "$work/none.shp" --regions-id ID \
  2>/dev/null
unreadable=$?
[ "$unreadable" -ne 0 ] || { echo "an unreadable regions file did not fail"; exit 1; }

mkdir "$work/bin" "$work/stale"
cp "$tool" "$work/bin/propsmooth-report"
cp "$tool" "$work/stale/propsmooth-report"
cp "$stale" "$work/stale/propsmooth-gis.so"

# Each case: its name, the copy to run, its arguments after the data, and
# a text the error line holds.
cases='
no-module-regions|bin|--csv o.csv --regions none.shp --regions-id ID|bin/propsmooth-gis.so: cannot open shared object file
no-module-installed-place|bin|--csv o.csv --regions none.shp --regions-id ID|/propsmooth/propsmooth-gis.so
no-module-gpkg|bin|--gpkg o.gpkg --regions none.shp --regions-id ID|reinstall propsmooth
stale-module|stale|--csv o.csv --regions none.shp --regions-id ID|stale/propsmooth-gis.so: it is version
'
echo "$cases" | while IFS='|' read -r case copy args said; do
  [ -n "$case" ] || continue
  rm -rf "$work/run" && mkdir "$work/run" && cd "$work/run" || exit 1
  printf 'earlier\n' >o.csv
  # shellcheck disable=SC2086  # the arguments are split on purpose
  "$work/$copy/propsmooth-report" -q "$data" $args 2>err.txt
  status=$?
  [ "$status" -eq "$unreadable" ] || fail "status $status, not $unreadable"
  [ "$(wc -l <err.txt)" -eq 1 ] || fail "not one error line: $(cat err.txt)"
  grep -qF -- "$said" err.txt || fail "no '$said' in: $(cat err.txt)"
  [ "$(cat o.csv)" = earlier ] || fail "o.csv changed"
  [ "$(ls -A)" = "$(printf 'err.txt\no.csv')" ] || fail "files left: $(ls -A | tr '\n' ' ')"
  echo "$failures" >"$work/failures"
done
failures=$(cat "$work/failures" 2>/dev/null || echo 1)

# Without GIS files the copy runs as the program does.
case=plain-csv
(cd "$work" && "$work/bin/propsmooth-report" -q "$data" --csv plain.csv) ||
  fail "a run without GIS files failed"
"$tool" -q "$data" --csv "$work/ref.csv" || fail "the program failed"
cmp -s "$work/ref.csv" "$work/plain.csv" || fail "the copy's CSV differs from the program's"

[ "$failures" -eq 0 ] && echo "all cases passed"
[ "$failures" -eq 0 ]
