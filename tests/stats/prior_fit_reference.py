#!/usr/bin/env python3
"""Independent reference values for the beta-binomial likelihood, the prior
fit and the exceedance probabilities (tests/stats/*_test.cc).

Everything here is 50-digit mpmath on the textbook forms, none of them the
finite sums the program uses:
  log-likelihood = sum over regions of log C(n, x) + lnG(A + x) - lnG(A)
                   + lnG(B + n - x) - lnG(B) - lnG(A + B + n) + lnG(A + B),
  its gradient in (A, B) with digamma differences, the optimum by
  mpmath.findroot on that gradient, the profile over mu for a fixed size by
  findroot on d/dmu, the profile-likelihood lower 95 % bound of A + B where
  the profile falls by chi2(1, 0.95)/2 below the maximum (a root found by
  bisection), and P(rate <= P), P(rate > P) of Beta(a, b) with
  mpmath.betainc (regularized) on [0, P] and [P, 1].
Parameters are the exact values of the doubles the tests pass.

Run: python3 tests/stats/prior_fit_reference.py (prints the rows).
"""
import os
import random

import mpmath as mp

mp.mp.dps = 50

HERE = os.path.dirname(os.path.abspath(__file__))


def read_counts(path):
    counts = []
    with open(path) as f:
        for line in f:
            fields = line.split()
            if len(fields) == 4:
                counts.append((int(fields[2]), int(fields[3])))
    return counts


RATS = read_counts(os.path.join(HERE, '..', '..', 'examples', 'rats.txt'))
# Unit 30 of examples/units.txt: all-or-nothing regions but two.
UNIT30 = [(0, 12), (12, 12), (1, 12), (11, 12)]
# Unit 10: a flat optimum (standard errors near 150 % of Alpha and Beta).
UNIT10 = [(14, 120), (9, 95), (30, 160), (4, 70), (21, 130), (11, 88)]


def large_group(seed=22, regions=30):
    """30 regions of 80,000 to 120,000 trials whose rates are drawn from
    Beta(6000, 14000) (mean 0.3, sd 0.0032 against binomial sampling's
    0.0015): a little extra-binomial spread, Alpha + Beta near 2e4. Python's
    own generator with a fixed seed, so the counts are reproducible."""
    rng = random.Random(seed)
    counts = []
    for _ in range(regions):
        n = rng.randint(80000, 120000)
        rate = rng.betavariate(0.3 * 20000, 0.7 * 20000)
        counts.append((sum(1 for _ in range(n) if rng.random() < rate), n))
    return counts


def loglik(counts, a, b):
    a, b = mp.mpf(a), mp.mpf(b)
    total = mp.mpf(0)
    for x, n in counts:
        total += (mp.loggamma(n + 1) - mp.loggamma(x + 1) - mp.loggamma(n - x + 1)
                  + mp.loggamma(a + x) - mp.loggamma(a)
                  + mp.loggamma(b + n - x) - mp.loggamma(b)
                  - mp.loggamma(a + b + n) + mp.loggamma(a + b))
    return total


def gradient(counts, a, b):
    ga = gb = mp.mpf(0)
    for x, n in counts:
        shared = mp.digamma(a + b) - mp.digamma(a + b + n)
        ga += mp.digamma(a + x) - mp.digamma(a) + shared
        gb += mp.digamma(b + n - x) - mp.digamma(b) + shared
    return ga, gb


def optimum(counts, a0, b0):
    a, b = mp.findroot(lambda a, b: gradient(counts, a, b), (a0, b0))
    return a, b, loglik(counts, a, b)


def profile(counts, size, mu0):
    size = mp.mpf(size)

    def d_mu(mu):
        ga, gb = gradient(counts, mu * size, (1 - mu) * size)
        return size * (ga - gb)

    mu = mp.findroot(d_mu, mu0)
    return loglik(counts, mu * size, (1 - mu) * size), mu


