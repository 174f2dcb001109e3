"""Empirical Bayes estimates of proportions and rates.

Proportions (the binomial-beta model): ``fit(counts, sizes)`` fits one
beta prior as the ``propsmooth`` program does; ``smooth(df, count=,
size=)`` gives a DataFrame of the columns of ``propsmooth-report --csv``,
one prior per group.

Rates (the Poisson-gamma model of ``propsmooth-report --model poisson``):
``fit(counts, expected=E)`` fits one gamma prior (shape alpha, rate beta)
to counts observed against expected counts or person-time;
``smooth(df, count=, expected=)`` or ``smooth(df, count=, exposure=,
per=100000)`` gives the columns of that program's --csv (RATE_COLUMNS).

Both run the programs' own C++ core, so their numbers are the programs' to
the last bit. ``propsmooth.dask`` does the same for Dask DataFrames.

Maps: ``smooth(gdf, ..., neighbours="queen")`` takes a geopandas
GeoDataFrame and returns one with the spatial estimates of
``propsmooth-report --neighbours`` (SPATIAL_COLUMNS).
"""

from __future__ import annotations

import dataclasses
import math
import numbers

import numpy as np

from . import _core, _geo
from ._geo import SPATIAL_COLUMNS, SpatialWarning

__all__ = ["COLUMNS", "RATE_COLUMNS", "SPATIAL_COLUMNS", "FitResult", "RateFitResult",
           "SpatialWarning", "fit", "smooth"]

#: The columns of ``smooth``'s result: those of ``propsmooth-report --csv``
#: with ``--threshold``.
COLUMNS = ("group", "id", "x", "n", "raw", "eb_me", "eb", "lower", "upper", "prior",
           "p_exceed", "pep", "q_value", "discovery")

#: The columns of ``smooth``'s result for rates (``expected=``): those of
#: ``propsmooth-report --model poisson --csv``; with ``exposure=`` the
#: fourth is named "exposure", as the program names it.
RATE_COLUMNS = ("group", "id", "x", "expected", "raw", "eb_me", "eb", "lower", "upper",
                "prior", "p_exceed", "pep", "q_value", "discovery")

_INT32_MAX = np.iinfo(np.int32).max
# Every value below the 32-bit range breaks the record rule as this one does.
_BELOW_INT32 = int(np.iinfo(np.int32).min) - 1


@dataclasses.dataclass(frozen=True)
class FitResult:
    """One group's prior, as ``propsmooth`` writes it into its log.

    ``alpha`` and ``beta`` are the maximum-likelihood prior (NaN when the
    fit failed); with ``safeguarded=True`` the prior of the fit that does
    not give up, which ``fit`` then names: "newton", "safeguarded", "no
    finite maximum" (``boundary`` says where the likelihood's supremum
    lies) or "failed". ``se_alpha``, ``se_beta`` and ``loglik`` are NaN
    unless the safeguarded fit gives them. Proportions that are all the
    same fraction (decided exactly) have ``variance``, ``alpha_me`` and
    ``beta_me`` 0, as propsmooth-report's summary has them, where the log
    may show a variance of rounding and moment estimators near 1e31.
    """

    alpha_me: float
    beta_me: float
    alpha: float
    beta: float
    iterations: int
    err_alpha: float
    err_beta: float
    fit: str
    se_alpha: float
    se_beta: float
    loglik: float
    mean: float
    variance: float
    boundary: str


@dataclasses.dataclass(frozen=True)
class RateFitResult:
    """One group's gamma prior of rates, as ``propsmooth-report --model
    poisson --summary`` writes it.

    ``mean`` and ``variance`` are the moment estimators of the rates (the
    pooled rate sum x / sum E and Marshall's between-region variance,
    clamped at 0), ``alpha_me`` and ``beta_me`` the gamma prior of those
    moments (NaN where the variance is 0). ``alpha`` (shape) and ``beta``
    (rate) are the fitted prior, NaN where the fit found no finite
    maximum or failed; ``fit`` names how it ended: "newton",
    "safeguarded", "no finite maximum" (``boundary`` says where the
    likelihood's supremum lies) or "failed". ``se_alpha``, ``se_beta`` and
    ``loglik`` are NaN where the fit gives none; ``iterations`` its steps.
    Rates are per unit of the expected values (no ``per`` applies here).
    """

    mean: float
    variance: float
    alpha_me: float
    beta_me: float
    alpha: float
    beta: float
    se_alpha: float
    se_beta: float
    loglik: float
    iterations: int
    fit: str
    boundary: str


