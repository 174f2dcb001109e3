"""propsmooth for Dask DataFrames: data beyond one machine.

``smooth(ddf, ...)`` gives the Dask DataFrame of ``propsmooth.smooth``'s
columns and dtypes, with ``ddf``'s index and partitions, rows in their
order. ``fit(ddf, ...)`` fits one prior over all rows.

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

q-values are over all rows: with a ``threshold`` the PEPs are counted by
value over the whole table, and each distinct PEP's q-value computed once
from the ascending running sums, as on one machine. That stage computes the
estimates when ``smooth`` is called and keeps them on the cluster
(``persist``); without a threshold the result is wholly lazy.

Dask is imported when these functions are called, not with propsmooth.
"""

from __future__ import annotations

import numpy as np

from . import _check_columns, _core, _data, _fit_options, _probability, _result_frame
from . import FitResult, smooth as _smooth_frame

__all__ = ["fit", "smooth"]

# Helper columns, named so as not to meet a user's.
_POSITION = "__propsmooth_position"
_INDEX = "__propsmooth_index"
# A row's position: its partition's number times 2**40 plus its place in
# the partition, which orders the rows as the table does without a pass to
# count them.
_PARTITION_SHIFT = 40


def _statistics(part, count, size):
    x, n = _data(part[count], part[size], part.index)
    return _core.sufficient_statistics(x, n)


def _merge(a, b):
    # A module function, which pickles by name; the compiled one does not.
    return _core.merge_sufficient_statistics(a, b)


def _merged_statistics(ddf, count, size):
    import dask

    parts = [dask.delayed(_statistics)(part, count, size)
             for part in ddf[[count, size]].to_delayed()]
    # A tree of pairwise merges: no worker holds more than two partitions'
    # histograms at once.
    while len(parts) > 1:
        merged = [dask.delayed(_merge)(a, b)
                  for a, b in zip(parts[0::2], parts[1::2])]
        parts = merged + (parts[-1:] if len(parts) % 2 else [])
    (statistics,) = dask.compute(parts[0])
    return statistics


def _fit_statistics(ddf, count, size, alpha, beta, eps, max_iter, safeguarded):
    _check_columns(ddf, count=count, size=size)
    statistics = _merged_statistics(ddf, count, size)
    return _core.fit_sufficient_statistics(statistics, safeguarded=safeguarded,
                                           **_fit_options(alpha, beta, eps, max_iter))


def fit(ddf, count="x", size="n", *, alpha=None, beta=None, eps=1e-5, max_iter=20,
        safeguarded=False):
    """``propsmooth.fit`` of all rows of ``ddf``, from per-partition
    sufficient statistics: a FitResult. Computes at once."""
    result = _fit_statistics(ddf, count, size, alpha, beta, eps, max_iter, bool(safeguarded))
    result.pop("prior")
    return FitResult(**result)


def _columns(*names):
    return list(dict.fromkeys(name for name in names if name is not None))


def _with_position(part, partition_info=None):
    number = 0 if partition_info is None else partition_info["number"]
    first = number << _PARTITION_SHIFT
    return part.assign(**{_POSITION: np.arange(first, first + len(part), dtype=np.int64),
                          _INDEX: part.index.to_numpy()})


def _smooth_groups(part, count, size, group, id, options):
    """One shuffled partition: whole groups, each sorted into table order
    and estimated as propsmooth.smooth estimates it."""
    part = part.sort_values(_POSITION, kind="stable")
    rows = part.set_index(_INDEX)
    rows.index.name = None
    result = _smooth_frame(rows, count=count, size=size, group=group, id=id, threads=1,
                           **options)
    return result.assign(**{_POSITION: part[_POSITION].to_numpy(),
                            _INDEX: part[_INDEX].to_numpy()})


def _apply_prior(part, count, size, id, prior, level, threshold):
    x, n = _data(part[count], part[size], part.index)
    figures = _core.apply_prior(x, n, prior, level=level, threshold=threshold)
    code = list(_core.PRIOR_NAMES).index(figures["prior_name"]) \
        if figures["prior_name"] in _core.PRIOR_NAMES else -1
    figures["prior"] = np.where(figures["named"], code, -1).astype(np.int8)
    figures["q_value"] = np.full(len(part), np.nan)
    figures["discovery"] = np.full(len(part), -1, dtype=np.int8)
    return _result_frame(part, None, id, x, n, figures)


