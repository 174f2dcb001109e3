# The manual pages render without a single warning.
# Usage: sh man_lint.sh PAGE...
set -eu
[ $# -gt 0 ] || { echo "usage: sh man_lint.sh PAGE..."; exit 1; }
for page in "$@"; do
  [ -f "$page" ] || { echo "FAIL: no $page"; exit 1; }
done
command -v groff >/dev/null 2>&1 ||
  { echo "SKIPPED: groff not installed (Debian package groff-base)"; exit 77; }
command -v man >/dev/null 2>&1 ||
  echo "man not installed (Debian package man-db): man -l not tried"
command -v mandoc >/dev/null 2>&1 ||
  echo "mandoc not installed (Debian package mandoc): mandoc -T lint not tried"

for page in "$@"; do
  name=$(basename "$page")
  warnings=$(groff -man -ww -z "$page" 2>&1) ||
    { echo "$warnings"; echo "FAIL: $name: groff"; exit 1; }
  [ -z "$warnings" ] || { echo "$warnings"; echo "FAIL: $name: groff -ww warns"; exit 1; }
  echo "$name: groff -man -ww -z: clean"
  # A terminal without UTF-8 gets the ASCII rendering: every character must exist there.
  warnings=$(groff -man -ww -z -Tascii "$page" 2>&1) ||
    { echo "$warnings"; echo "FAIL: $name: groff -Tascii"; exit 1; }
  [ -z "$warnings" ] || { echo "$warnings"; echo "FAIL: $name: groff -Tascii warns"; exit 1; }
  echo "$name: groff -man -ww -z -Tascii: clean"

  if command -v man >/dev/null 2>&1; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man --warnings -l "$page" 2>&1 >/dev/null) ||
      { echo "$warnings"; echo "FAIL: $name: man -l"; exit 1; }
    [ -z "$warnings" ] || { echo "$warnings"; echo "FAIL: $name: man --warnings -l warns"; exit 1; }
    echo "$name: man --warnings -l: clean"
  fi

  if command -v mandoc >/dev/null 2>&1; then
    notes=$(mandoc -T lint "$page" 2>&1) || { echo "$notes"; echo "FAIL: $name: mandoc -T lint"; exit 1; }
    [ -z "$notes" ] || { echo "$notes"; echo "FAIL: $name: mandoc -T lint has notes"; exit 1; }
    echo "$name: mandoc -T lint: clean"
  fi
done
