"""smooth's spatial part: neighbours= and GeoDataFrames.

The neighbour lists and the local estimates come from the same C++ code as
propsmooth-report --neighbours; here the polygons are only unpacked into
flat coordinate arrays and the rows named by their index labels.
"""

from __future__ import annotations

import dataclasses
import math
import numbers
import os
import sys
import warnings

import numpy as np

from . import _core

#: The columns neighbours= adds, after the threshold's, as the CSV table has them.
SPATIAL_COLUMNS = ("neighbours", "local_eb_me", "local_eb", "local_lower", "local_upper",
                   "local_prior")

# Ids named in a warning or a message before "and N more", as the console does.
_IDS_SHOWN = 20


class SpatialWarning(UserWarning):
    """Regions without a neighbour, local moment variances set to 0, or
    regions of a neighbour file without a row."""


def is_geo_frame(df):
    """Whether ``df`` is a GeoDataFrame; geopandas is never imported here,
    so that a plain DataFrame does not need it."""
    geopandas = sys.modules.get("geopandas")
    return geopandas is not None and isinstance(df, geopandas.GeoDataFrame)


def geometry_of(df):
    """The active geometry column of a GeoDataFrame, else None."""
    if not is_geo_frame(df):
        return None
    try:
        return df.geometry
    except AttributeError:
        # A GeoDataFrame may have no active geometry column.
        return None


@dataclasses.dataclass(frozen=True)
class Choice:
    """neighbours= as read by the program's own rule."""

    text: str
    kind: str  # queen, rook, knn, gal, gwt
    k: int
    file_name: str

    @property
    def from_file(self):
        return self.kind in ("gal", "gwt")


def choice_of(neighbours, df, id):
    """neighbours= checked against the frame before any row is read: None
    for none; TypeError for what is no text or path, ValueError for a
    choice the program refuses, for contiguity or knn without polygons, and
    for a neighbour file without ``id``."""
    if neighbours is None:
        return None
    if not isinstance(neighbours, (str, os.PathLike)):
        raise TypeError(f"neighbours must be \"queen\", \"rook\", \"knn:K\" or the path of a "
                        f".gal or .gwt file, not {neighbours!r} ({type(neighbours).__name__})")
    text = os.fspath(neighbours)
    if not isinstance(text, str):
        raise TypeError(f"neighbours must be a text path, not {text!r}")
    kind, k, file_name = _core.parse_neighbours(text)
    choice = Choice(text, kind, k, file_name)
    if choice.from_file:
        if id is None:
            raise ValueError(f"neighbours={text!r} joins the rows to the file's regions by id: "
                             "name the id column with id=")
        return choice
    if geometry_of(df) is None:
        what = ("a GeoDataFrame without an active geometry column (set one with set_geometry)"
                if is_geo_frame(df) else f"a {type(df).__name__}")
        raise ValueError(f"neighbours={text!r} needs the regions' polygons: pass a "
                         f"geopandas GeoDataFrame, not {what}; or give a .gal or .gwt file "
                         "with id=")
    return choice


def _id_text(value):
    """An id as the program's tables spell it: a whole number stored as a
    real (37009.0) is "37009", as a GIS file's real ids join."""
    if isinstance(value, (bool, np.bool_)):
        return str(value)
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        value = float(value)
        if math.isfinite(value) and value == math.floor(value):
            return str(int(value))
        return repr(value)
    return str(value)


def region_names(df, id):
    """Each row's region as text: its id (ValueError for a missing one or
    one that repeats, as the program refuses them), else its index label."""
    from . import _is_missing

    if id is None:
        return [str(label) for label in df.index]
    names = []
    first = {}
    for label, value in zip(df.index, df[id].to_numpy()):
        if _is_missing(value):
            raise ValueError(f"id: {value!r} at index {label!r} is missing; neighbours= joins "
                             "each row to its region by id")
        name = _id_text(value)
        if name in first:
            raise ValueError(f"neighbours= needs one row per region, and id {name} repeats "
                             f"(at index {first[name]!r} and {label!r})")
        first[name] = label
        names.append(name)
    return names


def _id_list(ids):
    shown = ", ".join(str(i) for i in ids[:_IDS_SHOWN])
    if len(ids) > _IDS_SHOWN:
        shown += f" and {len(ids) - _IDS_SHOWN} more"
    return shown


