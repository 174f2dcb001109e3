#!/bin/sh
# Speed figures: builds with the benchmarks, runs the kernel benchmarks and
# times whole runs of propsmooth on the generated data files.
# Usage: sh bench/run.sh   (RUNS=5 timed runs per file; HUGE=0 skips the
# 10,000,000-record file, whose generation takes a while)
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-bench}
RUNS=${RUNS:-5}
HUGE=${HUGE:-1}
JOBS=${JOBS:-2}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPROPSMOOTH_BENCHMARKS=ON \
  -DPROPSMOOTH_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" >/dev/null

data="$BUILD/data"
mkdir -p "$data"
files="national units wide"
[ "$HUGE" = 1 ] && files="$files huge"
for name in $files; do
  [ -s "$data/$name.txt" ] || "$BUILD/bench/propsmooth_generate" "$name" "$data/$name.txt"
done

echo "== Kernel benchmarks (national: 3,300 regions, sum Data2 1.27e8; wide: 100,000 regions)"
"$BUILD/bench/propsmooth_bench" --benchmark_out="$data/kernels.json" \
  --benchmark_out_format=json
# Each benchmark's "name" line comes before its "real_time" line.
awk '
  /"name":/ { name = $2; gsub(/[",]/, "", name) }
  /"real_time":/ { v = $2; gsub(/,/, "", v); real[name] = v + 0 }
  END {
    printf "\nRatios, same run (real time, literal / fast):\n"
    printf "  step national: %.0fx (threads), %.0fx (one thread)\n",
      real["BM_StepLiteral/group:0/iterations:3"] / real["BM_StepFast/group:0/threads:1/real_time"],
      real["BM_StepLiteral/group:0/iterations:3"] / real["BM_StepFast/group:0/threads:0/real_time"]
    printf "  fit national:  %.0fx (threads), %.0fx (one thread)\n",
      real["BM_FitLiteral/group:0/iterations:1"] / real["BM_Fit/group:0/threads:1/real_time"],
      real["BM_FitLiteral/group:0/iterations:1"] / real["BM_Fit/group:0/threads:0/real_time"]
    printf "  fit wide:      %.0fx\n",
      real["BM_FitLiteral/group:1/iterations:1"] / real["BM_Fit/group:1/threads:1/real_time"]
  }' "$data/kernels.json"

# The median of a column of numbers.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo
echo "== Whole runs (median of $RUNS; GNU time: wall, user+sys CPU, peak RSS)"
printf "%-10s %12s %10s %10s %12s %12s\n" file records wall_s cpu_s peak_MB bytes/record
for name in $files; do
  records=$(wc -l < "$data/$name.txt")
  : > "$data/$name.times"
  i=0
  while [ "$i" -lt "$RUNS" ]; do
    /usr/bin/time -f "%e %U %S %M" -a -o "$data/$name.times" \
      "$BUILD/propsmooth" "$data/$name.txt" "$data/$name.out" >/dev/null
    i=$((i + 1))
  done
  wall=$(awk '{ print $1 }' "$data/$name.times" | median)
  cpu=$(awk '{ print $2 + $3 }' "$data/$name.times" | median)
  rss=$(awk '{ print $4 }' "$data/$name.times" | median)
  awk -v n="$name" -v r="$records" -v w="$wall" -v c="$cpu" -v m="$rss" 'BEGIN {
    printf "%-10s %12d %10.3f %10.3f %12.1f %12.0f\n", n, r, w, c, m / 1024, m * 1024 / r }'
done
echo
echo "Targets: national < 0.05 s; units < 1.5 s and < 150 MB; wide < 0.3 s."
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
