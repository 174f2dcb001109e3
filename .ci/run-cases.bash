# Sourced by the cross-build checks (.ci/cross-aarch64, .ci/cross-windows):
# the runs every build of the program must agree on, how one run is made
# and kept, and how two runs are compared. Expects `root` (the source tree)
# and `scratch` (an empty folder of its own) to be set.

# One case: a name, a data file (empty: the run has none) and the whole
# command line after the program's name. Every run starts in the same
# folder, $scratch/work, so that an absolute name prints alike in all.
names=() inputs=() commands=()
work=$scratch/work
add_case() {
  names+=("$1")
  inputs+=("$2")
  commands+=("$3")
}
for dir in "$root"/tests/golden/*/; do
  [ -f "$dir/input.txt" ] || continue
  # The golden runs take one option a line.
  add_case "$(basename "$dir")" "$dir/input.txt" \
    "input.txt out.txt $([ -f "$dir/args" ] && tr '\n' ' ' <"$dir/args" || true)"
done
# rats.txt: one large group, the most steps of the fit; bad.txt: a run that
# stops on bad data.
for example in rats bad; do
  add_case "example-$example" "$root/examples/$example.txt" "input.txt out.txt"
done
# Counts in the hundreds of thousands: the vector runs, the ties met on
# the way and the second thread, which the small cases above hardly reach.
awk 'BEGIN { for (i = 1; i <= 40; i++) {
  n = 20000 + (i * 7919) % 180000; print -1, i, int(n * (0.02 + (i % 7) * 0.005)), n } }' \
  >"$scratch/large-counts.txt"
add_case large-counts "$scratch/large-counts.txt" "input.txt out.txt"
# Every way a data file is refused: a record out of range (status 1) and
# text that is not records (status 2), each as the first offence.
data_error=0
for text in '-1 1 2 10\n-1 5 2 0\n' '-1 1 2 10\n-1 6 -1 10\n' '3 1 2 10\n-2 7 1 10\n' \
  '-1 1 2 10\n-1 2 3\n' '-1 1 2 10\n-1 9 2 10x\n' '-1 1 2 10\n-1 2 2147483648 10\n' \
  'Unit Code Data1 Data2\n-1 1 2 10\n' '\357\273\277-1 1 2 10\n' '1 2 3' \
  '-1 1 2 10\r\n\032-1 2 x\r\n'; do
  data_error=$((data_error + 1))
  printf -- "$text" >"$scratch/data-error-$data_error.txt"
  add_case "data-error-$data_error" "$scratch/data-error-$data_error.txt" "input.txt out.txt"
done
# The ends that write no table: the usage text, an unknown option, a data
# file that is not there, and a table named by the data file's absolute
# name, which only the file system's view of the two names can catch.
add_case usage "" ""
add_case option-error "$root/tests/golden/single-group/input.txt" "input.txt out.txt -X"
add_case missing-data "" "missing.txt out.txt"
add_case same-file "$root/tests/golden/single-group/input.txt" "input.txt $work/input.txt"

# Runs case I with `COMMAND... ARGS` in a fresh $work and moves it to DIR,
# its console, error output and exit status kept beside the files it wrote.
run_case() {
  local dir=$1 i=$2
  shift 2
  local -a args
  read -r -a args <<<"${commands[$i]}"
  rm -rf "$work" "$dir"
  mkdir -p "$work" "$dir"
  [ -z "${inputs[$i]}" ] || cp "${inputs[$i]}" "$work/input.txt"
  local status=0
  (cd "$work" && "$@" "${args[@]}") >"$dir/console" 2>"$dir/stderr" </dev/null || status=$?
  echo "$status" >"$dir/status"
  mv "$work" "$dir/run"
}

# What differs between two runs' folders, in words; empty when nothing.
# With `crlf` as the third argument, the second run's console and error
# output are text-mode ones: each line end there must be CR LF.
differences() {
  local a=$1 b=$2 mode=${3:-} what
  cmp -s "$a/status" "$b/status" ||
    echo "status $(cat "$a/status") vs $(cat "$b/status")"
  for what in console stderr; do
    if [ "$mode" = crlf ]; then
      perl -pe 's/\n/\r\n/' "$a/$what" >"$a/$what.crlf"
      cmp -s "$a/$what.crlf" "$b/$what" || echo "$what differs (CR LF expected)"
    else
      cmp -s "$a/$what" "$b/$what" || echo "$what differs"
    fi
  done
  if [ "$(ls "$a/run")" != "$(ls "$b/run")" ]; then
    echo "files differ: $(ls "$a/run" | tr '\n' ' ')vs $(ls "$b/run" | tr '\n' ' ')"
  fi
  for what in out.txt out.log input.txt; do
    [ -f "$a/run/$what" ] && [ -f "$b/run/$what" ] || continue
    cmp -s "$a/run/$what" "$b/run/$what" ||
      echo "$what differs: $(cmp "$a/run/$what" "$b/run/$what" 2>&1 | sed "s#$scratch/##g")"
  done
}
