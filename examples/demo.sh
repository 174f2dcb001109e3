#!/bin/sh
# Runs propsmooth on the bundled examples in a scratch folder and shows
# what each run printed, its log and the first rows of its table.
# Usage: sh examples/demo.sh path/to/propsmooth
set -u

if [ $# -ne 1 ]; then
  echo "usage: sh examples/demo.sh path/to/propsmooth" >&2
  exit 2
fi
case $1 in
  /*) tool=$1 ;;
  *) tool=$(pwd)/$1 ;;
esac
if [ ! -x "$tool" ]; then
  echo "demo: $1 is not an executable; build it first (make build)" >&2
  exit 1
fi

examples=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/propsmooth-demo.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT HUP INT TERM

# The small single-group example first, then the per-unit one, then any
# other data file that ships in examples/.
list="small.txt units.txt"
for file in "$examples"/*.txt; do
  name=$(basename "$file")
  case " $list " in
    *" $name "*) ;;
    *) [ -f "$file" ] && list="$list $name" ;;
  esac
done

rows=8
failed=0
for name in $list; do
  [ -f "$examples/$name" ] || continue
  base=${name%.txt}
  cp "$examples/$name" "$scratch/$name"
  echo "================================================================"
  echo "examples/$name ($(wc -l < "$examples/$name" | tr -d ' ') records)"
  echo "\$ propsmooth $name $base.out.txt"
  (cd "$scratch" && "$tool" "$name" "$base.out.txt")
  status=$?
  echo "(exit status $status)"
  # 0 to 3 are the program's own outcomes; anything else is a crash.
  [ "$status" -le 3 ] || failed=1
  if [ -f "$scratch/$base.out.log" ]; then
    echo "---- $base.out.log ----"
    tr -d '\r' < "$scratch/$base.out.log"
  fi
  if [ -f "$scratch/$base.out.txt" ]; then
    echo "---- $base.out.txt (header and first $rows rows, tabs aligned) ----"
    tr -d '\r' < "$scratch/$base.out.txt" | head -n $((rows + 1)) |
      awk -F '\t' '{ printf "%5s %6s %6s %6s %14s %15s %16s\n",
                     $1, $2, $3, $4, $5, $6, $7 }'
  fi
  echo
done
exit $failed
