#!/usr/bin/env python3
"""Writes the golden cases of tests/golden/<case>/ from first principles.

Every number in an expected file is computed here, independently of the
program: proportions, means, variances, moment estimators and the EB(ME)
proportions with exact rational arithmetic (fractions), the Newton-Raphson
fit with 60-digit decimal arithmetic. Numbers that the documentation prints
for its worked examples are asserted equal to what this computes.

Each printed number is also checked to lie far from a rounding boundary
(more than 1e-3 of a unit of the sixth decimal), so that the program's
double arithmetic, whose error is many orders of magnitude smaller, must
print the same digits. Values that double arithmetic gives exactly (powers
of two) are marked exact and may sit on a tie.

Run: python3 tests/golden/compose.py   (rewrites the case folders)
"""
from decimal import Decimal, getcontext
from fractions import Fraction
import os

getcontext().prec = 60

TITLE = "EB estimator for Binomial-Beta model [Version 1.1]\n"
CREDIT = " propsmooth: empirical Bayes smoothing of proportions\n"
TABLE_HEADER = ("Unit\tCode\tData1\tData2\tProportion(%)\tEB-Prop(ME)(%)"
                "\tEB-Prop(MLE)(%)\n")
MISSING = None  # a failed fit: "***" in the log and the table


def fixed6(value, exact=False):
    """"%lf" of `value`: six decimals, ties to even, "-" on any negative."""
    if isinstance(value, str):  # +INF and friends
        return value
    q = Fraction(value)
    scaled = abs(q) * 10**6
    whole = scaled.numerator // scaled.denominator
    rest = scaled - whole
    if not exact:
        assert abs(rest - Fraction(1, 2)) > Fraction(1, 1000), (
            f"{float(q)!r} is too close to a rounding boundary")
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and whole % 2 == 1):
        whole += 1
    sign = "-" if q < 0 else ""
    return f"{sign}{whole // 10**6}.{whole % 10**6:06d}"


def to_decimal(q):
    return Decimal(q.numerator) / Decimal(q.denominator)


def moments(regions):
    """Proportions, mean, sample variance and the moment estimators."""
    props = [Fraction(x, n) for x, n in regions]
    c = len(props)
    m = sum(props) / c
    v = sum((p - m) ** 2 for p in props) / (c - 1) if c > 1 else Fraction(0)
    if v == 0:
        # Equal proportions (one region, say) have no moment estimators:
        # the program stores 0 for both, and a fit from 0 cannot step.
        return props, m, v, Fraction(0), Fraction(0)
    r = m * (1 - m) / v - 1
    return props, m, v, m * r, (1 - m) * r


def newton(regions, alpha, beta, eps, limit):
    """The Newton-Raphson fit on the beta-binomial log-likelihood, with the
    digamma and trigamma differences as finite sums over the counts."""
    a, b = alpha, beta
    da = db = Decimal(9999)
    steps, converged = 0, True

    def small(d):
        # The loop test on a correction must not be a near miss either.
        if eps.is_finite() and d != 9999:
            assert abs(d - eps) > eps * Decimal("1e-6"), "correction near Eps"
        return d <= eps

    while not (small(da) and small(db)):
        if steps >= limit or a + b == 0 or a == 0 or b == 0:
            # A term 1/(A + B + 0) or 1/(A + 0) or 1/(B + 0) divides by 0:
            # no step is possible and the corrections stay as they stand.
            converged = False
            break
        ab = a + b
        to_n = sum(sum(1 / (ab + k) for k in range(n)) for x, n in regions)
        ga = sum(sum(1 / (a + k) for k in range(x)) for x, n in regions) - to_n
        gb = sum(sum(1 / (b + k) for k in range(n - x)) for x, n in regions) - to_n
        hab = sum(sum(1 / (ab + k) ** 2 for k in range(n)) for x, n in regions)
        haa = hab - sum(sum(1 / (a + k) ** 2 for k in range(x)) for x, n in regions)
        hbb = hab - sum(sum(1 / (b + k) ** 2 for k in range(n - x)) for x, n in regions)
        det = haa * hbb - hab * hab
        da = -(hbb * ga - hab * gb) / det
        db = (hab * ga - haa * gb) / det
        a, b = a + da, b + db
        if a <= 0 or b <= 0:
            converged = False
            break
        da, db = abs(da), abs(db)
        steps += 1
    return dict(alpha=a if converged else MISSING,
                beta=b if converged else MISSING,
                err=(da, db), steps=steps)


