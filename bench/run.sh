#!/bin/sh
# Speed figures: builds the benchmarks, runs the kernel benchmarks once per
# SIMD target this CPU has, and times whole runs of propsmooth on the
# generated data files, again per target: today's program (a baseline
# built from a git ref) and this one, alternately in the same run, with
# the run's division floor (bench/run_floor.cc) beside them.
# Usage: sh bench/run.sh
#   RUNS=3        timed runs per file, target and build (medians shown)
#   FILES="..."   the generated files to time (default below); HUGE=1 adds
#                 the 10,000,000-record file, whose runs take a while;
#                 `rates` is propsmooth-report's national table of rates,
#                 timed against the same counts as a binomial group
#                 (FILES=rates KERNELS=0 BASE_REF=none: that alone)
#   BASE_REF=3aec7ad  the baseline's git ref, built into build-bench-base
#                 through `git worktree add`; BASE_BUILD=DIR takes an
#                 existing build with DIR/propsmooth instead; BASE_REF=none
#                 times this build alone
#   CAPS="avx512 avx2"  the PROPSMOOTH_SIMD values to time (default: one
#                 per target family the CPU has); PROPSMOOTH_SIMD set here
#                 caps the targets measured
#   JOBS=2        build jobs; KERNELS=0 skips the kernel benchmarks
#   FLOOR=0       skips the division floor, which divides every term of
#                 every sweep: minutes a run on the giant files
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
BUILD=${BUILD:-build-bench}
RUNS=${RUNS:-3}
HUGE=${HUGE:-0}
JOBS=${JOBS:-2}
KERNELS=${KERNELS:-1}
FLOOR=${FLOOR:-1}
SHAPES=${SHAPES:-1}
BASE_REF=${BASE_REF:-3aec7ad}
BASE_BUILD=${BASE_BUILD:-}
base_label=""  # the git ref the baseline was built from here, if it was
# Each name is one of propsmooth_generate's data sets; add one here to
# time it too.
FILES=${FILES:-"national units wide rare giant giant10 rates"}

# A new build folder builds no tests; an existing one keeps its settings.
if [ -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -DPROPSMOOTH_BENCHMARKS=ON >/dev/null
else
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPROPSMOOTH_BENCHMARKS=ON \
    -DPROPSMOOTH_TESTS=OFF >/dev/null
fi
cmake --build "$BUILD" --target propsmooth_bench propsmooth_generate propsmooth \
  propsmooth_run_floor propsmooth_sweep_shapes -j "$JOBS" >/dev/null

# The baseline: an existing build, or the ref built in a worktree of its
# own (made once, its build kept for the next run).
if [ -z "$BASE_BUILD" ] && [ "$BASE_REF" != none ]; then
  base_tree=build-bench-base/src
  if [ ! -d "$base_tree" ]; then
    git worktree add --detach "$base_tree" "$BASE_REF" >/dev/null
  else
    git -C "$base_tree" checkout -q --detach "$BASE_REF"
  fi
  cmake -S "$base_tree" -B build-bench-base/build -DCMAKE_BUILD_TYPE=Release \
    -DPROPSMOOTH_TESTS=OFF >/dev/null
  cmake --build build-bench-base/build --target propsmooth -j "$JOBS" >/dev/null
  BASE_BUILD=build-bench-base/build
  base_label=" ($BASE_REF)"
fi
if [ -n "$BASE_BUILD" ] && [ ! -x "$BASE_BUILD/propsmooth" ]; then
  echo "bench/run.sh: no propsmooth in $BASE_BUILD" >&2
  exit 1
fi

bench="$BUILD/bench/propsmooth_bench"
data="$BUILD/data"
mkdir -p "$data"
files=$FILES
[ "$HUGE" = 1 ] && files="$files huge"
# propsmooth's own files, and whether the table of rates is asked for.
strict_files=""
rates=0
for name in $files; do
  if [ "$name" = rates ]; then
    rates=1
    [ -s "$data/rates.csv" ] || "$BUILD/bench/propsmooth_generate" rates "$data/rates.csv"
    continue
  fi
  strict_files="${strict_files:+$strict_files }$name"
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
[ -n "${CAPS:-}" ] && whole_caps=$CAPS || whole_caps=$caps

if [ "$KERNELS" = 1 ]; then
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
fi

# The median of a column of numbers.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One timed run into a times file: wall, user and system CPU, peak RSS.
time_run() {
  PROPSMOOTH_SIMD=$1 /usr/bin/time -f "%e %U %S %M" -a -o "$2" "$3" "$4" "$5" >/dev/null
}

column() { awk "{ print $1 }" "$2" | median; }

# Whether the dispatch should pick a target by a sweep's shape: where the
# CPU has more than one family, each shape's sweeps on each.
shape_files=""
for name in units rare; do
  case " $strict_files " in *" $name "*) shape_files="$shape_files $name" ;; esac