def _labels(values):
    """A Series' index labels, else positions."""
    return values.index if hasattr(values, "iloc") else range(len(values))


def _first(mask):
    return int(np.flatnonzero(mask)[0])


def _refuse(what, values, labels, position, why):
    value = values.iloc[position] if hasattr(values, "iloc") else values[position]
    raise ValueError(f"{what}: {value!r} at index {labels[position]!r} {why}")


def _whole_numbers(values, what, least, labels):
    """The values as int64, each a whole number of at most 2**31 - 1 (below
    -2**31 held as -2**31 - 1, which breaks the record rule as they do);
    ValueError naming the first one that is not, by its index label. The
    record rule itself, whose bound ``least`` the messages name, is
    _core's (see _data)."""
    array = values.to_numpy() if hasattr(values, "to_numpy") else np.asarray(values)
    if array.ndim != 1:
        raise ValueError(f"{what} must be one-dimensional, not of shape {array.shape}")
    allowed = f"a whole number >= {least}"
    if array.dtype.kind in "iu":
        high = array > _INT32_MAX
        if high.any():
            _refuse(what, values, labels, _first(high),
                    f"is above {_INT32_MAX}, the largest allowed")
        return np.maximum(array.astype(np.int64), _BELOW_INT32)
    if array.dtype.kind == "b":
        raise ValueError(f"{what} are booleans; they must be whole numbers")
    if array.dtype.kind != "f":
        # Objects (pandas' nullable integers among them): numbers or missing.
        numbers_only = np.empty(len(array), dtype=np.float64)
        for position, value in enumerate(array):
            if _is_missing(value):
                numbers_only[position] = math.nan
            elif isinstance(value, numbers.Real) and not isinstance(value, bool):
                numbers_only[position] = float(value)
            else:
                _refuse(what, values, labels, position, f"is not {allowed}")
        array = numbers_only
    missing = np.isnan(array)
    if missing.any():
        _refuse(what, values, labels, _first(missing),
                "is missing; fill in the value or leave the row out")
    fraction = array != np.floor(array)
    if fraction.any():
        _refuse(what, values, labels, _first(fraction), f"is not {allowed}")
    high = array > _INT32_MAX
    if high.any():
        _refuse(what, values, labels, _first(high), f"is above {_INT32_MAX}, the largest allowed")
    return np.maximum(array, float(_BELOW_INT32)).astype(np.int64)


def _is_missing(value):
    if value is None:
        return True
    try:
        return bool(value != value)
    except TypeError:
        # pandas.NA: its comparisons give NA, whose truth is ambiguous.
        return True


def _data(counts, sizes, labels):
    """The counts and sizes as int32, refused (ValueError naming the first
    bad row by its index label) where _core's record rule refuses them."""
    if len(counts) != len(sizes):
        raise ValueError(f"counts has {len(counts)} values but sizes has {len(sizes)}")
    if labels is None:
        labels = _labels(counts)
    x = _whole_numbers(counts, "count", _core.LEAST_COUNT, labels)
    n = _whole_numbers(sizes, "size", _core.LEAST_SIZE, labels)
    bad = _core.first_bad_record(x, n)
    if bad is not None:
        position, fault, _ = bad
        if fault == "count_above_size":
            raise ValueError(f"count: {x[position]} at index {labels[position]!r} is above its "
                             f"size, {n[position]}; a count is at most its size")
        what, values, least = (("count", counts, _core.LEAST_COUNT)
                               if fault == "count_below_least"
                               else ("size", sizes, _core.LEAST_SIZE))
        _refuse(what, values, labels, position,
                f"is below {least}; it must be a whole number >= {least}")
    return x.astype(np.int32), n.astype(np.int32)


def _numbers(values, what, labels):
    """The values as float64; ValueError naming the first that is no
    number or missing, by its index label."""
    array = values.to_numpy() if hasattr(values, "to_numpy") else np.asarray(values)
    if array.ndim != 1:
        raise ValueError(f"{what} must be one-dimensional, not of shape {array.shape}")
    if array.dtype.kind == "b":
        raise ValueError(f"{what} are booleans; they must be numbers above 0")
    if array.dtype.kind in "iuf":
        # As the program reads the value's text: to the nearest double.
        array = array.astype(np.float64)
    else:
        numbers_only = np.empty(len(array), dtype=np.float64)
        for position, value in enumerate(array):
            if _is_missing(value):
                numbers_only[position] = math.nan
            elif isinstance(value, numbers.Real) and not isinstance(value, (bool, np.bool_)):
                numbers_only[position] = float(value)
            else:
                _refuse(what, values, labels, position, "is not a number above 0")
        array = numbers_only
    missing = np.isnan(array)
    if missing.any():
        _refuse(what, values, labels, _first(missing),
                "is missing; fill in the value or leave the row out")
    return array