def _pep_table(ddf):
    """The distinct finite PEPs of all rows, ascending, and each one's
    q-value: the running mean of the PEPs at most it."""
    import dask

    def counted(part):
        pep = part["pep"].to_numpy()
        values, rows = np.unique(pep[np.isfinite(pep)], return_counts=True)
        return values, rows.astype(np.int64)

    def merged(a, b):
        values = np.concatenate([a[0], b[0]])
        rows = np.concatenate([a[1], b[1]])
        distinct, where = np.unique(values, return_inverse=True)
        return distinct, np.bincount(where, weights=rows, minlength=len(distinct)).astype(np.int64)

    parts = [dask.delayed(counted)(part) for part in ddf[["pep"]].to_delayed()]
    while len(parts) > 1:
        pairs = [dask.delayed(merged)(a, b) for a, b in zip(parts[0::2], parts[1::2])]
        parts = pairs + (parts[-1:] if len(parts) % 2 else [])
    ((values, rows),) = dask.compute(parts[0])
    return values, _core.q_values_of_distinct(values, rows)


def _fill_q_values(part, values, q_values, fdr):
    import pandas as pd

    pep = part["pep"].to_numpy()
    finite = np.isfinite(pep)
    q = np.full(len(part), np.nan)
    q[finite] = q_values[np.searchsorted(values, pep[finite])]
    return part.assign(q_value=q, discovery=pd.array(np.where(finite, q <= fdr, None),
                                                     dtype="boolean"))


def _with_q_values(result, threshold, fdr):
    import dask

    if threshold is None:
        return result
    # The PEPs are read twice (counted, then given their q-values): keep
    # the estimates on the cluster rather than compute them twice.
    result = result.persist()
    values, q_values = _pep_table(result)
    return result.map_partitions(_fill_q_values, dask.delayed(values),
                                 dask.delayed(q_values), fdr, meta=result._meta)


def smooth(ddf, count="x", size="n", group=None, id=None, threshold=None, level=0.95,
           fdr=0.05, *, alpha=None, beta=None, eps=1e-5, max_iter=20):
    """``propsmooth.smooth`` for a Dask DataFrame: a Dask DataFrame of the
    same columns and dtypes, ``ddf``'s index, partitions and row order.

    With ``group`` each group is estimated on one worker, bit for bit as
    ``propsmooth.smooth`` estimates it (a group must fit in one worker's
    memory); without, one prior is fitted from per-partition statistics and
    agrees with the one-machine fit to about 1e-12 relative (1e-10 over
    millions of rows). The arguments
    are ``propsmooth.smooth``'s; each worker runs one thread per task. A
    refused value raises ValueError when the rows are read, naming its
    index label.
    """
    _check_columns(ddf, count=count, size=size, group=group, id=id)
    for column in (_POSITION, _INDEX):
        if column in ddf.columns:
            raise ValueError(f"the column name {column!r} is propsmooth's own; rename it")
    level = _probability(level, "level")
    fdr = _probability(fdr, "fdr")
    threshold = None if threshold is None else _probability(threshold, "threshold")
    fit_options = _fit_options(alpha, beta, eps, max_iter)
    if group is None:
        prior = _fit_statistics(ddf, count, size, alpha, beta, eps, max_iter, False)["prior"]
        rows = ddf[_columns(count, size, id)]
        meta = _apply_prior(rows._meta, count, size, id, prior, level, threshold)
        result = rows.map_partitions(_apply_prior, count, size, id, prior, level, threshold,
                                     meta=meta)
        return _with_q_values(result, threshold, fdr)

    options = dict(threshold=threshold, level=level, fdr=fdr, **fit_options)
    rows = ddf[_columns(count, size, group, id)]
    rows = rows.map_partitions(_with_position, meta=_with_position(rows._meta))
    meta = _smooth_groups(rows._meta, count, size, group, id, options)
    estimated = rows.shuffle(on=group, npartitions=ddf.npartitions).map_partitions(
        _smooth_groups, count, size, group, id, options, meta=meta)
    estimated = _with_q_values(estimated, threshold, fdr)
    # Back to the table's partitions and order: partition k holds the
    # positions from k * 2**40 on.
    last = ddf.npartitions - 1
    divisions = [k << _PARTITION_SHIFT for k in range(ddf.npartitions)]
    divisions.append((last << _PARTITION_SHIFT) + (1 << _PARTITION_SHIFT) - 1)
    ordered = estimated.set_index(_POSITION, divisions=divisions)
    index_name = ddf.index.name

    def restore_index(part):
        part = part.set_index(_INDEX)
        part.index.name = index_name
        return part

    return ordered.map_partitions(restore_index, meta=restore_index(ordered._meta))