done
if [ "$SHAPES" = 1 ] && [ -n "$shape_files" ] && [ "$(echo "$caps" | wc -w)" -gt 1 ]; then
  echo
  echo "== Sweeps by shape (largest count to a power of two, base to a power of ten): ns a"
  echo "   sweep on each target family, best of 3, one thread; shapes of 1,000 sweeps or more"
  for name in $shape_files; do
    echo
    echo "-- $name"
    "$BUILD/bench/propsmooth_sweep_shapes" "$data/$name.txt" 3
  done
fi

if [ -n "$strict_files" ]; then
echo
echo "== Whole runs (median of $RUNS; the baseline and this build alternately)"
echo "base: ${BASE_BUILD:-none}${base_label}; new: $BUILD"
echo "cpu = user + system seconds. floor = the divisions of every sweep the run's fits"
echo "make, timed alone on one thread (bench/run_floor.cc); x floor = new cpu / floor."
for cap in $whole_caps; do
  echo
  echo "-- PROPSMOOTH_SIMD=$cap ($(PROPSMOOTH_SIMD=$cap "$bench" --list_simd_targets | cut -d' ' -f1))"
  printf "%-9s %9s %8s %8s %6s %8s %8s %6s %8s %8s %8s %8s %s\n" file records base_s new_s \
    new/b base_cpu new_cpu new/b floor_s x_floor new_MB bytes/rec same
  for name in $strict_files; do
    records=$(wc -l < "$data/$name.txt")
    : > "$data/$name.new.times"
    : > "$data/$name.base.times"
    i=0
    while [ "$i" -lt "$RUNS" ]; do
      if [ -n "$BASE_BUILD" ]; then
        time_run "$cap" "$data/$name.base.times" "$BASE_BUILD/propsmooth" "$data/$name.txt" \
          "$data/$name.base.out"
      fi
      time_run "$cap" "$data/$name.new.times" "$BUILD/propsmooth" "$data/$name.txt" \
        "$data/$name.out"
      i=$((i + 1))
    done
    same=-
    if [ -n "$BASE_BUILD" ]; then
      # The table and the log, each byte for byte.
      cmp -s "$data/$name.base.out" "$data/$name.out" &&
        cmp -s "$data/$name.base.log" "$data/$name.log" && same=yes || same=NO
    fi
    floor=0
    if [ "$FLOOR" = 1 ]; then
      floor=$(PROPSMOOTH_SIMD=$cap "$BUILD/bench/propsmooth_run_floor" "$data/$name.txt" 3 |
        awk '{ print $4 }')
    fi
    new_wall=$(column '$1' "$data/$name.new.times")
    new_cpu=$(column '$2 + $3' "$data/$name.new.times")
    rss=$(column '$4' "$data/$name.new.times")
    base_wall=0
    base_cpu=0
    if [ -n "$BASE_BUILD" ]; then
      base_wall=$(column '$1' "$data/$name.base.times")
      base_cpu=$(column '$2 + $3' "$data/$name.base.times")
    fi
    awk -v n="$name" -v r="$records" -v bw="$base_wall" -v nw="$new_wall" -v bc="$base_cpu" \
      -v nc="$new_cpu" -v f="$floor" -v m="$rss" -v same="$same" '
      function ratio(a, b) { return b > 0 ? sprintf("%6.2f", a / b) : sprintf("%6s", "-") }
      BEGIN {
        printf "%-9s %9d %8.3f %8.3f %s %8.3f %8.3f %s %8.3f %8s %8.1f %8.0f %s\n", n, r,
          bw, nw, ratio(nw, bw), bc, nc, ratio(nc, bc), f, ratio(nc, f), m / 1024,
          m * 1024 / r, same }'
  done
