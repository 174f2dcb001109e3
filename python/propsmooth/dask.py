"""propsmooth for Dask DataFrames: data beyond one machine.

``smooth(ddf, ...)`` gives the Dask DataFrame of ``propsmooth.smooth``'s
columns and dtypes, with ``ddf``'s index, partitions and divisions, rows in
their order. ``fit(ddf, ...)`` fits one prior over all rows.

With a ``group`` key the rows are shuffled on it, every group sorted back
into its rows' order and estimated by ``propsmooth.smooth`` on one worker:
each group's figures are, bit for bit, those of ``propsmooth.smooth`` on the
whole table. A group must therefore fit in one worker's memory (a group
of 10 million rows takes about 2 GB there); the table itself need not.

Without a key one prior covers all rows. Each partition is reduced to the
histograms of its counts, sizes and size minus count, the count, mean
and M2 of its raw proportions and whether they are all one fraction (its
first x and n); these are merged (Chan's formula for the moments) and the
prior fitted once, then applied to every partition. The
fit's sums run in another order than over the rows, so the prior agrees
with the one-machine fit to about 1e-12 relative on thousands of rows, not
bit for bit; on millions to about 1e-10, where the one-machine fit's sums
over the rows in order drift (these sums stay nearer the exact optimum).

Rates (``expected=`` or ``exposure=``, as ``propsmooth.smooth`` takes
them) are bit for bit ``propsmooth.smooth``'s, grouped or not. Without a
key the gamma prior's fit needs more than counts by value and sums: its
likelihood holds a term for every (x, E) pair and its sums, as the moment
estimators', run over the regions in the table's order, so any summary
that forgets that order changes the last bits. Each partition therefore
gives its (x, E) pairs (12 bytes a row), joined in order on one worker for
the one fit; the estimates are made partition by partition.

q-values are over all rows: with a ``threshold`` the PEPs are counted by
value over the whole table, and each distinct PEP's q-value computed once
from the ascending running sums, as on one machine.

``smooth`` checks its arguments and builds the task graph, nothing more:
the rows are read and estimated when the result is computed, each
partition once per computation (its estimates wait in the cluster's memory
for the q-values of the whole table when there is a ``threshold``, and its
rows for the prior when there is no ``group``). ``fit`` computes at once.
Any scheduler runs it: a distributed cluster of processes or of threads
(``Client(processes=False)``), the threaded or the synchronous one.
An empty table gives an empty result, as ``propsmooth.smooth`` does.

Dask is imported when these functions are called, not with propsmooth.
"""

from __future__ import annotations

import numpy as np

from . import _check_columns, _check_rate_fit, _core, _data, _fit_options, _model, _rate_data
from . import _result_frame, _smooth_options
from . import FitResult, RateFitResult, smooth as _smooth_frame

__all__ = ["fit", "smooth"]

# Helper columns, named so as not to meet a user's.
_POSITION = "__propsmooth_position"
_INDEX = "__propsmooth_index"
# A row's position: its partition's number times 2**40 plus its place in
# the partition, which orders the rows as the table does without a pass to
# count them.
_PARTITION_SHIFT = 40


def _check_dask_frame(ddf, function):
    import dask.dataframe as dd

    if not isinstance(ddf, dd.DataFrame):
        raise TypeError(f"propsmooth.dask.{function} takes a Dask DataFrame and the names of "
                        f"its columns, not a {type(ddf).__name__}; for a pandas DataFrame use "
                        f"propsmooth.{function} or dask.dataframe.from_pandas")


def _partitions(ddf, columns):
    """The partitions of ``ddf[columns]`` in order, as delayed pandas frames.

    Every stage works on these rather than on ``map_partitions``: an
    in-process distributed client (``processes=False``) hands the
    arguments that Dask's blockwise layers ship with their tasks
    (``partition_info``, ``read_csv``'s blocks) to the function still
    wrapped for transport (dask/dask#8012), while the optimised graph of
    ``to_delayed`` holds plain tasks.
    """
    return ddf[columns].to_delayed()


