#!/bin/sh
# Builds the libFuzzer targets with clang++ (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a bounded time, one after
# another, starting from the corpus kept in tests/fuzz/corpus/<target>.
#
#   FUZZ_SECONDS  seconds per target (default 60)
#   FUZZ_TARGETS  targets to run (default: all five; delimited_input, the
#                 reader of propsmooth-report, needs its libraries)
#   FUZZ_BUILD    build folder (default build-fuzz)
#   FUZZ_JOBS     parallel compile jobs (default 2)
#
# New inputs go to $FUZZ_BUILD/corpus/<target>, never into the repository;
# a crashing input is saved as $FUZZ_BUILD/artifacts/<target>-crash-*.
# Exits non-zero when any target found a failure.
set -eu
cd "$(dirname "$0")/../.."

seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-"data_reader options log_name estimate delimited_input"}
build=${FUZZ_BUILD:-build-fuzz}
jobs=${FUZZ_JOBS:-2}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
  -DPROPSMOOTH_FUZZ=ON -DPROPSMOOTH_TESTS=OFF -DPROPSMOOTH_BENCHMARKS=OFF \
  -DPROPSMOOTH_REPORT_TOOL=ON -DPROPSMOOTH_PYTHON=OFF -DPROPSMOOTH_WERROR=ON >/dev/null
for target in $targets; do
  cmake --build "$build" -j "$jobs" --target "fuzz_$target"
done

failed=""
for target in $targets; do
  work="$build/corpus/$target"
  mkdir -p "$work" "$build/artifacts"
  dict=""
  if [ -f "tests/fuzz/$target.dict" ]; then dict="-dict=tests/fuzz/$target.dict"; fi
  echo "== fuzz_$target for ${seconds}s"
  # shellcheck disable=SC2086  # $dict is one word or none
  if ! "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 $dict \
      -artifact_prefix="$build/artifacts/$target-" \
      "$work" "tests/fuzz/corpus/$target" 2>"$build/fuzz-$target.txt"; then
    failed="$failed $target"
    tail -n 60 "$build/fuzz-$target.txt"
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|INFO: seed corpus' \
    "$build/fuzz-$target.txt" || true
done

if [ -n "$failed" ]; then
  echo "fuzzing found failures in:$failed (inputs in $build/artifacts)"
  exit 1
fi