def size_lower95(counts, a, b, peak):
    target = peak - mp.mpf('3.841458820694124032')/2
    mu0 = a / (a + b)
    hi = a + b
    lo = hi / 2
    while profile(counts, lo, mu0)[0] >= target:
        lo /= 2
    for _ in range(120):
        mid = mp.sqrt(lo * hi)
        if profile(counts, mid, mu0)[0] >= target:
            hi = mid
        else:
            lo = mid
    return hi


def main():
    print('// loglik of the rat data at mu = 0.14 (alpha = 0.14 s, beta = s - alpha)')
    for size in (1e1, 1e4, 1e8, 1e14):
        alpha = 0.14 * size
        beta = size - alpha
        print(f'{{{alpha!r}, {beta!r}, {mp.nstr(loglik(RATS, alpha, beta), 25)}}},')
    # The binomial limit: theta = 0 at the pooled rate.
    xs = sum(x for x, n in RATS)
    ns = sum(n for x, n in RATS)
    p = mp.mpf(xs) / ns
    lbin = sum(mp.log(mp.binomial(n, x)) + x * mp.log(p) + (n - x) * mp.log(1 - p)
               for x, n in RATS)
    print('// rat data, binomial limit', mp.nstr(lbin, 25))

    large = large_group()
    print('// large group: (x, n) of each region')
    print(', '.join(f'{{{x}, {n}}}' for x, n in large))
    for name, counts, start in (('rats', RATS, (2.3, 14.1)),
                                ('unit 30', UNIT30, (0.3, 0.3)),
                                ('unit 10', UNIT10, (19.6, 131.4)),
                                ('large group', large, (5300.0, 12400.0))):
        a, b, peak = optimum(counts, *start)
        ga, gb = gradient(counts, a, b)
        print(f'// {name}: optimum alpha, beta, loglik, |gradient|, size_lower95')
        print(f'{{{mp.nstr(a, 20)}, {mp.nstr(b, 20)}, {mp.nstr(peak, 20)}}},',
              mp.nstr(max(abs(ga), abs(gb)), 3),
              mp.nstr(size_lower95(counts, a, b, peak), 15))

    # No finite maximum: the profile over mu stays below the binomial limit
    # at every size tried (it rises towards l_bin as the size grows).
    under = [(5, 50), (6, 50), (4, 50), (5, 50), (7, 50), (3, 50)]
    p_under = mp.mpf(30) / 300
    lbin_under = sum(mp.log(mp.binomial(n, x)) + x * mp.log(p_under)
                     + (n - x) * mp.log(1 - p_under) for x, n in under)
    gaps = [lbin_under - profile(under, mp.mpf(10) ** k, p_under)[0] for k in range(0, 9)]
    print('// underdispersed: l_bin', mp.nstr(lbin_under, 15), 'l_bin - profile at 1e0..1e8:',
          ' '.join(mp.nstr(g, 3) for g in gaps))
    # Complete pooling's bound: where the profile falls chi2/2 below l_bin,
    # searched down from a size of 1e15, where the profile is l_bin.
    big = mp.mpf(10) ** 15
    print('// underdispersed: size_lower95 under complete pooling',
          mp.nstr(size_lower95(under, p_under * big, (1 - p_under) * big, lbin_under), 15))

    print('// exceedance: a, b, threshold, pep = P(rate <= P), p_exceed = P(rate > P)')
    for a, b, t in ((2.304783 + 4, 14.079809 + 10, 0.2),
                    (2.304783, 14.079809 + 20, 0.3),
                    (5.269712 + 12, 29.226411 + 88, 0.1),
                    (0.5, 0.5, 0.5),
                    (20.5 + 50, 300.25 + 950, 0.06),
                    (3.0, 400.0, 0.2),
                    (400.0, 3.0, 0.9)):
        pep = mp.betainc(a, b, 0, t, regularized=True)
        exceed = mp.betainc(a, b, t, 1, regularized=True)
        print(f'{{{a!r}, {b!r}, {t!r}, {mp.nstr(pep, 20)}, {mp.nstr(exceed, 20)}}},')


if __name__ == '__main__':
    main()
