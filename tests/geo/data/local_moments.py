#!/usr/bin/env python3
"""The local (spatial) moment estimates of North Carolina's SIDS rates of
1974 (SID74 of BIR74) over spdep's queen neighbourhoods, computed in exact
rational arithmetic, each figure rounded to the nearest double once at the
end. Writes nc_sids74_local_moments.csv; run from this folder.

For region i with neighbourhood N (i and its queen neighbours):
  r    = sum x / sum n over N
  s2   = sum n_j (x_j/n_j - r)^2 / sum n_j - r / nbar,  nbar = sum n_j / |N|
  s2  := 0 where below 0
  EB   = r + s2 / (s2 + r / n_i) * (x_i/n_i - r)   (r where s2 = 0)
"""
import csv
from fractions import Fraction

with open("nc_sids74.csv", newline="") as f:
    rows = list(csv.DictReader(f))
count = {r["id"]: Fraction(int(r["sid74"])) for r in rows}
size = {r["id"]: Fraction(int(r["bir74"])) for r in rows}

queen = {}
with open("nc_queen.txt") as f:
    for line in f:
        words = line.split()
        queen[words[0]] = words[2:]

with open("nc_sids74_local_moments.csv", "w", newline="") as f:
    out = csv.writer(f, lineterminator="\n")
    out.writerow(["id", "neighbours", "rate", "unclamped_variance", "clamped", "eb_me"])
    for r in rows:
        i = r["id"]
        members = [i] + queen[i]
        total = sum(size[j] for j in members)
        rate = sum(count[j] for j in members) / total
        spread = sum(size[j] * (count[j] / size[j] - rate) ** 2 for j in members)
        variance = spread / total - rate / (total / len(members))
        clamped = variance < 0
        s2 = Fraction(0) if clamped else variance
        if s2 == 0:
            eb = rate
        else:
            eb = rate + s2 / (s2 + rate / size[i]) * (count[i] / size[i] - rate)
        out.writerow([i, len(members) - 1, repr(float(rate)), repr(float(variance)),
                      "true" if clamped else "false", repr(float(eb))])
