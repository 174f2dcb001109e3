#!/usr/bin/env python3
"""Independent reference quantiles for tests/stats/beta_quantile_test.cc.

The regularized incomplete beta function is evaluated in mpmath at 60
significant digits as I_x(a, b) = x^a (1 - x)^b / (a B(a, b)) / K, K the
continued fraction 1 + d1 / (1 + d2 / (1 + ...)) with
d(2m+1) = -(a + m)(a + b + m) x / ((a + 2m)(a + 2m + 1)) and
d(2m) = m (b - m) x / ((a + 2m - 1)(a + 2m)) (Numerical Recipes' betacf),
summed from the back with N terms and again with 2N until both agree to
1e-40; B(a, b) from mpmath.loggamma. Below the mean it is taken directly,
above it as 1 - I_{1-x}(b, a). (mpmath.betainc's hypergeometric series
does not converge for shapes this large.) Each quantile is the root of
I_x(a, b) = p (lower) or 1 - I_x(a, b) = p (upper), found by
Newton steps with the density from the normal approximation (a step that
would leave (0, 1) halves the distance to the end instead) until the step is
below 1e-45 of x.

a, b and p are the exact values of the doubles the test uses: the shapes are
written as decimal strings that round-trip, and p = (1 - level) / 2 is
computed in double precision first, as the program does.

Both tails at a point (TAIL_POINTS) come from the same evaluation.

Run: /usr/bin/python3 tests/stats/beta_quantile_reference.py (prints C++ rows).
"""
import mpmath as mp

mp.mp.dps = 60


def fraction(a, b, x, terms):
    s = a + b
    t = mp.mpf(1)
    for n in range(terms, 0, -1):
        if n % 2:
            m = (n - 1) // 2
            d = -(a + m) * (s + m) * x / ((a + 2 * m) * (a + 2 * m + 1))
        else:
            m = n // 2
            d = m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m))
        t = 1 + d / t
    return t


def lower_side(a, b, x):
    """I_x(a, b) by the fraction, for x at most the mean."""
    terms = 200
    while True:
        k1 = fraction(a, b, x, terms)
        k2 = fraction(a, b, x, 2 * terms)
        if abs(k1 - k2) <= mp.mpf(10) ** -40 * abs(k2):
            break
        terms *= 2
    log_power = a * mp.log(x) + b * mp.log1p(-x) - (mp.loggamma(a) + mp.loggamma(b) - mp.loggamma(a + b))
    return mp.exp(log_power) / a / k2


def tails(a, b, x):
    if x <= a / (a + b):
        low = lower_side(a, b, x)
        return low, 1 - low
    up = lower_side(b, a, 1 - x)
    return 1 - up, up


def density(a, b, x):
    return mp.exp((a - 1) * mp.log(x) + (b - 1) * mp.log1p(-x) -
                  (mp.loggamma(a) + mp.loggamma(b) - mp.loggamma(a + b)))


def quantile(a, b, p, upper):
    a, b, p = mp.mpf(a), mp.mpf(b), mp.mpf(p)
    s = a + b
    mean, spread = a / s, mp.sqrt(a * b / (s + 1)) / s
    z = mp.sqrt(2) * mp.erfinv(2 * p - 1)
    start = mean + (-z if upper else z) * spread
    start = min(max(start, mean / 100), (1 + mean) / 2)
    sign = -1 if upper else 1
    x = start
    for _ in range(200):
        value = tails(a, b, x)
        step = ((value[1] if upper else value[0]) - p) / (sign * density(a, b, x))
        following = x - step
        if following <= 0:
            following = x / 2
        elif following >= 1:
            following = (1 + x) / 2
        x = following
        if abs(step) < mp.mpf(10) ** -45 * x:
            return x
    raise RuntimeError(f"no convergence for {a}, {b}, {p}")
    return x


# Shapes: a from 10 to 1e9 and b from 10 to 1e9, both ways round and the
# shapes of real posteriors (a few to a few thousand cases among hundreds
# to millions of trials); levels 0.5 to 0.999.
SHAPES = [
    (10.0, 10.0), (10.0, 3162.0), (10.5, 1e6), (12.25, 1e9), (3162.0, 10.0),
    (1e6, 10.5), (29.5, 1050.25), (118.5, 1032.0), (150.0, 1000.0),
    (1000.0, 150.0), (5000.5, 95020.25), (200001.5, 2.5e6), (1e5, 1e5),
    (1778.25, 1778279.0), (562.5, 562341.0), (1e9, 1e9), (4.5e7, 9.5e8),
    (1e9, 11.0), (250.0, 251.0), (10.0, 1e7), (10.0, 1e9),
]
LEVELS = [0.5, 0.9, 0.95, 0.99, 0.999]

# Both tails at points on either side of the mean, some far out.
TAIL_POINTS = [
    (150.0, 1000.0, 0.1), (150.0, 1000.0, 0.16), (1000.0, 150.0, 0.84),
    (29.5, 1050.25, 0.01), (29.5, 1050.25, 0.05), (10.0, 10.0, 0.5),
    (1e5, 1e5, 0.4990), (1e5, 1e5, 0.5005), (12.25, 1e9, 3e-9),
    (5000.5, 95020.25, 0.04), (5000.5, 95020.25, 0.06),
]


def main():
    for a, b in SHAPES:
        for level in LEVELS:
            p = (1.0 - level) / 2.0  # in double, as the program does
            low = quantile(a, b, p, False)
            up = quantile(a, b, p, True)
            print(f"      {{{a!r}, {b!r}, {level!r}, {mp.nstr(low, 20)}, {mp.nstr(up, 20)}}},")
    print()
    for a, b, x in TAIL_POINTS:
        low, up = tails(mp.mpf(a), mp.mpf(b), mp.mpf(x))
        print(f"      {{{a!r}, {b!r}, {x!r}, {mp.nstr(low, 20)}, {mp.nstr(up, 20)}}},")


if __name__ == "__main__":
    main()
