"""50-digit references of the Poisson-gamma log-likelihood and its shape.

    python3 tests/stats/reference/poisson_gamma_loglik.py

The data are tests/stats/data/rates/nc_sids74.csv (SIDS deaths against
their expected counts, 100 counties), E read as the doubles the test reads.
The log-likelihood is summed from log-gamma values in 50-digit arithmetic,
    sum loggamma(x + a) - loggamma(a) - loggamma(x + 1)
        + a log(b / (b + E)) + x log(E / (b + E)),
with a = Alpha, b = Beta = Alpha / mu, at mu = 0.9 and shapes from 0.5 to
1e15 (where R's dnbinom itself is off by 1e-6 and more), and its gradient and
Hessian in (log mu, log Alpha) by mpmath's numerical differentiation at
that precision. Printed as C++ table rows.
"""
import csv
import os

import mpmath

mpmath.mp.dps = 50
here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "..", "data", "rates", "nc_sids74.csv")) as f:
    rows = list(csv.DictReader(f))
xs = [mpmath.mpf(int(r["x"])) for r in rows]
es = [mpmath.mpf(float(r["e"])) for r in rows]


def loglik(w, v):
    a = mpmath.exp(v)
    b = a / mpmath.exp(w)
    total = mpmath.mpf(0)
    for x, e in zip(xs, es):
        total += (mpmath.loggamma(x + a) - mpmath.loggamma(a) - mpmath.loggamma(x + 1)
                  + a * mpmath.log(b / (b + e)) + x * mpmath.log(e / (b + e)))
    return total


for shape in ["0.5", "6.3719767484349648", "1e4", "1e10", "1e15"]:
    w = mpmath.log(mpmath.mpf("0.9"))
    v = mpmath.log(mpmath.mpf(shape))
    mpmath.mp.dps = 60 if float(shape) < 1e12 else 90
    value = loglik(w, v)
    gw = mpmath.diff(lambda t: loglik(t, v), w)
    gv = mpmath.diff(lambda t: loglik(w, t), v)
    hww = mpmath.diff(lambda t: loglik(t, v), w, 2)
    hvv = mpmath.diff(lambda t: loglik(w, t), v, 2)
    hwv = mpmath.diff(lambda s, t: loglik(s, t), (w, v), (1, 1))
    mpmath.mp.dps = 50
    print("{%s, %s, %s, %s, %s, %s, %s}," % (
        shape, mpmath.nstr(value, 20), mpmath.nstr(gw, 20), mpmath.nstr(gv, 20),
        mpmath.nstr(hww, 20), mpmath.nstr(hwv, 20), mpmath.nstr(hvv, 20)))
