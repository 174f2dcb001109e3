#!/bin/sh
# The front door against the strict tool and against an earlier build of
# itself: propsmooth and propsmooth-report --csv on the million records of
# `units`, and on the ten million of `huge` the earlier --tsv run (with its
# page) against --csv now. Wall and CPU seconds and peak memory of each,
# and the ratios the front door is held to.
# Usage: OLD=/path/to/old/build sh bench/report_front.sh
#   OLD: an earlier build (its propsmooth-report under src/report_tool);
#   NEW=build (already built, with -DPROPSMOOTH_BENCHMARKS=ON for the
#   generator, or GENERATOR=a built propsmooth_generate); SETS="units huge"
set -eu
cd "$(dirname "$0")/.."
NEW=${NEW:-build}
OLD=${OLD:?"OLD=an earlier build to compare with"}
SETS=${SETS:-units huge}
GENERATOR=${GENERATOR:-$NEW/bench/propsmooth_generate}
[ -x "$GENERATOR" ] || GENERATOR=$OLD/bench/propsmooth_generate
work=$(mktemp -d "${TMPDIR:-/tmp}/report-front.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "CPU:   $(grep -m1 'model name' /proc/cpuinfo | sed 's/^[^:]*: *//'), SIMD flags:" \
  "$(grep -m1 '^flags' /proc/cpuinfo | tr ' ' '\n' | grep -E '^(sse4_2|avx2|avx512f|fma)$' | tr '\n' ' ')"
echo "Cores: $(nproc), load average $(cut -d' ' -f1-3 /proc/loadavg)"

# Runs a command under GNU time; prints wall, CPU (user + system) and peak
# MB, and leaves "wall cpu" in $work/last.
timed() {
  label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" ||
    { echo "$label failed:"; cat "$work/stderr"; exit 1; }
  awk -v l="$label" '{ printf "  %-34s %7.2f s wall %7.2f s CPU %6.0f MB peak\n", l, $1, $2 + $3, $4 / 1024
                       print $1, $2 + $3 > "'"$work/last"'" }' "$work/time"
}
ratio() {
  awk -v what="$1" -v limit="$4" -v a="$2" -v b="$3" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "  %s: %.2f of wall, %.2f of CPU (held to %s)\n", what, x[1] / y[1], x[2] / y[2], limit }'
}

for set in $SETS; do
  data="$work/$set.txt"
  "$GENERATOR" "$set" "$data" >/dev/null
  echo "$set: $(wc -l <"$data") records"
  case $set in
    huge)
      timed "old page + --tsv" "$OLD/src/report_tool/propsmooth-report" "$data" \
        "$work/page.html" --tsv "$work/old.tsv"
      old=$(cat "$work/last")
      timed "new --csv" "$NEW/src/report_tool/propsmooth-report" "$data" --csv "$work/new.csv"
      ratio "new --csv / old --tsv" "$(cat "$work/last")" "$old" "at most 0.5"
      ;;
    *)
      timed "propsmooth" "$NEW/propsmooth" "$data" "$work/out.txt"
      strict=$(cat "$work/last")
      timed "old --csv" "$OLD/src/report_tool/propsmooth-report" "$data" --csv "$work/old.csv"
      timed "new --csv" "$NEW/src/report_tool/propsmooth-report" "$data" --csv "$work/new.csv"
      ratio "new --csv / propsmooth" "$(cat "$work/last")" "$strict" "at most 1.5"
      cmp -s "$work/old.csv" "$work/new.csv" && echo "  CSV tables identical" ||
        echo "  CSV tables DIFFER"
      ;;
  esac
  rm -f "$work"/*.csv "$work"/*.tsv "$work"/*.html "$data"
done