def _rate_data(counts, expected, labels, what):
    """The counts as int32 (whole numbers >= 0) and the expected counts or
    exposures as float64 (above 0 and finite), refused (ValueError naming
    ``what`` the column is, the first bad row by its index label and its
    value) where propsmooth-report --model poisson refuses them."""
    if len(counts) != len(expected):
        raise ValueError(f"counts has {len(counts)} values but {what} has {len(expected)}")
    if labels is None:
        labels = _labels(counts)
    x = _whole_numbers(counts, "count", 0, labels)
    below = x < 0
    if below.any():
        _refuse("count", counts, labels, _first(below),
                "is below 0; it must be a whole number >= 0")
    e = _numbers(expected, what, labels)
    bad = ~(np.isfinite(e) & (e > 0.0))
    if bad.any():
        position = _first(bad)
        why = "is not above 0" if np.isfinite(e[position]) else "is not finite"
        _refuse(what, expected, labels, position, f"{why}; it must be a number above 0")
    return x.astype(np.int32), e


def _number(value, name, what, kind=numbers.Real):
    """``value`` when it is a Python or numpy number of ``kind`` (or a 0-d
    array of one); TypeError saying ``what`` it must be otherwise. A bool
    is no number here, nor a text that would convert to one: either is a
    mistaken argument rather than a choice."""
    if isinstance(value, np.ndarray) and value.shape == ():
        value = value[()]
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, kind):
        raise TypeError(f"{name} must be {what}, not {value!r} ({type(value).__name__})")
    return value


def _threads(threads):
    if threads is None:
        return 0
    what = "a whole number >= 1 or None"
    threads = int(_number(threads, "threads", what, numbers.Integral))
    if threads < 1:
        raise ValueError(f"threads must be {what}, not {threads!r}")
    return threads


def _start(value, name):
    if value is None:
        return None
    value = float(_number(value, name, "a number or None"))
    if math.isnan(value) or value == math.inf:
        raise ValueError(f"{name} must be a number below infinity, not {value!r}")
    return value


def _iterations(max_iter):
    what = "a whole number from -2147483648 to 2147483647"
    max_iter = int(_number(max_iter, "max_iter", what, numbers.Integral))
    if not -2**31 <= max_iter < 2**31:
        raise ValueError(f"max_iter must be {what}, not {max_iter!r}")
    return max_iter


def _fit_options(alpha, beta, eps, max_iter):
    eps = float(_number(eps, "eps", "a number"))
    if math.isnan(eps):
        raise ValueError("eps must be a number, not NaN")
    return dict(alpha=_start(alpha, "alpha"), beta=_start(beta, "beta"), eps=eps,
                max_iter=_iterations(max_iter))


def _check_rate_fit(sizes, safeguarded, name):
    """Refuses what fit's keywords for proportions ask of a fit of rates."""
    if sizes is not None:
        raise ValueError(f"give {name} (proportions) or expected (rates), not both")
    if safeguarded:
        raise ValueError("safeguarded is for proportions: the fit of rates always goes on "
                         "where Newton's steps fail")