def estimate(regions, eps="0.00001", limit=20):
    props, m, v, alpha_me, beta_me = moments(regions)
    eps_value = Decimal(eps)
    fit = newton(regions, to_decimal(alpha_me), to_decimal(beta_me),
                 eps_value, limit)
    eb_me = [(x + alpha_me) / ((alpha_me + beta_me) + n) for x, n in regions]
    if fit["alpha"] is MISSING:
        eb_mle = [MISSING] * len(regions)
    else:
        a, b = Fraction(fit["alpha"]), Fraction(fit["beta"])
        eb_mle = [(x + a) / ((a + b) + n) for x, n in regions]
    return dict(props=props, mean=m, variance=v, alpha_me=alpha_me,
                beta_me=beta_me, fit=fit, eb_me=eb_me, eb_mle=eb_mle,
                eps=eps_value)


def section(count, est, exact=False):
    """Lines 1 to 11 of a log section."""
    fit = est["fit"]
    f = lambda value: fixed6(value, exact)
    eps = est["eps"]
    eps_text = ("+INF" if eps == Decimal("Infinity") else fixed6(Fraction(eps)))
    lines = [
        f" Number of regions: {count}\n",
        f" Mean of Proportion : {f(est['mean'])}\n",
        f" Variance of Proportion : {f(est['variance'])}\n",
        # Without -A/-B the fit starts from the moment estimators.
        f" Initial value of Alpha : {f(est['alpha_me'])}\n",
        f" Initial value of Beta  : {f(est['beta_me'])}\n",
        f" ME of Alpha : {f(est['alpha_me'])}\n",
        f" ME of Beta  : {f(est['beta_me'])}\n",
    ]
    if fit["alpha"] is MISSING:
        lines += [" MLE of Alpha : *** \n", " MLE of Beta  : *** \n"]
    else:
        lines += [f" MLE of Alpha : {f(Fraction(fit['alpha']))}\n",
                  f" MLE of Beta  : {f(Fraction(fit['beta']))}\n"]
    err = [f(Fraction(e)) for e in fit["err"]]
    lines += [f" Error of convergence : {{{err[0]}, {err[1]}}}   (EPS: {eps_text})\n",
              f" Iteration for convergence : {fit['steps']}\n"]
    return "".join(lines)


def row(record, prop, eb_me, eb_mle):
    unit, code, x, n = record
    f = lambda value: fixed6(100 * value)
    last = "***" if eb_mle is MISSING else f(eb_mle)
    return f"{unit}\t{code}\t{x}\t{n}\t{f(prop)}\t{f(eb_me)}\t{last}\n"


def run(records, eps="0.00001", limit=20, exact=False):
    """Log body and table rows as the program's grouping makes them."""
    if not records:
        return "", ""
    results = {}
    body = ""
    if records[0][0] == -1:
        groups = [(None, list(range(len(records))))]
    else:
        units = sorted({r[0] for r in records})
        groups = [(u, [i for i, r in enumerate(records) if r[0] == u]) for u in units]
    for unit, members in groups:
        est = estimate([records[i][2:] for i in members], eps, limit)
        text = section(len(members), est, exact)
        if unit is None:
            body += text
        else:
            body += f"For unit {unit} ..............................................\n"
            body += text + "\n"
        for k, i in enumerate(members):
            results[i] = (est["props"][k], est["eb_me"][k], est["eb_mle"][k])
    # Only the log's values are claimed exact; the table's are checked.
    rows = "".join(row(r, *results[i]) for i, r in enumerate(records))
    return body, rows


def crlf(text):
    return text.replace("\n", "\r\n")


def write_case(name, records, args=(), eps="0.00001", limit=20, exact=False,
               input_text=None):
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    os.makedirs(folder, exist_ok=True)
    body, rows = run(records, eps, limit, exact)
    if input_text is None:
        input_text = "".join(" ".join(map(str, r)) + "\n" for r in records)
    files = {
        "input.txt": input_text,
        "expected.stdout": (TITLE + CREDIT + "\n" + " DataFileName: input.txt\n"
                            " OutFileName : out.txt\n LogFileName : out.log\n"),
        "expected.log": crlf(TITLE + CREDIT + "\n" + body),
        "expected.tsv": crlf(TABLE_HEADER + rows),
    }
    if args:
        files["args"] = "".join(a + "\n" for a in args)
    for file_name, text in files.items():
        with open(os.path.join(folder, file_name), "w", newline="") as out:
            out.write(text)
    return body, rows


