#!/bin/sh
# The front door against the strict tool and against earlier builds of
# itself. On the million records of `units`: propsmooth, and
# propsmooth-report --csv (then page + --csv) of this build and of HEAD_BUILD,
# whose tables must be the same, and --summary (every group's fit figures)
# of both. On the ten million of `huge`: the old
# build's --tsv against --csv now, with the peak memory of each and of
# propsmooth. Runs alternate between the builds; medians of RUNS runs.
# Wall and CPU (user + system) seconds, peak MB, and the ratios the front
# door is held to: the machine may be shared, so CPU is the figure to judge.
# Usage: OLD=/path/to/old/build sh bench/report_front.sh
#   OLD: the build before the speed work (3aec7ad), its propsmooth-report
#   under src/report_tool; HEAD_BUILD: a build whose tables this one must
#   match (default OLD); NEW=build (already built, with
#   -DPROPSMOOTH_BENCHMARKS=ON for the generator, or GENERATOR=a built
#   propsmooth_generate); SETS="units huge"; RUNS=3 (huge: HUGE_RUNS=1);
#   BOUNDS=1e-12: how far the tables' credible bounds may move from HEAD_BUILD's
set -eu
cd "$(dirname "$0")/.."
NEW=${NEW:-build}
OLD=${OLD:?"OLD=an earlier build to compare with"}
HEAD_BUILD=${HEAD_BUILD:-$OLD}
SETS=${SETS:-units huge}
RUNS=${RUNS:-3}
HUGE_RUNS=${HUGE_RUNS:-1}
BOUNDS=${BOUNDS:-1e-12}
GENERATOR=${GENERATOR:-$NEW/bench/propsmooth_generate}
[ -x "$GENERATOR" ] || GENERATOR=$OLD/bench/propsmooth_generate
work=$(mktemp -d "${TMPDIR:-/tmp}/report-front.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "CPU:   $(grep -m1 'model name' /proc/cpuinfo | sed 's/^[^:]*: *//')"
echo "SIMD flags: $(grep -m1 '^flags' /proc/cpuinfo | tr ' ' '\n' |
  grep -E '^(sse4_1|sse4_2|avx|avx2|fma|avx512[a-z_0-9]*)$' | tr '\n' ' ')"
echo "Build: $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$NEW/CMakeCache.txt" 2>/dev/null)," \
  "$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$NEW/CMakeCache.txt" 2>/dev/null)," \
  "PROPSMOOTH_SIMD=${PROPSMOOTH_SIMD:-best}"
echo "Cores: $(nproc), load average $(cut -d' ' -f1-3 /proc/loadavg)"

# One run under GNU time, appended to $work/$label.times as "wall cpu KB".
timed() {
  label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" ||
    { echo "$label failed:"; cat "$work/stderr"; exit 1; }
  awk '{ print $1, $2 + $3, $4 }' "$work/time" >>"$work/$label.times"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The medians of a label's runs as "wall cpu KB"; printed with its label.
medians() {
  echo "$(awk '{ print $1 }' "$work/$1.times" | median)" \
    "$(awk '{ print $2 }' "$work/$1.times" | median)" \
    "$(awk '{ print $3 }' "$work/$1.times" | median)"
}
show() {
  medians "$1" | awk -v l="$1" -v n="$(wc -l <"$work/$1.times")" '{
    printf "  %-26s %7.2f s wall %7.2f s CPU %6.0f MB peak (median of %d)\n", l, $1, $2, $3 / 1024, n }'
}
ratio() {
  awk -v what="$1" -v limit="$4" -v a="$(medians "$2")" -v b="$(medians "$3")" 'BEGIN {
    split(a, x, " "); split(b, y, " ")
    printf "  %s: %.2f of wall, %.2f of CPU (held to %s)\n", what, x[1] / y[1], x[2] / y[2], limit }'
}
report() { echo "$1/src/report_tool/propsmooth-report"; }

for set in $SETS; do
  data="$work/$set.txt"
  "$GENERATOR" "$set" "$data" >/dev/null
  echo "$set: $(wc -l <"$data") records"
  rm -f "$work"/*.times
  case $set in
    huge)
      i=0
      while [ "$i" -lt "$HUGE_RUNS" ]; do
        timed "old --tsv" "$(report "$OLD")" "$data" --tsv "$work/old.tsv"
        rm -f "$work/old.tsv"
        timed "new --csv" "$(report "$NEW")" "$data" --csv "$work/new.csv"
        rm -f "$work/new.csv"
        timed "propsmooth" "$NEW/propsmooth" "$data" "$work/out.txt"
        rm -f "$work/out.txt" "$work/out.log"
        i=$((i + 1))
      done
      show "old --tsv"
      show "new --csv"
      show "propsmooth"
      ratio "new --csv / old --tsv" "new --csv" "old --tsv" "at most 0.5"
      medians "new --csv" | awk '{ printf "  new --csv peak: %.0f MB (held to under 500 MB)\n", $3 / 1024 }'
      ;;
    *)
      i=0
      while [ "$i" -lt "$RUNS" ]; do
        timed "propsmooth" "$NEW/propsmooth" "$data" "$work/out.txt"
        timed "head --csv" "$(report "$HEAD_BUILD")" "$data" --csv "$work/head.csv"
        timed "new --csv" "$(report "$NEW")" "$data" --csv "$work/new.csv"
        timed "head page + --csv" "$(report "$HEAD_BUILD")" "$data" "$work/head.html" \
          --csv "$work/head2.csv"
        timed "new page + --csv" "$(report "$NEW")" "$data" "$work/new.html" \
          --csv "$work/new2.csv"
        timed "head --summary" "$(report "$HEAD_BUILD")" "$data" --summary "$work/head-summary.csv"
        timed "new --summary" "$(report "$NEW")" "$data" --summary "$work/new-summary.csv"
        i=$((i + 1))
      done
      for label in propsmooth "head --csv" "new --csv" "head page + --csv" "new page + --csv" \
        "head --summary" "new --summary"; do
        show "$label"
      done
      ratio "new --csv / propsmooth" "new --csv" propsmooth "at most 1.5"
      ratio "new --csv / head --csv" "new --csv" "head --csv" "below 1"
      ratio "new page + --csv / head's" "new page + --csv" "head page + --csv" "below 1"
      ratio "new --summary / head's" "new --summary" "head --summary" "below 1"
      # The credible bounds may move within the quantiles' accuracy when
      # HEAD_BUILD predates the quantile method; every other cell may not.
      scripts/compare-tables "$work/head.csv" "$work/new.csv" "$BOUNDS" >/dev/null &&
        scripts/compare-tables "$work/head2.csv" "$work/new2.csv" "$BOUNDS" >/dev/null &&
        echo "  CSV tables the same (bounds within $BOUNDS relative)" ||
        echo "  CSV tables DIFFER"
      cmp -s "$work/head.html" "$work/new.html" && echo "  pages identical" ||
        echo "  pages differ (see their bounds)"
      ;;
  esac
  rm -f "$work"/*.csv "$work"/*.tsv "$work"/*.html "$work"/out.* "$data"
done