def _reduced(parts, merge):
    """``parts`` merged pairwise in a tree, a delayed value: no task holds
    more than two partitions' summaries at once."""
    import dask

    while len(parts) > 1:
        merged = [dask.delayed(merge)(a, b) for a, b in zip(parts[0::2], parts[1::2])]
        parts = merged + (parts[-1:] if len(parts) % 2 else [])
    return parts[0]


def _statistics(part, count, size):
    x, n = _data(part[count], part[size], part.index)
    return _core.sufficient_statistics(x, n)


def _merge(a, b):
    # A module function, which pickles by name; the compiled one does not.
    return _core.merge_sufficient_statistics(a, b)


def _merged_statistics(parts, count, size):
    """The sufficient statistics of the rows of all ``parts``, a delayed
    value."""
    import dask

    return _reduced([dask.delayed(_statistics)(part, count, size) for part in parts], _merge)


def _rate_rows(part, count, model):
    return _rate_data(part[count], part[model.column], part.index, model.keyword)


def _joined_rows(*parts):
    """The rows of all partitions in the table's order: the counts and
    the expected values."""
    return (np.concatenate([part[0] for part in parts]),
            np.concatenate([part[1] for part in parts]))


def _all_rate_rows(parts, count, model):
    """Every (count, expected) pair of the table in its order, a delayed
    value: the gamma prior's fit sums over the regions in their order, so
    that only the pairs themselves, in order, give its doubles exactly."""
    import dask

    return dask.delayed(_joined_rows)(*[dask.delayed(_rate_rows)(part, count, model)
                                        for part in parts])


def fit(ddf, count="x", size=None, *, expected=None, alpha=None, beta=None, eps=1e-5,
        max_iter=20, safeguarded=False):
    """``propsmooth.fit`` of all rows of ``ddf``: a FitResult from
    per-partition sufficient statistics, or with ``expected`` (the column
    of expected counts or person-time) a RateFitResult, bit for bit
    ``propsmooth.fit``'s. Computes at once."""
    import dask

    _check_dask_frame(ddf, "fit")
    options = _fit_options(alpha, beta, eps, max_iter)
    if expected is not None:
        _check_rate_fit(size, safeguarded, "size")
        model = _model(None, expected, None, 1.0)
        _check_columns(ddf, count=count, expected=expected)
        (rows,) = dask.compute(_all_rate_rows(_partitions(ddf, _columns(count, expected)),
                                              count, model))
        result = _core.rate_fit(*rows, **options)
        result.pop("prior")
        return RateFitResult(**result)
    size = "n" if size is None else size
    _check_columns(ddf, count=count, size=size)
    (statistics,) = dask.compute(_merged_statistics(_partitions(ddf, [count, size]), count,
                                                    size))
    result = _core.fit_sufficient_statistics(statistics, safeguarded=bool(safeguarded),
                                             **options)
    result.pop("prior")
    return FitResult(**result)


def _columns(*names):
    return list(dict.fromkeys(name for name in names if name is not None))


def _fitted_prior(statistics, fit_options):
    """The prior of all rows; None for a table without rows, whose
    partitions are all empty."""
    if statistics["count"] == 0:
        return None
    return _core.fit_sufficient_statistics(statistics, safeguarded=False, **fit_options)["prior"]


def _fitted_rate_prior(rows, fit_options):
    """The gamma prior of all rows; None for a table without rows."""
    if len(rows[0]) == 0:
        return None
    return _core.rate_fit(*rows, **fit_options)["prior"]


def _apply_rate_prior(part, count, model, id, prior, options, keywords):
    if prior is None:
        return _smooth_frame(part, **keywords)
    x, e = _rate_rows(part, count, model)
    figures = _core.apply_rate_prior(x, e, prior, level=options["level"],
                                     threshold=options["threshold"])
    return _result_frame(part, None, id, x, e, figures, model)