done
echo
echo "Targets: units and rare within 1.3 x floor (cpu); national < 0.09 s with AVX2"
echo "(0.05 s with AVX-512); units < 150 MB; wide < 0.3 s; no file slower than the baseline."
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
fi

# The rates model against the binomial one on the same counts: the
# generator's n makes x/n the relative risk over 10 (bench/datasets.h).
# propsmooth-report needs Boost, CLI11 and libcsv; without them, a note.
if [ "$rates" = 1 ]; then
  echo
  echo "== Rates: 2,000 regions against expected counts, and the same counts as a binomial group"
  if cmake --build "$BUILD" --target propsmooth-report -j "$JOBS" >/dev/null 2>&1; then
    report="$BUILD/src/report_tool/propsmooth-report"
    awk -F, 'NR > 1 { if ($2 > x) x = $2; if ($3 > e) e = $3; n += $4; r++ }
      END { printf "%d regions, largest count %d, largest expected %.0f, sum n %.3g\n",
        r, x, e, n }' "$data/rates.csv"
    echo "poisson: --model poisson --count x --expected e; binomial: --count x --size n."
    echo "csv = the fit and every region's estimate and interval; summary = the fit, its"
    echo "standard errors and profile bound. Median of $RUNS, the two models alternately;"
    echo "cpu = user + system seconds."
    for cap in $whole_caps; do
      echo
      echo "-- PROPSMOOTH_SIMD=$cap"
      printf "%-8s %10s %10s %7s %10s %10s %7s  %s\n" output poisson_s binom_s p/b \
        poisson_cpu binom_cpu p/b "fits (poisson, binomial)"
      for output in csv summary; do
        : > "$data/rates.poisson.times"
        : > "$data/rates.binomial.times"
        i=0
        while [ "$i" -lt "$RUNS" ]; do
          PROPSMOOTH_SIMD=$cap /usr/bin/time -f "%e %U %S %M" -a -o "$data/rates.poisson.times" \
            "$report" "$data/rates.csv" --quiet --model poisson --count x --expected e \
            "--$output" "$data/rates.poisson.$output"
          PROPSMOOTH_SIMD=$cap /usr/bin/time -f "%e %U %S %M" -a -o "$data/rates.binomial.times" \
            "$report" "$data/rates.csv" --quiet --count x --size n \
            "--$output" "$data/rates.binomial.$output"
          i=$((i + 1))
        done
        # The fit each run chose: the table's prior column, the summary's fit.
        field=10
        [ "$output" = summary ] && field=16
        fits=$(awk -F, -v f="$field" 'NR == 2 { print $f }' "$data/rates.poisson.$output"),$(
          awk -F, -v f="$field" 'NR == 2 { print $f }' "$data/rates.binomial.$output")
        awk -v o="$output" -v fits="$fits" \
          -v pw="$(column '$1' "$data/rates.poisson.times")" \
          -v bw="$(column '$1' "$data/rates.binomial.times")" \
          -v pc="$(column '$2 + $3' "$data/rates.poisson.times")" \
          -v bc="$(column '$2 + $3' "$data/rates.binomial.times")" '
          function ratio(a, b) { return b > 0 ? sprintf("%7.2f", a / b) : sprintf("%7s", "-") }
          BEGIN {
            printf "%-8s %10.3f %10.3f %s %10.3f %10.3f %s  %s\n", o, pw, bw, ratio(pw, bw),
              pc, bc, ratio(pc, bc), fits }'
      done
    done
    echo
    echo "Target: the rates' times of the same order as the binomial group's."
    echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
  else
    echo "(propsmooth-report is not built here: Boost.Math, CLI11 and libcsv are needed)"
  fi
fi

# The front door against the strict tool and the baseline's own
# (bench/report_front.sh), where both builds have it: it needs Boost.
if [ -n "$BASE_BUILD" ] &&
  cmake --build "$BUILD" --target propsmooth-report -j "$JOBS" >/dev/null 2>&1 &&
  cmake --build "$BASE_BUILD" --target propsmooth-report -j "$JOBS" >/dev/null 2>&1; then
  echo
  echo "== The front door: propsmooth-report"
  front_sets=units
  [ "$HUGE" = 1 ] && front_sets="units huge"
  NEW=$BUILD OLD=$BASE_BUILD GENERATOR=$BUILD/bench/propsmooth_generate RUNS=$RUNS \
    SETS=$front_sets sh bench/report_front.sh
fi