def fit(counts, sizes=None, *, expected=None, alpha=None, beta=None, eps=1e-5, max_iter=20,
        safeguarded=False, threads=None, per=1.0):
    """Fits the beta prior of one group of regions, or with ``expected``
    the gamma prior of their rates.

    ``counts`` and ``sizes``: integer arrays or pandas Series of one length
    (floats are taken when whole), 0 <= count <= size and size >= 1.
    ``alpha``, ``beta``, ``eps`` and ``max_iter`` are propsmooth's -A, -B,
    -E and -L: the Newton-Raphson start (None: the moment estimators), the
    tolerance and the step limit. ``threads`` limits the cores one large
    group may use (None: all). Returns a FitResult.

    Rates: ``fit(counts, expected=E)``, each count observed against its
    expected count or person-time E (a number above 0 and finite), counts
    whole numbers >= 0. ``alpha`` and ``beta`` start the fit at that shape
    and rate (None: the moment estimators), ``max_iter`` limits its Newton
    steps; the fit is always the one that does not give up (``safeguarded``
    is for proportions). ``per`` shows the rates per that much person-time
    as --per does: mean times per, variance times per squared, the gamma
    rates beta_me, beta and se_beta over per. Returns a RateFitResult, as
    propsmooth-report --model poisson --summary has it for one group.
    """
    if expected is not None:
        _check_rate_fit(sizes, safeguarded, "sizes")
        _threads(threads)
        x, e = _rate_data(counts, expected, None, "expected")
        result = _core.rate_fit(x, e, **_fit_options(alpha, beta, eps, max_iter))
        result.pop("prior")
        per = _positive(per, "per", "a number above 0")
        # The summary's own operations, in its order, so the bits agree.
        result["mean"] = result["mean"] * per
        result["variance"] = result["variance"] * per * per
        for name in ("beta_me", "beta", "se_beta"):
            if result[name] is not None:
                result[name] = result[name] / per
        return RateFitResult(**result)
    if per != 1.0:
        raise TypeError("per is for rates: fit(counts, exposure, per=...) needs expected=")
    if sizes is None:
        raise TypeError("fit needs sizes (proportions: fit(counts, sizes)) or expected "
                        "(rates: fit(counts, expected=E))")
    x, n = _data(counts, sizes, None)
    result = _core.fit(x, n, safeguarded=bool(safeguarded), threads=_threads(threads),
                       **_fit_options(alpha, beta, eps, max_iter))
    return FitResult(**result)


def _probability(value, name):
    value = float(_number(value, name, "a number strictly between 0 and 1"))
    if not 0.0 < value < 1.0:
        raise ValueError(f"{name} must lie strictly between 0 and 1, not {value!r}")
    return value


def _positive(value, name, what):
    value = float(_number(value, name, what))
    if not (math.isfinite(value) and value > 0.0):
        raise ValueError(f"{name} must be {what}, not {value!r}")
    return value


@dataclasses.dataclass(frozen=True)
class _Model:
    """What the counts are measured against: sizes (proportions), or
    expected counts or exposures (rates, shown times ``per``)."""

    keyword: str  # smooth's keyword naming the column: size, expected or exposure
    column: object  # that column's name in the DataFrame
    per: float = 1.0

    @property
    def rates(self):
        return self.keyword != "size"

    @property
    def heading(self):
        """The result's fourth column."""
        return "n" if self.keyword == "size" else self.keyword

    def columns(self):
        return COLUMNS if not self.rates else \
            tuple(self.heading if name == "expected" else name for name in RATE_COLUMNS)


_PROPORTIONS = _Model("size", "n")


def _model(size, expected, exposure, per):
    """The model smooth's keywords ask for, checked."""
    if expected is not None and exposure is not None:
        raise ValueError("give expected (expected counts) or exposure (person-time), not both")
    rates_column = expected if expected is not None else exposure
    per = _positive(per, "per", "a number above 0 and finite")
    if rates_column is None:
        if per != 1.0:
            raise ValueError("per is for rates: name the expected counts with expected= or "
                             "the person-time with exposure=")
        return _Model("size", "n" if size is None else size)
    if size is not None:
        raise ValueError("size is for proportions: rates are counts against expected= or "
                         "exposure=, without size")
    return _Model("expected" if expected is not None else "exposure", rates_column, per)


def _smooth_options(threshold, level, fdr, alpha, beta, eps, max_iter, model=_PROPORTIONS):
    """smooth's options, checked before its rows are: a mistaken argument
    is refused at once. For rates the threshold is a rate in ``per``'s
    units, passed on per unit of E; with expected counts it is 1 unless
    given, as propsmooth-report has it."""
    if not model.rates:
        threshold = None if threshold is None else _probability(threshold, "threshold")
    elif threshold is not None:
        threshold = _positive(threshold, "threshold", "a rate above 0") / model.per
    elif model.keyword == "expected":
        threshold = 1.0
    return dict(threshold=threshold, level=_probability(level, "level"),
                fdr=_probability(fdr, "fdr"), **_fit_options(alpha, beta, eps, max_iter))


def _check_frame(df):
    import pandas as pd

    if isinstance(df, pd.DataFrame):
        return
    kind = type(df).__name__
    if type(df).__module__.partition(".")[0] == "dask":
        instead = "for a Dask DataFrame call propsmooth.dask.smooth"
    else:
        instead = ("put the counts and sizes into a DataFrame and name their columns, as in "
                   "smooth(pandas.DataFrame({'x': counts, 'n': sizes}), count='x', size='n')")
    raise TypeError(f"smooth takes a pandas DataFrame and the names of its columns, "
                    f"not a {kind}; {instead}")


