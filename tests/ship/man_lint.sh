# The manual page renders without a single warning.
# Usage: sh man_lint.sh PAGE
set -eu
page=$1
[ -f "$page" ] || { echo "FAIL: no $page"; exit 1; }
command -v groff >/dev/null 2>&1 ||
  { echo "SKIPPED: groff not installed (Debian package groff-base)"; exit 77; }
warnings=$(groff -man -ww -z "$page" 2>&1) || { echo "$warnings"; echo "FAIL: groff"; exit 1; }
[ -z "$warnings" ] || { echo "$warnings"; echo "FAIL: groff -ww warns"; exit 1; }
echo "groff -man -ww -z: clean"
# A terminal without UTF-8 gets the ASCII rendering: every character must exist there.
warnings=$(groff -man -ww -z -Tascii "$page" 2>&1) || { echo "$warnings"; echo "FAIL: groff -Tascii"; exit 1; }
[ -z "$warnings" ] || { echo "$warnings"; echo "FAIL: groff -Tascii warns"; exit 1; }
echo "groff -man -ww -z -Tascii: clean"

if command -v man >/dev/null 2>&1; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man --warnings -l "$page" 2>&1 >/dev/null) ||
    { echo "$warnings"; echo "FAIL: man -l"; exit 1; }
  [ -z "$warnings" ] || { echo "$warnings"; echo "FAIL: man --warnings -l warns"; exit 1; }
  echo "man --warnings -l: clean"
else
  echo "man not installed (Debian package man-db): man -l not tried"
fi

if command -v mandoc >/dev/null 2>&1; then
  notes=$(mandoc -T lint "$page" 2>&1) || { echo "$notes"; echo "FAIL: mandoc -T lint"; exit 1; }
  [ -z "$notes" ] || { echo "$notes"; echo "FAIL: mandoc -T lint has notes"; exit 1; }
  echo "mandoc -T lint: clean"
else
  echo "mandoc not installed (Debian package mandoc): mandoc -T lint not tried"
fi
