#!/bin/sh
# A console that cannot be written must not pass for success, and must not
# cost the files: run TOOL on DATA with standard output on /dev/full and
# expect status 5 with every file byte-equal to a normal run's.
# Usage: console_full.sh TOOL DATA OUT [MORE_OUTPUT...]; skipped (77)
# where there is no /dev/full.
set -u
[ -w /dev/full ] || { echo "no /dev/full here"; exit 77; }
tool=$1 data=$2
shift 2
work=$(mktemp -d "${TMPDIR:-/tmp}/console-full.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir "$work/normal" "$work/full"
for run in normal full; do
  cp "$data" "$work/$run/data.txt"
done
(cd "$work/normal" && "$tool" data.txt "$@" >/dev/null) || { echo "normal run failed"; exit 1; }
(cd "$work/full" && "$tool" data.txt "$@" >/dev/full 2>stderr.txt)
status=$?
[ "$status" -eq 5 ] || { echo "status $status with a full console, not 5"; exit 1; }
grep -q "standard output could not be written" "$work/full/stderr.txt" ||
  { echo "no note on standard error"; exit 1; }
rm "$work/full/stderr.txt"
diff -r "$work/normal" "$work/full" || { echo "files differ from a normal run"; exit 1; }
echo "status 5, files complete"