FIVE = [(-1, 1, 12, 100), (-1, 2, 30, 120), (-1, 3, 5, 90), (-1, 4, 22, 110),
        (-1, 5, 9, 70)]


def main():
    body, rows = write_case("single-group", FIVE)
    assert body == (" Number of regions: 5\n"
                    " Mean of Proportion : 0.150825\n"
                    " Variance of Proportion : 0.005694\n"
                    " Initial value of Alpha : 3.241812\n"
                    " Initial value of Beta  : 18.251995\n"
                    " ME of Alpha : 3.241812\n"
                    " ME of Beta  : 18.251995\n"
                    " MLE of Alpha : 5.269712\n"
                    " MLE of Beta  : 29.226411\n"
                    " Error of convergence : {0.000000, 0.000000}   (EPS: 0.000010)\n"
                    " Iteration for convergence : 6\n"), body
    assert rows.startswith("-1\t1\t12\t100\t12.000000\t12.545341\t12.840304\n"
                           "-1\t2\t30\t120\t25.000000\t23.493475\t22.828865\n"), rows

    # The same records with CR LF line ends, one record over three lines,
    # two on one line, no line end after the last and text behind a Ctrl-Z.
    write_case("text-mode", FIVE, input_text=(
        "-1 1 12 100\r\n-1\r\n2\r\n30 120\r\n-1 3 5 90 -1 4 22 110\r\n"
        "\t-1  5  9  70\x1aUnit Code Data1 Data2\r\n1 2 x\r\n"))

    body, rows = write_case("failed-unit", [(2, 7, 0, 10), (2, 8, 10, 10),
                                            (2, 9, 1, 10), (2, 10, 9, 10)])
    assert body == ("For unit 2 ..............................................\n"
                    " Number of regions: 4\n"
                    " Mean of Proportion : 0.500000\n"
                    " Variance of Proportion : 0.273333\n"
                    " Initial value of Alpha : -0.042683\n"
                    " Initial value of Beta  : -0.042683\n"
                    " ME of Alpha : -0.042683\n"
                    " ME of Beta  : -0.042683\n"
                    " MLE of Alpha : *** \n"
                    " MLE of Beta  : *** \n"
                    " Error of convergence : {-0.055065, -0.055065}   (EPS: 0.000010)\n"
                    " Iteration for convergence : 0\n\n"), body
    assert rows.startswith("2\t7\t0\t10\t0.000000\t-0.430504\t***\n"), rows

    # Units 7, 3, 7, 3: sections 3 then 7, rows in file order.
    body, rows = write_case("unit-order", [(7, 31, 3, 40), (3, 32, 1, 30),
                                           (7, 33, 17, 45), (3, 34, 14, 35)])
    assert body.index("For unit 3 ") < body.index("For unit 7 ")

    # 1/64 and 0/64: every value of the log is a power-of-two fraction that
    # double arithmetic holds exactly, and the mean 1/128 = 0.0078125 is a
    # tie. An Eps of 10000 stops the fit before its first step.
    body, _ = write_case("tie-mean", [(-1, 1, 1, 64), (-1, 2, 0, 64)],
                         args=["-E10000"], eps="10000", exact=True)
    assert " Mean of Proportion : 0.007812\n" in body, body

    # The bundled per-unit example: units in mixed order, one unit of a
    # single region and one whose fit fails on a negative Alpha.
    examples = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                            "..", "..", "examples")
    with open(os.path.join(examples, "units.txt")) as f:
        text = f.read()
    numbers = [int(t) for t in text.split()]
    records = [tuple(numbers[i:i + 4]) for i in range(0, len(numbers), 4)]
    body, rows = write_case("units-example", records, input_text=text)
    assert body.count(" MLE of Alpha : *** ") == 2, body

    write_case("empty", [], input_text="")

    body, _ = write_case("limit-zero", FIVE, args=["-L0"], limit=0)
    assert "{9999.000000, 9999.000000}" in body and ": 0\n" in body

    body, rows = write_case("eps-infinite", FIVE, args=["-E+INF"], eps="Infinity")
    assert "(EPS: +INF)" in body and " MLE of Alpha : 3.241812\n" in body, body


if __name__ == "__main__":
    main()
