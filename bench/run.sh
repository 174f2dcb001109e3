#!/bin/sh
# Speed figures: builds the benchmarks, runs the kernel benchmarks once per
# SIMD target this CPU has and times whole runs of propsmooth on the
# generated data files, again per target.
# Usage: sh bench/run.sh   (RUNS=3 timed runs per file and target; HUGE=1
# adds the 10,000,000-record file, whose generation and runs take a while;
# JOBS=2 build jobs; PROPSMOOTH_SIMD set here caps the targets measured)
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build-bench}
RUNS=${RUNS:-3}
HUGE=${HUGE:-0}
JOBS=${JOBS:-2}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPROPSMOOTH_BENCHMARKS=ON \
  -DPROPSMOOTH_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target propsmooth_bench propsmooth_generate propsmooth \
  -j "$JOBS" >/dev/null

bench="$BUILD/bench/propsmooth_bench"
data="$BUILD/data"
mkdir -p "$data"
files="national units wide giant giant10"
[ "$HUGE" = 1 ] && files="$files huge"
for name in $files; do
  [ -s "$data/$name.txt" ] || "$BUILD/bench/propsmooth_generate" "$name" "$data/$name.txt"
done

# The PROPSMOOTH_SIMD value that selects a target: a family's cap chooses
# the best target of the family the CPU has. Empty for a name it lacks.
cap_of() {
  case $1 in
    AVX3 | AVX3_DL | AVX3_ZEN4 | AVX3_SPR) echo avx512 ;;
    AVX2) echo avx2 ;;
    SSE4) echo sse4 ;;
    SSSE3) echo ssse3 ;;
    SCALAR | EMU128) echo scalar ;;
    NEON) echo neon ;;
    SVE | SVE_256) echo sve ;;
    SVE2 | SVE2_128) echo sve2 ;;
    *) echo "" ;;
  esac
}

echo "== Machine"
if grep -q '^model name' /proc/cpuinfo; then
  model=$(grep -m1 '^model name' /proc/cpuinfo | sed 's/^[^:]*: *//')
else
  # ARM: no model name; the implementer and part numbers say which core.
  model=$(grep -m3 -E '^(Hardware|CPU implementer|CPU part)' /proc/cpuinfo |
    sed 's/[[:space:]]*:[[:space:]]*/ /' | tr '\n' ' ')
fi
simd_flags=$(grep -m1 -E '^(flags|Features)' /proc/cpuinfo | sed 's/^[^:]*://' |
  tr ' ' '\n' | grep -E '^(sse|ssse3|avx|fma|asimd|sve|neon)' | tr '\n' ' ')
targets=$("$bench" --list_simd_targets)
echo "CPU:        ${model:-unknown}"
echo "SIMD flags: ${simd_flags:-none}"
echo "Targets:    $targets (best first)"
echo "Cores:      $(nproc), load average $(cut -d' ' -f1-3 /proc/loadavg)"

# One cap per target family; AVX3_DL, say, hides AVX3 from the cap.
caps=""
for target in $targets; do
  cap=$(cap_of "$target")
  if [ -z "$cap" ]; then
    echo "($target: no PROPSMOOTH_SIMD value selects it; not measured)"
    continue
  fi
  case " $caps " in
    *" $cap "*) ;;
    *) caps="${caps:+$caps }$cap" ;;
  esac
done
best=${caps%% *}

echo
echo "== Kernel benchmarks (national: 3,300 regions, sum Data2 1.27e8; wide: 100,000 regions;"
echo "   large: 5 regions, sum Data2 4.9e8). The reference kernel runs with the best target only."
for cap in $caps; do
  if [ "$cap" = "$best" ]; then
    filter=.
  else
    filter='^BM_(Fit/group:0|StepFast/group:[02]|DivisionFloor/group:[02])/threads:1/'
  fi
  echo
  echo "-- PROPSMOOTH_SIMD=$cap"
  PROPSMOOTH_SIMD=$cap "$bench" --benchmark_filter="$filter" \
    --benchmark_out="$data/kernels-$cap.json" --benchmark_out_format=json
done