def _apply_prior(part, count, size, id, prior, options):
    if prior is None:
        return _smooth_frame(part, count=count, size=size, id=id, threads=1, **options)
    x, n = _data(part[count], part[size], part.index)
    figures = _core.apply_prior(x, n, prior, level=options["level"],
                                threshold=options["threshold"])
    code = list(_core.PRIOR_NAMES).index(figures["prior_name"]) \
        if figures["prior_name"] in _core.PRIOR_NAMES else -1
    figures["prior"] = np.where(figures["named"], code, -1).astype(np.int8)
    figures["q_value"] = np.full(len(part), np.nan)
    figures["discovery"] = np.full(len(part), -1, dtype=np.int8)
    return _result_frame(part, None, id, x, n, figures)


def _pep_counts(part):
    """The distinct finite PEPs of a partition, ascending, and how many
    rows have each."""
    pep = part["pep"].to_numpy()
    values, rows = np.unique(pep[np.isfinite(pep)], return_counts=True)
    return values, rows.astype(np.int64)


def _merge_pep_counts(a, b):
    values = np.concatenate([a[0], b[0]])
    rows = np.concatenate([a[1], b[1]])
    distinct, where = np.unique(values, return_inverse=True)
    return distinct, np.bincount(where, weights=rows, minlength=len(distinct)).astype(np.int64)


def _pep_table(counts):
    """Each distinct PEP of the table and its q-value: the running mean of
    the PEPs at most it."""
    values, rows = counts
    return values, _core.q_values_of_distinct(values, rows)


def _fill_q_values(part, table, fdr):
    import pandas as pd

    values, q_values = table
    pep = part["pep"].to_numpy()
    finite = np.isfinite(pep)
    q = np.full(len(part), np.nan)
    q[finite] = q_values[np.searchsorted(values, pep[finite])]
    return part.assign(q_value=q, discovery=pd.array(np.where(finite, q <= fdr, None),
                                                     dtype="boolean"))


def _with_q_values(estimated, threshold, fdr):
    """The delayed estimated partitions with the q-values of the whole
    table (none without a threshold). Both the count of the PEPs and their
    filling in read the same estimated partitions, which a computation
    therefore estimates once."""
    import dask

    if threshold is None:
        return estimated
    counts = _reduced([dask.delayed(_pep_counts)(part) for part in estimated],
                      _merge_pep_counts)
    table = dask.delayed(_pep_table)(counts)
    return [dask.delayed(_fill_q_values)(part, table, fdr) for part in estimated]


def _with_position(part, number):
    first = number << _PARTITION_SHIFT
    return part.assign(**{_POSITION: np.arange(first, first + len(part), dtype=np.int64),
                          _INDEX: part.index.to_numpy()})


def _smooth_groups(part, keywords):
    """One shuffled partition: whole groups, each sorted into table order
    and estimated as propsmooth.smooth estimates it (with ``keywords``)."""
    part = part.sort_values(_POSITION, kind="stable")
    rows = part.set_index(_INDEX)
    rows.index.name = None
    result = _smooth_frame(rows, **keywords)
    return result.assign(**{_POSITION: part[_POSITION].to_numpy(),
                            _INDEX: part[_INDEX].to_numpy()})


def _restore_index(part, name):
    part = part.set_index(_INDEX)
    part.index.name = name
    return part


def _estimate_groups(ddf, columns, group, keywords, options):
    """The delayed estimates of each of ``ddf``'s partitions, its rows in
    their order, with a ``group``."""
    import dask
    import dask.dataframe as dd

    rows = [dask.delayed(_with_position)(part, number)
            for number, part in enumerate(_partitions(ddf, columns))]
    meta = _with_position(ddf._meta[columns], 0)
    # Shuffles by tasks: the default when no distributed client is the
    # default scheduler, through files in a local folder, does not hold
    # when the graph is computed on a cluster after all.
    shuffled = dd.from_delayed(rows, meta=meta).shuffle(on=group, npartitions=ddf.npartitions,
                                                        shuffle="tasks")
    estimated = [dask.delayed(_smooth_groups)(part, keywords) for part in shuffled.to_delayed()]
    estimated = _with_q_values(estimated, options["threshold"], options["fdr"])
    # Back to the table's partitions and order: partition k holds the
    # positions from k * 2**40 on.
    last = ddf.npartitions - 1
    divisions = [k << _PARTITION_SHIFT for k in range(ddf.npartitions)]
    divisions.append((last << _PARTITION_SHIFT) + (1 << _PARTITION_SHIFT) - 1)
    ordered = dd.from_delayed(estimated, meta=_smooth_groups(meta, keywords))
    ordered = ordered.set_index(_POSITION, divisions=divisions, shuffle="tasks")
    return [dask.delayed(_restore_index)(part, ddf.index.name) for part in ordered.to_delayed()]


