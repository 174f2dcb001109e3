#!/bin/sh
# A run that fails while writing must leave every file of the names it was
# given as it found it, and no temporary file behind; a console that goes
# away (a closed pipe) ends with status 5 and complete files.
# Usage: failed_outputs.sh TOOL DATA, TOOL being propsmooth or
# propsmooth-report. The full-disk case needs a small tmpfs, which only
# root can mount: without it that case is skipped, and the script passes
# on the others.
set -u
tool=$1 data=$2
kind=$(basename "$tool")
work=$(mktemp -d "${TMPDIR:-/tmp}/failed-outputs.XXXXXX") || exit 1
full="$work/full"
cleanup() {
  mountpoint -q "$full" 2>/dev/null && umount "$full"
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED [$case]: $*"; failures=$((failures + 1)); }

# Data too large for the small file system: 3000 regions of one group.
awk 'BEGIN { for (i = 1; i <= 3000; i++) print -1, i, i % 17, 40 + i % 23 }' >"$work/big.txt"

# Each case: its name, the files made before the run (NAME=TEXT, blank-
# separated; NAME/ a folder), the arguments, the status, and a text the error lines hold.
# "@" in an argument stands for the tmpfs folder.
if [ "$kind" = propsmooth ]; then
  cases='
later-output-uncreatable|res/ res.log=old-log|data.txt res|3|Can'"'"'t create res file
full-disk|@/out.log=old-log @/out.txt=old-table|big.txt @/out.txt|3|Can'"'"'t write @/out
'
else
  cases='
later-output-uncreatable|p.html=old-page o.csv=old-table|data.txt p.html --csv o.csv --summary nodir/s.csv|3|Can'"'"'t create nodir/s.csv file
full-disk|@/p.html=old-page @/o.csv=old-table|big.txt @/p.html --csv @/o.csv|3|Can'"'"'t write @/
page-to-closed-pipe|o.csv=old-table t.tsv=old-intervals|data.txt - --csv o.csv --tsv t.tsv|3|Can'"'"'t write the page to standard output
'
fi

mkdir "$full"
have_tmpfs=false
mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null && have_tmpfs=true

echo "$cases" | while IFS='|' read -r case files args status error; do
  [ -n "$case" ] || continue
  if [ "$case" = full-disk ] && ! $have_tmpfs; then
    echo "skipped [$case]: no tmpfs (not root?)"
    continue
  fi
  run="$work/run" && rm -rf "$run" && mkdir "$run" && cd "$run" || exit 1
  rm -rf "$full"/* "$full"/.[!.]* 2>/dev/null
  cp "$data" data.txt && cp "$work/big.txt" big.txt
  for file in $files; do
    case $file in
      */) mkdir "$file" ;;
      *) printf '%s' "${file#*=}" >"$(echo "${file%%=*}" | sed "s|^@|$full|")" ;;
    esac
  done
  # shellcheck disable=SC2086
  set -- $(echo "$args" | sed "s|@|$full|g")
  error=$(echo "$error" | sed "s|@|$full|g")
  if [ "$1 $2" = "data.txt -" ]; then
    # A reader that has gone before the first byte is written.
    { sleep 1; "$tool" "$@" 2>stderr.txt; echo $? >status.txt; } | true
    sleep 0.2
  else
    "$tool" "$@" >stdout.txt 2>stderr.txt
    echo $? >status.txt
  fi
  got=$(cat status.txt)
  [ "$got" = "$status" ] || fail "status $got, not $status"
  cat stdout.txt stderr.txt 2>/dev/null | grep -qF "$error" || fail "no line with: $error"
  for file in $files; do
    case $file in */) continue ;; esac
    name=$(echo "${file%%=*}" | sed "s|^@|$full|")
    [ "$(cat "$name")" = "${file#*=}" ] || fail "$name changed"
  done
  leftover=$(ls -A "$run" "$full" | grep '\.tmp$')
  [ -z "$leftover" ] || fail "temporaries left: $leftover"
  echo "$failures" >"$work/failures"
done
[ -f "$work/failures" ] && failures=$(cat "$work/failures")

# The console on a pipe whose reader has gone: status 5, a line on
# standard error, and files byte-equal to a normal run's.
case=console-closed
mkdir "$work/normal" "$work/closed"
if [ "$kind" = propsmooth ]; then set -- data.txt out.txt; else set -- data.txt p.html --tsv t.tsv; fi
for dir in normal closed; do cp "$data" "$work/$dir/data.txt"; done
(cd "$work/normal" && "$tool" "$@" >/dev/null) || fail "normal run failed"
(cd "$work/closed" && { sleep 1; "$tool" "$@" 2>../stderr.txt; echo $? >../status.txt; } | true)
sleep 0.2
[ "$(cat "$work/status.txt")" = 5 ] || fail "status $(cat "$work/status.txt"), not 5"
grep -q "standard output could not be written" "$work/stderr.txt" || fail "no line on standard error"
diff -r "$work/normal" "$work/closed" || fail "files differ from a normal run's"

[ "$failures" -eq 0 ] || exit 1
echo "every failed run left the files as they were"