# Reads one run's JSON into `target` and real[name]: each benchmark's
# "name" line comes before its "real_time" line, and the target is in the
# context.
read_json='
  /"simd_target":/ { target = $2; gsub(/[",]/, "", target) }
  /"name":/ { name = $2; gsub(/[",]/, "", name) }
  /"real_time":/ { v = $2; gsub(/,/, "", v); real[name] = v + 0 }'

# The target a run's JSON reports.
target_in() {
  awk "$read_json"' END { print target }' "$1"
}

table() {
  awk "$read_json"'
    function ratio(a, b) { return b > 0 ? sprintf("%7.2f", a / b) : sprintf("%7s", "-") }
    END {
      fit = real["BM_Fit/group:0/threads:1/real_time"]
      step = real["BM_StepFast/group:0/threads:1/real_time"]
      floor = real["BM_DivisionFloor/group:0/threads:1/real_time"]
      large = real["BM_StepFast/group:2/threads:1/real_time"]
      large_floor = real["BM_DivisionFloor/group:2/threads:1/real_time"]
      printf "%-8s %10.2f %10.3f %10.3f %s %10.1f %10.1f %s\n", target, fit, step,
        floor, ratio(step, floor), large, large_floor, ratio(large, large_floor)
    }' "$1"
}

echo
echo "Per target (real time, threads allowed). Floor: both divisions of every term of the"
echo "step alone, in any order; the kernel avoids the second one where it can, so a ratio"
echo "step/floor below 1 can happen."
printf "%-8s %10s %10s %10s %7s %10s %10s %7s\n" target fit_ms step_ms floor_ms ratio \
  large_ms floor_ms ratio
printf "%-8s %10s %10s %10s %7s %10s %10s %7s\n" "" national national national \
  step/fl large large step/fl
for cap in $caps; do
  table "$data/kernels-$cap.json"
done

awk "$read_json"'
  END {
    printf "\nRatios on %s, same run (real time, literal / fast):\n", target
    printf "  step national: %.0fx (threads), %.0fx (one thread)\n",
      real["BM_StepLiteral/group:0/iterations:3"] / real["BM_StepFast/group:0/threads:1/real_time"],
      real["BM_StepLiteral/group:0/iterations:3"] / real["BM_StepFast/group:0/threads:0/real_time"]
    printf "  fit national:  %.0fx (threads), %.0fx (one thread)\n",
      real["BM_FitLiteral/group:0/iterations:1"] / real["BM_Fit/group:0/threads:1/real_time"],
      real["BM_FitLiteral/group:0/iterations:1"] / real["BM_Fit/group:0/threads:0/real_time"]
    printf "  fit wide:      %.0fx\n",
      real["BM_FitLiteral/group:1/iterations:1"] / real["BM_Fit/group:1/threads:1/real_time"]
  }' "$data/kernels-$best.json"

# The median of a column of numbers.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo
echo "== Whole runs (median of $RUNS; GNU time: wall, user+sys CPU, peak RSS)"
for cap in $caps; do
  echo
  echo "-- PROPSMOOTH_SIMD=$cap ($(target_in "$data/kernels-$cap.json"))"
  printf "%-10s %12s %10s %10s %12s %12s\n" file records wall_s cpu_s peak_MB bytes/record
  for name in $files; do
    records=$(wc -l < "$data/$name.txt")
    : > "$data/$name.times"
    i=0
    while [ "$i" -lt "$RUNS" ]; do
      PROPSMOOTH_SIMD=$cap /usr/bin/time -f "%e %U %S %M" -a -o "$data/$name.times" \
        "$BUILD/propsmooth" "$data/$name.txt" "$data/$name.out" >/dev/null
      i=$((i + 1))
    done
    wall=$(awk '{ print $1 }' "$data/$name.times" | median)
    cpu=$(awk '{ print $2 + $3 }' "$data/$name.times" | median)
    rss=$(awk '{ print $4 }' "$data/$name.times" | median)
    awk -v n="$name" -v r="$records" -v w="$wall" -v c="$cpu" -v m="$rss" 'BEGIN {
      printf "%-10s %12d %10.3f %10.3f %12.1f %12.0f\n", n, r, w, c, m / 1024, m * 1024 / r }'
  done
done
echo
echo "Targets: national < 0.09 s with AVX2 (0.05 s with AVX-512); units < 1.5 s and < 150 MB;"
echo "wide < 0.3 s."
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