def _check_columns(df, **columns):
    for name, column in columns.items():
        if column is None:
            continue
        if column not in df.columns:
            raise ValueError(f"{name}={column!r} is no column of the DataFrame; "
                             f"its columns are {list(df.columns)!r}")
        # A slice or a mask rather than a position: the name is not unique.
        found = df.columns.get_loc(column)
        if not isinstance(found, (int, np.integer)):
            raise ValueError(f"{name}={column!r} names {len(df.columns[found])} columns of the "
                             "DataFrame; rename or drop all but one")


def smooth(df, count="x", size=None, group=None, id=None, threshold=None, level=0.95,
           fdr=0.05, *, expected=None, exposure=None, per=1.0, alpha=None, beta=None, eps=1e-5,
           max_iter=20, threads=None, missing_group="refuse", neighbours=None):
    """The estimates of ``propsmooth-report --csv`` for the rows of ``df``.

    ``count`` and ``size`` name the columns of counts and sizes (None: "n");
    ``group``
    the column whose values form the groups, each with its own prior (None:
    one group of all rows); ``id`` a column copied to the result. Returns a
    new DataFrame with ``df``'s index and the columns of COLUMNS: group, id,
    x, n, raw, eb_me, eb, lower, upper (the equal-tailed ``level``
    interval), prior (how eb, lower and upper were found) and, with a
    ``threshold``, p_exceed, pep (the posterior probabilities above and at
    most the threshold), q_value and discovery (q_value at most ``fdr``).
    A missing value is NaN (None in prior, <NA> in discovery); the values
    are those of propsmooth-report on the same rows. ``alpha``, ``beta``,
    ``eps`` and ``max_iter`` are its -A, -B, -E and -L; ``threads`` limits
    the cores (None: all).

    A ``df`` that is no DataFrame, or an option of the wrong type (a text
    or a bool for a number, a float for a whole number; numpy's scalars
    are numbers), raises TypeError; a value out of range, a column name
    that is missing or names several columns, or a row of counts the
    program would refuse raises ValueError (naming the row's index label).

    A group value is missing when pandas counts it missing (None, NaN,
    <NA>) or it is the text "" or "NA" (blanks around it ignored), as
    propsmooth-report's --missing-group judges a cell. ``missing_group``
    says what becomes of such rows: "refuse" (a ValueError naming the first
    one's index label), "skip" (they are left out: the result has the
    other rows only, and their estimates are as if the skipped rows were
    not in ``df``) or "own-group" (they form one group of their own, their
    group values kept as they are).

    Rates, as ``propsmooth-report --model poisson --csv``: ``expected``
    names the column of expected counts, or ``exposure`` that of
    person-time (numbers above 0 and finite; counts whole numbers >= 0),
    each group with its own gamma prior. The result's columns are
    RATE_COLUMNS (the fourth named "exposure" with ``exposure``): raw is
    x/E and raw, eb_me, eb, lower and upper are shown times ``per`` (e.g.
    100000 for rates per 100,000); ``threshold`` is a rate in the same
    units, by default with ``expected`` a relative rate of 1 (whatever
    ``per``: the counts' own expected rate) and none with ``exposure``;
    p_exceed is the posterior probability of a rate above it.

    Maps: a geopandas GeoDataFrame gives a GeoDataFrame, the same columns
    with its geometry and CRS. ``neighbours`` adds SPATIAL_COLUMNS, as
    ``propsmooth-report --neighbours`` does: each region shrunk towards its
    neighbourhood (itself and its neighbours), whatever its group. "queen",
    "rook" or "knn:K" (K nearest centroids; great-circle distances for
    longitude and latitude) need a GeoDataFrame of polygons or
    multipolygons (a missing or empty geometry has no neighbour); the path
    of a GeoDa .gal or .gwt file joins by ``id`` and so needs it. ``id``
    names each row's region and may not repeat (without it, for polygons,
    the index labels name them). Regions without a neighbour and local
    variances set to 0 are warned of (SpatialWarning) and listed in the
    result's ``attrs["neighbours"]``.
    """
    _check_frame(df)
    model = _model(size, expected, exposure, per)
    _check_columns(df, count=count, **{model.keyword: model.column}, group=group, id=id)
    options = _smooth_options(threshold, level, fdr, alpha, beta, eps, max_iter, model)
    threads = _threads(threads)
    spatial = _geo.choice_of(neighbours, df, id)
    units = None
    if group is not None:
        df, units = _group_units(df, group, missing_group)
    labels = df.index
    if model.rates:
        x, n = _rate_data(df[count], df[model.column], labels, model.keyword)
        figures = _core.smooth_rates(x, n, units, threads=threads, **options)
        result = _result_frame(df, group, id, x, n, figures, model)
    else:
        x, n = _data(df[count], df[model.column], labels)
        figures = _core.smooth(x, n, units, threads=threads, **options)
        result = _result_frame(df, group, id, x, n, figures)
    notes = None
    if spatial is not None:
        columns, notes = _geo.spatial_columns(df, spatial, id, x, n, model.rates, model.per,
                                              options, threads)
        for name, values in columns.items():
            result[name] = values
    if _geo.geometry_of(df) is not None:
        result = _geo.geo_result(result, df)
    if notes is not None:
        result.attrs["neighbours"] = notes
    return result


