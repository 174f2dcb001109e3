# Installs the build into a temporary prefix and runs the installed program
# on the installed examples; the same for propsmooth-report when it is built.
# Usage: sh install_prefix.sh CMAKE BUILD_DIR SOURCE_DIR BUILT_PROGRAM [BUILT_REPORT]
# (BUILT_REPORT empty or missing: the report tool is not built.)
set -eu
cmake=$1 build=$2 source=$3 built=$4 built_report=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/install_checks.sh"

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.txt" ||
  { cat "$work/install.txt"; fail "cmake --install"; }

program=$prefix/bin/propsmooth
examples=$prefix/share/doc/propsmooth/examples
[ -x "$program" ] || fail "no executable $program"
[ -f "$prefix/share/man/man1/propsmooth.1.gz" ] || fail "no manual page"
[ -f "$prefix/share/doc/propsmooth/README.md" ] || fail "no README"
for example in "$source"/examples/*.txt; do
  [ -f "$examples/$(basename "$example")" ] || fail "example $(basename "$example") not installed"
done
for needed in rats.txt units.txt bad.txt; do
  [ -f "$examples/$needed" ] || fail "example $needed not installed"
done

# The installed program on an installed example: status 0, the same files
# as the program in the build folder writes.
same_as_built "$program" "$built" "rats.tsv rats.log" "$examples/rats.txt" rats.tsv
records=$(tr -s ' \t\r\n' '\n' <"$examples/rats.txt" | grep -c . )
rows=$(($(wc -l <"$work/installed/rats.tsv") - 1))
[ "$rows" -eq $((records / 4)) ] || fail "rats.tsv has $rows rows for $((records / 4)) records"

# The deliberate error: status 1, the message, and no output file.
set +e
(cd "$work/installed" && "$program" "$examples/bad.txt" bad.tsv >bad-console.txt)
status=$?
set -e
[ "$status" -eq 1 ] || fail "bad.txt ended with status $status, not 1"
grep -q 'Error!! Wrong data found (in code-' "$work/installed/bad-console.txt" ||
  fail "bad.txt: no data error message"
[ ! -e "$work/installed/bad.tsv" ] && [ ! -e "$work/installed/bad.log" ] ||
  fail "bad.txt: an output file was created"

# man finds the page where it was installed.
if command -v man >/dev/null 2>&1; then
  MANPAGER=cat PAGER=cat man -M "$prefix/share/man" propsmooth >"$work/man.txt" 2>&1 ||
    { cat "$work/man.txt"; fail "man -M PREFIX/share/man propsmooth"; }
  grep -q 'EXIT STATUS' "$work/man.txt" || fail "the installed page did not render"
else
  echo "man not installed: the rendering of the installed page is not checked"
fi

# The Python package: in the posix_prefix layout under any prefix; in
# Debian's folders under /usr/local and /usr (installed below a DESTDIR).
version=${PROPSMOOTH_PYTHON_VERSION:-3}
check_python_package "$prefix/lib/python$version/site-packages" "$examples/rats.txt"
for system in /usr/local:lib/python$version/dist-packages /usr:lib/python3/dist-packages; do
  system_prefix=${system%%:*}
  destdir=$work/destdir-${system_prefix##*/}
  DESTDIR=$destdir "$cmake" --install "$build" --prefix "$system_prefix" >"$work/install.txt" ||
    { cat "$work/install.txt"; fail "DESTDIR=$destdir cmake --install --prefix $system_prefix"; }
  check_python_package "$destdir$system_prefix/${system#*:}" "$examples/rats.txt"
done

report=$prefix/bin/propsmooth-report
if [ -z "$built_report" ]; then
  [ ! -e "$report" ] && [ ! -e "$prefix/share/man/man1/propsmooth-report.1.gz" ] ||
    fail "propsmooth-report is not built but was installed"
  echo "propsmooth-report not built: its installation is not checked"
  echo "installed into $prefix and ran $program"
  exit 0
fi
[ -x "$report" ] || fail "no executable $report"
[ -f "$prefix/share/man/man1/propsmooth-report.1.gz" ] || fail "no manual page of propsmooth-report"
# The installed report writes what the built one writes.
same_as_built "$report" "$built_report" "rats.html rats-ci.tsv" "$examples/rats.txt" rats.html \
  --tsv rats-ci.tsv
if command -v man >/dev/null 2>&1; then
  MANPAGER=cat PAGER=cat man -M "$prefix/share/man" propsmooth-report >"$work/man-report.txt" 2>&1 ||
    { cat "$work/man-report.txt"; fail "man -M PREFIX/share/man propsmooth-report"; }
  grep -q 'EXIT STATUS' "$work/man-report.txt" || fail "the installed report page did not render"
fi
echo "installed into $prefix and ran $program and $report"
