# Builds the Debian package from the build folder and runs lintian on it:
# no error may be reported. Warnings and notes are printed, not failed.
# Usage: sh deb_lintian.sh CPACK BUILD_DIR
set -eu
cpack=$1 build=$2
command -v lintian >/dev/null 2>&1 ||
  { echo "SKIPPED: lintian not installed (Debian package lintian)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/deb_build.sh"
build_deb "$cpack" "$build"

lintian --version
# Status 0 but for an error tag (--fail-on error); root runs only get a note.
status=0
lintian --display-info --pedantic --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || status=$?
cat "$work/lintian.txt"
errors=$(grep -c '^E: ' "$work/lintian.txt" || true)
warnings=$(grep -c '^W: ' "$work/lintian.txt" || true)
echo "lintian: $errors errors, $warnings warnings"
[ "$status" -eq 0 ] && [ "$errors" -eq 0 ] || fail "lintian reports errors (status $status)"