def smooth(ddf, count="x", size=None, group=None, id=None, threshold=None, level=0.95,
           fdr=0.05, *, expected=None, exposure=None, per=1.0, alpha=None, beta=None, eps=1e-5,
           max_iter=20):
    """``propsmooth.smooth`` for a Dask DataFrame: a Dask DataFrame of the
    same columns and dtypes, ``ddf``'s index, partitions, divisions and row
    order. Nothing is computed until the result is.

    With ``group`` each group is estimated on one worker, bit for bit as
    ``propsmooth.smooth`` estimates it (a group must fit in one worker's
    memory); without, one prior is fitted from per-partition statistics and
    agrees with the one-machine fit to about 1e-12 relative (1e-10 over
    millions of rows). The arguments
    are ``propsmooth.smooth``'s and are checked at once; each worker runs
    one thread per task. A refused value in the rows raises ValueError when
    the result is computed, naming its index label.

    Rates (``expected`` or ``exposure``, with ``per``): the columns of
    ``propsmooth.smooth`` for rates, bit for bit its figures on the whole
    table, grouped or not. Without ``group`` the table's (count, expected)
    pairs, 12 bytes a row, are gathered in order on one worker for the
    prior's fit, whose sums run over the regions in their order; the
    estimates are then made partition by partition.
    """
    import dask
    import dask.dataframe as dd

    _check_dask_frame(ddf, "smooth")
    model = _model(size, expected, exposure, per)
    _check_columns(ddf, count=count, **{model.keyword: model.column}, group=group, id=id)
    for column in (_POSITION, _INDEX):
        if column in ddf.columns:
            raise ValueError(f"the column name {column!r} is propsmooth's own; rename it")
    options = _smooth_options(threshold, level, fdr, alpha, beta, eps, max_iter, model)
    columns = _columns(count, model.column, group, id)
    # propsmooth.smooth's keywords as given (they passed its checks above),
    # for every call of it on part of the table.
    keywords = dict(count=count, group=group, id=id, threshold=threshold, level=level, fdr=fdr,
                    alpha=alpha, beta=beta, eps=eps, max_iter=max_iter, threads=1,
                    **{model.keyword: model.column})
    if model.rates:
        keywords["per"] = per
    # The local call on no rows: the columns and dtypes of every partition.
    meta = _smooth_frame(ddf._meta[columns], **keywords)
    if group is None and model.rates:
        parts = _partitions(ddf, columns)
        fit_options = {name: options[name] for name in ("alpha", "beta", "eps", "max_iter")}
        prior = dask.delayed(_fitted_rate_prior)(_all_rate_rows(parts, count, model),
                                                 fit_options)
        estimated = _with_q_values(
            [dask.delayed(_apply_rate_prior)(part, count, model, id, prior, options, keywords)
             for part in parts],
            options["threshold"], options["fdr"])
    elif group is None:
        size = model.column
        # One read of each partition serves both the prior's statistics
        # and its estimates.
        parts = _partitions(ddf, columns)
        fit_options = {name: options[name] for name in ("alpha", "beta", "eps", "max_iter")}
        prior = dask.delayed(_fitted_prior)(_merged_statistics(parts, count, size), fit_options)
        estimated = _with_q_values(
            [dask.delayed(_apply_prior)(part, count, size, id, prior, options) for part in parts],
            options["threshold"], options["fdr"])
    else:
        estimated = _estimate_groups(ddf, columns, group, keywords, options)
    return dd.from_delayed(estimated, meta=meta, divisions=ddf.divisions)
