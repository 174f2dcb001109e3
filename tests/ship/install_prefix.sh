# Installs the build into a temporary prefix and runs the installed program
# on the installed examples.
# Usage: sh install_prefix.sh CMAKE BUILD_DIR SOURCE_DIR BUILT_PROGRAM
set -eu
cmake=$1 build=$2 source=$3 built=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.txt" ||
  { cat "$work/install.txt"; fail "cmake --install"; }

program=$prefix/bin/propsmooth
examples=$prefix/share/doc/propsmooth/examples
[ -x "$program" ] || fail "no executable $program"
[ -f "$prefix/share/man/man1/propsmooth.1" ] || fail "no manual page"
[ -f "$prefix/share/doc/propsmooth/README.md" ] || fail "no README"
for example in "$source"/examples/*.txt; do
  [ -f "$examples/$(basename "$example")" ] || fail "example $(basename "$example") not installed"
done
for needed in rats.txt units.txt bad.txt; do
  [ -f "$examples/$needed" ] || fail "example $needed not installed"
done

# The installed program on an installed example: status 0, the same files
# as the program in the build folder writes.
mkdir "$work/installed" "$work/built"
(cd "$work/installed" && "$program" "$examples/rats.txt" rats.tsv >console.txt) ||
  fail "installed program ended with status $? on rats.txt"
(cd "$work/built" && "$built" "$examples/rats.txt" rats.tsv >console.txt) ||
  fail "built program failed on rats.txt"
for file in rats.tsv rats.log console.txt; do
  cmp "$work/installed/$file" "$work/built/$file" || fail "installed and built $file differ"
done
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
echo "installed into $prefix and ran $program"
