#!/usr/bin/env python3
"""Independent reference values for tests/stats/beta_math_test.cc.

Credible bounds: the equal-tailed interval of Beta(a, b) with
a = Data1 + Alpha and b = (Data2 - Data1) + Beta. The regularized incomplete
beta function I_x(a, b) is its continued fraction (modified Lentz, the form
of Numerical Recipes' betacf, switched to 1 - I_{1-x}(b, a) beyond the mean)
evaluated here in mpmath at 50 significant digits, with the prefactor from
mpmath.loggamma; where mpmath's own betainc converges it is checked against
that to 1e-30. Each bound is found by bisection (150 halvings of [0, 1]) of
I_x(a, b) = tail for the lower bound and 1 - I_x(a, b) = tail for the upper
bound. Alpha, Beta and the tail (1 - level) / 2 are taken as the exact values
of the doubles the program uses.

Funnel limits: the distribution function of Binomial(n, p) summed exactly in
rational arithmetic (fractions.Fraction, p the exact value of the double),
r the smallest count with F(r) >= probability, the limit
(r - (F(r) - probability) / (F(r) - F(r - 1))) / n, and 0 where that is
negative.

Poisson funnel limits (tests/stats/gamma_math_test.cc): the distribution
function of Poisson(mu), mu = expected * reference, summed term by term
(exp(-mu) mu^k / k!) in mpmath at 50 significant digits, then r and the
interpolated limit (r - a) / expected as for the binomial ones. Gamma
densities: b^a x^(a - 1) exp(-b x) / Gamma(a) in mpmath.

Run: python3 tests/stats/reference_values.py (prints the C++ rows).
"""
from fractions import Fraction
from math import comb

import mpmath

mpmath.mp.dps = 50

INTERVAL_CASES = [
    # data1, data2, alpha, beta, level
    (0, 20, 2.304783, 14.079809, 0.95),
    (4, 14, 2.304783, 14.079809, 0.95),
    (12, 100, 5.269712, 29.226411, 0.95),
    (0, 1, 1.0, 1.0, 0.5),
    (0, 10, 0.3, 0.2, 0.9),
    (1, 1, 0.5, 0.5, 0.99),
    (30, 120, 2.0, 3.0, 0.999),
    (5000, 100000, 20.5, 300.25, 0.95),
    (7, 7, 0.05, 40.0, 0.8),
    (200000, 200000, 1.5, 2.5, 0.95),
]

LIMIT_CASES = [
    # n, pooled, probability
    (20, 0.15, 0.025),
    (20, 0.15, 0.975),
    (20, 0.15, 0.001),
    (20, 0.15, 0.999),
    (47, 0.152464, 0.025),
    (47, 0.152464, 0.999),
    (10, 0.5, 0.025),
    (1, 0.3, 0.975),
    (100, 0.01, 0.001),
    (100, 0.01, 0.999),
]


def continued_fraction(a, b, x):
    tiny = mpmath.mpf(10) ** -80
    eps = mpmath.mpf(10) ** -45
    c, d = mpmath.mpf(1), 1 - (a + b) * x / (a + 1)
    d = 1 / (d if abs(d) > tiny else tiny)
    h = d
    for m in range(1, 100000):
        for numerator in (m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m)),
                          -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1))):
            d = 1 + numerator * d
            d = 1 / (d if abs(d) > tiny else tiny)
            c = 1 + numerator / c
            c = c if abs(c) > tiny else tiny
            h *= d * c
        if abs(d * c - 1) < eps:
            return h
    raise RuntimeError("continued fraction did not converge")


def upper_tail(a, b, x):
    """1 - I_x(a, b), kept apart so that upper-tail bounds keep their digits."""
    if x <= 0:
        return mpmath.mpf(1)
    if x >= 1:
        return mpmath.mpf(0)
    log_front = (a * mpmath.log(x) + b * mpmath.log(1 - x) + mpmath.loggamma(a + b)
                 - mpmath.loggamma(a) - mpmath.loggamma(b))
    front = mpmath.exp(log_front)
    if x < (a + 1) / (a + b + 2):
        return 1 - front * continued_fraction(a, b, x) / a
    return front * continued_fraction(b, a, 1 - x) / b


def lower_tail(a, b, x):
    return upper_tail(b, a, 1 - x)


