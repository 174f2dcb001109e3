#!/bin/sh
# Many groups in one run, so that the fits and intervals are shared out over
# every core (and, under ThreadSanitizer in .ci/run, any race between them
# shows): each group's rows must equal those of a run on that group alone.
# Usage: many_groups.sh TOOL
set -u
tool=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/many-groups.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
# 300 units of 8 regions, counts and sizes from a fixed linear congruence.
awk 'BEGIN {
  s = 12345
  for (u = 1; u <= 300; u++)
    for (r = 1; r <= 8; r++) {
      s = (s * 1103515245 + 12345) % 2147483648; n = 20 + s % 180
      s = (s * 1103515245 + 12345) % 2147483648; x = s % (n / 4 + 1)
      print u, u * 100 + r, int(x), n
    }
}' >all.txt
"$tool" all.txt all.html --tsv all.tsv >/dev/null || { echo "the run on all groups failed"; exit 1; }
for unit in 1 150 300; do
  awk -v u="$unit" '$1 == u' all.txt >one.txt
  rm -f one.html one.tsv
  "$tool" one.txt one.html --tsv one.tsv >/dev/null || { echo "the run on unit $unit failed"; exit 1; }
  awk -v u="$unit" -F '\t' 'NR == 1 || $1 == u' all.tsv >from-all.tsv
  cmp -s one.tsv from-all.tsv || { echo "unit $unit: rows differ from a run on it alone"; exit 1; }
done
echo "300 groups: each as when run alone"
