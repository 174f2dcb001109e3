"""propsmooth.smooth against propsmooth-report --csv on the same data: rows
in groups of about ten regions each (1,000,000 rows in 100,000 groups by
default), best of RUNS wall-clock times each, and a check that both give
the same doubles.

Usage: PYTHONPATH=BUILD/python /usr/bin/python3 bench/python_smooth.py \\
           BUILD/src/report_tool/propsmooth-report [ROWS [GROUPS [RUNS]]]
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

import propsmooth


def main():
    report = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    groups = int(sys.argv[3]) if len(sys.argv) > 3 else 100_000
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    rng = np.random.default_rng(2024)
    n = rng.integers(10, 5000, rows)
    frame = pd.DataFrame({"g": rng.integers(0, groups, rows),
                          "x": rng.binomial(n, rng.beta(2.0, 30.0, rows)), "n": n})
    with tempfile.TemporaryDirectory() as scratch:
        data = os.path.join(scratch, "in.csv")
        frame.to_csv(data, index=False)
        command = [report, data, "--count", "x", "--size", "n", "--group", "g",
                   "--csv", os.path.join(scratch, "out.csv")]
        report_times, smooth_times = [], []
        for _ in range(runs):
            start = time.perf_counter()
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
            report_times.append(time.perf_counter() - start)
            start = time.perf_counter()
            mine = propsmooth.smooth(frame, count="x", size="n", group="g")
            smooth_times.append(time.perf_counter() - start)
        theirs = pd.read_csv(os.path.join(scratch, "out.csv"), float_precision="round_trip")
    same = all(np.array_equal(mine[c].to_numpy(float), theirs[c].to_numpy(float), equal_nan=True)
               for c in ("raw", "eb_me", "eb", "lower", "upper"))
    print(f"{rows} rows in {frame.g.nunique()} groups, best of {runs}:")
    print(f"  propsmooth-report --csv  {min(report_times):.2f} s (reads and writes the CSV)")
    print(f"  propsmooth.smooth        {min(smooth_times):.2f} s "
          f"({min(smooth_times) / min(report_times):.2f} times the report's)")
    print(f"  same doubles: {same}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