_MISSING_GROUP_RULES = ("refuse", "skip", "own-group")


def _missing_groups(keys):
    """Where the group values ``keys`` (a Series) are missing: what pandas
    counts missing, and the texts "" and "NA", blanks around them ignored."""
    import pandas as pd

    missing = pd.isna(keys).to_numpy(dtype=bool)
    if keys.dtype == object or pd.api.types.is_string_dtype(keys.dtype):
        for position, value in enumerate(keys.to_numpy()):
            if isinstance(value, str) and value.strip(" \t") in ("", "NA"):
                missing[position] = True
    return missing


def _group_units(df, group, missing_group):
    """The rows of ``df`` to estimate and their group codes (int32, in the
    order the groups first appear), with missing groups dealt with as
    ``missing_group`` says."""
    import pandas as pd

    if missing_group not in _MISSING_GROUP_RULES:
        raise ValueError(f"missing_group must be one of {list(_MISSING_GROUP_RULES)!r}, "
                         f"not {missing_group!r}")
    keys = df[group]
    missing = _missing_groups(keys)
    if missing.any():
        if missing_group == "refuse":
            position = _first(missing)
            raise ValueError(f"group: {keys.iloc[position]!r} at index {df.index[position]!r} "
                             "is missing; every row needs a group (or pass "
                             "missing_group=\"skip\" or missing_group=\"own-group\")")
        if missing_group == "skip":
            df = df[~missing]
            keys = df[group]
            missing = np.zeros(len(df), dtype=bool)
    # Missing values as one value of their own, placed where the first one
    # stands, as propsmooth-report numbers its groups.
    stand_in = object()
    shown = keys.astype(object).where(~missing, stand_in) if missing.any() else keys
    codes, _ = pd.factorize(shown, sort=False, use_na_sentinel=True)
    return df, codes.astype(np.int32)


def _result_frame(df, group, id, x, n, figures, model=_PROPORTIONS):
    """smooth's DataFrame from the figures of _core.smooth or
    _core.smooth_rates (prior and discovery coded: -1 for none) for the
    rows of ``df``; ``n`` the sizes, or the expected values of rates."""
    import pandas as pd

    if model.per != 1.0:
        # As the program shows them: per times the rate, one rounding.
        figures = dict(figures)
        for name in ("raw", "eb_me", "eb", "lower", "upper"):
            figures[name] = model.per * figures[name]

    rows = len(df)
    empty = np.full(rows, np.nan)
    names = np.array(list(_core.PRIOR_NAMES) + [None], dtype=object)
    discovery = figures["discovery"]
    columns = {
        "group": df[group].to_numpy() if group is not None else empty,
        "id": df[id].to_numpy() if id is not None else empty.copy(),
        "x": x.astype(np.int64),
        model.heading: n.astype(np.float64 if model.rates else np.int64),
        "raw": figures["raw"],
        "eb_me": figures["eb_me"],
        "eb": figures["eb"],
        "lower": figures["lower"],
        "upper": figures["upper"],
        # Code -1 (no posterior) picks the last name, None.
        "prior": names[figures["prior"]],
        "p_exceed": figures["p_exceed"],
        "pep": figures["pep"],
        "q_value": figures["q_value"],
        "discovery": pd.array(np.where(discovery < 0, None, discovery == 1), dtype="boolean"),
    }
    return pd.DataFrame(columns, index=df.index.copy(), columns=list(model.columns()))