def _shape_arrays(geometry, labels):
    """The polygons of every row as flat arrays: xs, ys, and the cumulative
    ends of the rings (in points), polygons (in rings) and rows (in
    polygons). A missing or empty geometry is a region without a polygon,
    as the program reads a feature without one; anything but a polygon or
    a multipolygon is refused, naming the row."""
    xs, ys = [], []
    ring_ends, polygon_ends, region_ends = [], [], []
    points = 0
    for position, shape in enumerate(geometry):
        if shape is not None and not shape.is_empty:
            kind = shape.geom_type
            if kind == "Polygon":
                parts = [shape]
            elif kind == "MultiPolygon":
                parts = list(shape.geoms)
            else:
                raise ValueError(f"geometry at index {labels[position]!r} is a {kind}, not a "
                                 "polygon: the regions must be polygons or multipolygons")
            for polygon in parts:
                if polygon.is_empty:
                    continue
                for ring in (polygon.exterior, *polygon.interiors):
                    coords = np.asarray(ring.coords, dtype=np.float64)
                    if coords.size:
                        xs.append(coords[:, 0])
                        ys.append(coords[:, 1])
                        points += len(coords)
                    ring_ends.append(points)
                polygon_ends.append(len(ring_ends))
        region_ends.append(len(polygon_ends))
    empty = np.empty(0, dtype=np.float64)
    return (np.ascontiguousarray(np.concatenate(xs) if xs else empty),
            np.ascontiguousarray(np.concatenate(ys) if ys else empty),
            np.asarray(ring_ends, dtype=np.int64), np.asarray(polygon_ends, dtype=np.int64),
            np.asarray(region_ends, dtype=np.int64))


def _geographic(df):
    """Whether the layer's coordinates are longitude and latitude, as the
    program asks of a file's spatial reference; no CRS: planar."""
    crs = getattr(df, "crs", None)
    return bool(crs is not None and crs.is_geographic)


@dataclasses.dataclass
class _Lists:
    offsets: np.ndarray
    positions: np.ndarray
    unmatched: list


def _lists(df, choice, names):
    labels = df.index
    if choice.from_file:
        with open(choice.file_name, "rb") as file:
            text = file.read()
        offsets, positions, absent, unknown = _core.read_neighbour_file(
            text, choice.file_name, names, gwt=choice.kind == "gwt")
        # A GWT file cannot list a region without neighbours: those are islands.
        if choice.kind == "gal" and absent:
            raise ValueError(f"{choice.file_name} has no entry for {len(absent)} rows: ids "
                             f"{_id_list([names[i] for i in absent])}")
        return _Lists(offsets, positions, list(unknown))
    shapes = _shape_arrays(df.geometry, labels)
    if choice.kind in ("queen", "rook"):
        offsets, positions = _core.contiguity(*shapes, names, rook=choice.kind == "rook")
        return _Lists(offsets, positions, [])
    x, y = _core.centroids(*shapes, names)
    unplaced = ~(np.isfinite(x) & np.isfinite(y))
    if unplaced.any():
        position = int(np.flatnonzero(unplaced)[0])
        raise ValueError(f"geometry at index {labels[position]!r} has no point, so no "
                         f"centroid: neighbours={choice.text!r} needs every region's; drop "
                         "the row or give it its polygon")
    offsets, positions = _core.nearest(x, y, k=choice.k, geographic=_geographic(df))
    return _Lists(offsets, positions, [])


def spatial_columns(df, choice, id, x, sizes, rates, per, options, threads):
    """The spatial columns of the rows of ``df`` (counts ``x`` against
    ``sizes``, or expected values when ``rates``), local rates times
    ``per``, and what the program's console says of them: warned of as
    SpatialWarning and returned as a dict for the result's attrs."""
    names = region_names(df, id)
    lists = _lists(df, choice, names)
    fit = dict(level=options["level"], alpha=options["alpha"], beta=options["beta"],
               eps=options["eps"], max_iter=options["max_iter"], threads=threads)
    estimate = _core.spatial_rates if rates else _core.spatial
    figures = estimate(x, sizes, lists.offsets, lists.positions, **fit)
    columns = {"neighbours": figures["neighbours"]}
    for name in ("local_eb_me", "local_eb", "local_lower", "local_upper"):
        # As the program shows them: per times the rate, one rounding.
        columns[name] = per * figures[name] if per != 1.0 else figures[name]
    columns["local_prior"] = np.array(figures["local_prior"], dtype=object)
    islands = [names[i] for i in figures["islands"]]
    notes = {"islands": islands, "clamped": figures["clamped"],
             "small_neighbourhoods": figures["small_neighbourhoods"],
             "unmatched": lists.unmatched}
    if islands:
        warnings.warn(f"neighbours={choice.text!r}: {len(islands)} regions have no neighbour "
                      f"(islands): {_id_list(islands)}; each is its own neighbourhood",
                      SpatialWarning, stacklevel=3)
    if lists.unmatched:
        warnings.warn(f"{choice.file_name}: {len(lists.unmatched)} regions without a row, left "
                      f"out: {_id_list(lists.unmatched)}", SpatialWarning, stacklevel=3)
    if figures["clamped"]:
        warnings.warn(f"local moment variance below 0 and set to 0 in {figures['clamped']} "
                      "neighbourhoods", SpatialWarning, stacklevel=3)
    return columns, notes


def geo_result(result, df):
    """``result`` as a GeoDataFrame with the geometry and CRS of ``df``'s
    rows, under the name of its geometry column."""
    import geopandas

    geometry = geometry_of(df)
    name = geometry.name
    if name in result.columns:
        raise ValueError(f"the geometry column {name!r} takes the name of a result column; "
                         "rename it (rename_geometry) first")
    frame = result.copy()
    frame[name] = geometry.values
    return geopandas.GeoDataFrame(frame, geometry=name, crs=geometry.crs)
