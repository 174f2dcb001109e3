#!/bin/sh
# Time and peak memory of propsmooth-report on one table of grouped counts:
# the CSV (group,count,size) read and smoothed to a CSV table, against the
# interval table (--tsv, which needs the page too) of the same records in
# the four-number format. Both runs in one go, so that they share the
# machine's load.
# Usage: sh bench/report_table.sh
#   ROWS=10000000 GROUP_COUNT=10000 MEDIAN_SIZE=300: the table (generated once)
#   RUNS=1 runs of each; BUILD=build-bench; JOBS=2 build jobs
#   BASELINE=another propsmooth-report for the four-number run (default: the
#   one built here), to compare against an earlier version
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-bench}
ROWS=${ROWS:-10000000}
GROUP_COUNT=${GROUP_COUNT:-10000}
MEDIAN_SIZE=${MEDIAN_SIZE:-300}
RUNS=${RUNS:-1}
JOBS=${JOBS:-2}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPROPSMOOTH_BENCHMARKS=ON \
  -DPROPSMOOTH_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target propsmooth_grouped_table propsmooth-report -j "$JOBS" >/dev/null
report="$BUILD/src/report_tool/propsmooth-report"
baseline=${BASELINE:-$report}
data="$BUILD/data"
mkdir -p "$data"
csv="$data/grouped-$ROWS-$GROUP_COUNT-$MEDIAN_SIZE.csv"
legacy="$data/grouped-$ROWS-$GROUP_COUNT-$MEDIAN_SIZE.txt"
[ -s "$csv" ] && [ -s "$legacy" ] ||
  "$BUILD/bench/propsmooth_grouped_table" "$ROWS" "$GROUP_COUNT" "$csv" "$legacy" "$MEDIAN_SIZE"

echo "CPU:   $(grep -m1 'model name' /proc/cpuinfo | sed 's/^[^:]*: *//')"
echo "Cores: $(nproc) (shared with other work), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Data:  $ROWS rows in $GROUP_COUNT groups, median size $MEDIAN_SIZE; $(wc -c < "$csv")" \
  "bytes of CSV; $(tail -n +2 "$csv" | sort -u | wc -l) distinct (group, count, size)"

# How many cores' worth of work the machine gives now: the same busy loop
# run once alone and then on every core at once. Cores shared with other
# machines may give far fewer than nproc.
spin() { i=0; while [ "$i" -lt 3000000 ]; do i=$((i + 1)); done; }
seconds() { date +%s.%N; }
start=$(seconds); spin; alone=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { print b - a }')
start=$(seconds)
n=0; while [ "$n" -lt "$(nproc)" ]; do spin & n=$((n + 1)); done; wait
together=$(awk -v a="$start" -v b="$(seconds)" 'BEGIN { print b - a }')
awk -v n="$(nproc)" -v a="$alone" -v t="$together" 'BEGIN {
  printf "Parallel capacity now: %.2f cores (a busy loop: %.2f s alone, %.2f s on each of %d cores at once)\n",
    n * a / t, a, t, n }'

# Prints wall seconds, CPU seconds and peak MB of one run from GNU time -v.
summary() {
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); wall = 0
      for (i = 1; i <= n; i++) wall = wall * 60 + t[i] }
    /User time/ { cpu += $2 } /System time/ { cpu += $2 }
    /Maximum resident set size/ { rss = $2 / 1024 }
    END { printf "%8.2f s wall %8.2f s CPU %8.0f MB peak\n", wall, cpu, rss }' "$1"
}

i=0
while [ "$i" -lt "$RUNS" ]; do
  /usr/bin/time -v -o "$data/tsv.time" "$baseline" "$legacy" "$data/grouped.html" \
    --tsv "$data/grouped.tsv" >/dev/null
  printf "four-number --tsv: %s   (load %s)\n" "$(summary "$data/tsv.time")" \
    "$(cut -d' ' -f1 /proc/loadavg)"
  /usr/bin/time -v -o "$data/csv.time" "$report" "$csv" --count count --size size \
    --group group --csv "$data/grouped-out.csv" >/dev/null
  printf "CSV to --csv:      %s   (load %s)\n" "$(summary "$data/csv.time")" \
    "$(cut -d' ' -f1 /proc/loadavg)"
  i=$((i + 1))
done