def checked(a, b, x):
    """I_x(a, b), compared with mpmath.betainc where that converges."""
    value = lower_tail(a, b, x)
    try:
        other = mpmath.betainc(a, b, 0, x, regularized=True)
    except (mpmath.libmp.libhyper.NoConvergence, ValueError):
        return value
    assert abs(value - other) < mpmath.mpf(10) ** -30, (a, b, x, value, other)
    return value


def bisect(f):
    lo, hi = mpmath.mpf(0), mpmath.mpf(1)
    # f increases from negative to positive on [0, 1].
    for _ in range(150):
        mid = (lo + hi) / 2
        if f(mid) < 0:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def interval(data1, data2, alpha, beta, level):
    a = mpmath.mpf(data1) + mpmath.mpf(alpha)
    b = mpmath.mpf(data2 - data1) + mpmath.mpf(beta)
    tail = mpmath.mpf((1.0 - level) / 2.0)  # the double the program uses
    lower = bisect(lambda x: lower_tail(a, b, x) - tail)
    upper = bisect(lambda x: tail - upper_tail(a, b, x))
    # The cross-check at the bounds found.
    assert abs(checked(a, b, lower) - tail) < mpmath.mpf(10) ** -30
    assert abs(1 - checked(a, b, upper) - tail) < mpmath.mpf(10) ** -30
    return lower, upper


def limit(n, pooled, probability):
    p = Fraction(pooled)
    prob = Fraction(probability)
    cdf = []
    total = Fraction(0)
    for k in range(n + 1):
        total += comb(n, k) * p**k * (1 - p) ** (n - k)
        cdf.append(total)
    r = next(k for k in range(n + 1) if cdf[k] >= prob)
    below = cdf[r - 1] if r > 0 else Fraction(0)
    value = (r - (cdf[r] - prob) / (cdf[r] - below)) / n
    return max(Fraction(0), value)


def poisson_limit(expected, reference, probability):
    mpmath.mp.dps = 50
    mu = mpmath.mpf(expected) * mpmath.mpf(reference)
    prob = mpmath.mpf(probability)
    total = mpmath.mpf(0)
    below = mpmath.mpf(0)
    term = mpmath.exp(-mu)
    k = 0
    while True:
        total += term
        if total >= prob:
            break
        below = total
        k += 1
        term = term * mu / k
    value = (k - (total - prob) / (total - below)) / mpmath.mpf(expected)
    return max(mpmath.mpf(0), value)


def gamma_density(shape, rate, x):
    mpmath.mp.dps = 50
    a, b, x = mpmath.mpf(shape), mpmath.mpf(rate), mpmath.mpf(x)
    return b**a * x ** (a - 1) * mpmath.exp(-b * x) / mpmath.gamma(a)


POISSON_LIMIT_CASES = [
    (10.0, 1.0, 0.025), (10.0, 1.0, 0.975), (10.0, 1.0, 0.001), (10.0, 1.0, 0.999),
    (0.5, 1.0, 0.025), (0.5, 1.0, 0.999), (2.2053963789769733, 1.0, 0.975),
    (48.5, 1.0, 0.001), (48.5, 1.0, 0.999), (3000.0, 0.0007, 0.025), (3000.0, 0.0007, 0.999),
    (250.0, 2.5, 0.975),
]

GAMMA_DENSITY_CASES = [
    (6.3719767484349648, 6.0652753458861346, 1.0), (6.3719767484349648, 6.0652753458861346, 0.2),
    (0.5, 2.0, 0.01), (1.0, 3.0, 2.0), (250.0, 240.0, 1.05),
]


def main():
    print("// Credible bounds")
    for case in INTERVAL_CASES:
        lower, upper = interval(*case)
        print("    {%d, %d, %r, %r, %r, %s, %s}," % (
            case + (mpmath.nstr(lower, 20), mpmath.nstr(upper, 20))))
    print("// Funnel limits")
    for case in LIMIT_CASES:
        print("    {%d, %r, %r, %.17g}," % (case + (float(limit(*case)),)))
    print("// Poisson funnel limits")
    for case in POISSON_LIMIT_CASES:
        print("    {%r, %r, %r, %s}," % (case + (mpmath.nstr(poisson_limit(*case), 17),)))
    print("// Gamma densities")
    for case in GAMMA_DENSITY_CASES:
        print("    {%r, %r, %r, %s}," % (case + (mpmath.nstr(gamma_density(*case), 17),)))


if __name__ == "__main__":
    main()
