"""GeoDataFrames and neighbours=: smooth against propsmooth-report
--neighbours on North Carolina's counties (every column bit for bit), the
neighbours of hand-drawn shapes with holes and multipolygons, and what it
refuses."""

import pathlib
import re
import subprocess
import warnings

import numpy as np
import pandas as pd
import pytest

gpd = pytest.importorskip("geopandas")
shapely_geometry = pytest.importorskip("shapely.geometry")

import propsmooth  # noqa: E402
from conftest import FIGURES, run  # noqa: E402

NC = pathlib.Path("/usr/lib/R/site-library/sf/shape/nc.shp")
LOCAL_FIGURES = ("local_eb_me", "local_eb", "local_lower", "local_upper")


@pytest.fixture(scope="module")
def gis_report(report):
    """propsmooth-report when it reads GIS files (GDAL), else skip."""
    if not NC.exists():
        pytest.skip(f"{NC} is missing (Debian: r-cran-sf)")
    shown = subprocess.run([report, "--help"], capture_output=True, text=True).stdout
    if "needs GDAL" in shown:
        pytest.skip("propsmooth-report was built without GDAL")
    return report


def nc_counties():
    frame = gpd.read_file(NC)
    # Whole numbers as the program's CSV reader wants them written.
    for column in ("FIPSNO", "SID74", "BIR74"):
        frame[column] = frame[column].astype(np.int64)
    # Labels that are not positions: the result must keep them.
    return frame.set_index("NAME", drop=False)


def quietly(**keywords):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", propsmooth.SpatialWarning)
        return propsmooth.smooth(**keywords)


def assert_notes_are_the_console(smoothed, finished):
    """attrs["neighbours"] says what the program's console says: the
    islands (their number and ids), the clamped local variances and the
    neighbourhoods that took the moment prior."""
    console = finished.stdout + finished.stderr
    islands = re.search(r"islands \(no neighbour\): (\d+)(?: \(([^)]*)\))?", console)
    tallies = re.search(r"set to 0 in (\d+) neighbourhoods; (\d+) below", console)
    notes = smoothed.attrs["neighbours"]
    assert len(notes["islands"]) == int(islands.group(1))
    assert ", ".join(notes["islands"]) == (islands.group(2) or "")
    assert (notes["clamped"], notes["small_neighbourhoods"]) == \
        (int(tallies.group(1)), int(tallies.group(2)))


def read_table(path):
    return pd.read_csv(path, float_precision="round_trip",
                       dtype={"group": str, "id": str, "prior": str, "local_prior": str})


def whole_texts(values):
    return [str(int(v)) for v in values]


def assert_same_table(smoothed, table, fourth):
    """Every column of the --csv table, bit for bit, in smooth's result."""
    assert len(smoothed) == len(table)
    assert whole_texts(smoothed.id) == table.id.tolist()
    for column in ("x", fourth, "neighbours"):
        np.testing.assert_array_equal(smoothed[column], table[column], err_msg=column)
    for column in FIGURES + LOCAL_FIGURES:
        theirs = table[column].to_numpy(dtype=float) if column in table else \
            np.full(len(table), np.nan)
        assert np.array_equal(smoothed[column].to_numpy(dtype=float), theirs,
                              equal_nan=True), column
    for column in ("prior", "local_prior"):
        assert smoothed[column].fillna("").tolist() == table[column].fillna("").tolist(), column


# (neighbours, smooth's keywords beyond the columns, the program's options)
PROPORTION_CASES = [
    ("queen", {}, []),
    ("rook", {}, []),
    ("knn:6", {}, []),
    ("queen", {"threshold": 0.003, "level": 0.9}, ["--threshold", "0.003", "--level", "0.9"]),
    ("knn:3", {"max_iter": 2}, ["-L", "2"]),
]


@pytest.mark.parametrize("neighbours,keywords,options", PROPORTION_CASES)
def test_proportions_are_the_report_csv(gis_report, tmp_path, neighbours, keywords, options):
    finished = run([gis_report, NC, "--count", "SID74", "--size", "BIR74", "--id", "FIPSNO", "--csv",
         "out.csv", "--neighbours", neighbours, *options], tmp_path)
    counties = nc_counties()
    smoothed = quietly(df=counties, count="SID74", size="BIR74", id="FIPSNO",
                       neighbours=neighbours, **keywords)
    assert list(smoothed.columns) == [*propsmooth.COLUMNS, *propsmooth.SPATIAL_COLUMNS,
                                      "geometry"]
    assert_same_table(smoothed, read_table(tmp_path / "out.csv"), "n")
    assert isinstance(smoothed, gpd.GeoDataFrame)
    assert smoothed.crs == counties.crs
    assert smoothed.index.equals(counties.index)
    assert smoothed.geometry.geom_equals_exact(counties.geometry, 0).all()
    assert_notes_are_the_console(smoothed, finished)


def _expected_counts(counties):
    # The pooled rate's expected counts, as the rates tests make them.
    pooled = counties.SID74.sum() / counties.BIR74.sum()
    return counties.BIR74 * pooled


# (neighbours, projected, smooth's keywords, the program's options): the
# data as a CSV joined to the shapes by --regions; projected: the counties
# in NC's state plane (metres) written to a GeoPackage, so knn is planar.
RATE_CASES = [
    ("queen", False, {"expected": "e"}, ["--expected", "e"]),
    ("rook", False, {"exposure": "BIR74", "per": 1000, "threshold": 2.0},
     ["--exposure", "BIR74", "--per", "1000", "--threshold", "2"]),
    ("knn:6", False, {"expected": "e", "group": "g"}, ["--expected", "e", "--group", "g"]),
    ("knn:6", True, {"expected": "e"}, ["--expected", "e"]),
    ("queen", True, {"expected": "e", "group": "h", "missing_group": "skip"},
     ["--expected", "e", "--group", "h", "--missing-group", "skip"]),
]


@pytest.mark.parametrize("neighbours,projected,keywords,options", RATE_CASES)
def test_rates_are_the_report_csv(gis_report, tmp_path, neighbours, projected, keywords,
                                  options):
    counties = nc_counties()
    counties["e"] = _expected_counts(counties)
    counties["g"] = np.where(counties.FIPSNO < 37100, "low", "high")
    # Every seventh county without a group.
    counties["h"] = np.where(np.arange(len(counties)) % 7 == 0, None, counties.g)
    regions = NC
    if projected:
        counties = counties.to_crs(32119)
        regions = tmp_path / "projected.gpkg"
        counties[["FIPSNO", "geometry"]].to_file(regions, driver="GPKG")
    data = counties[["FIPSNO", "SID74", "BIR74", "e", "g", "h"]]
    data.to_csv(tmp_path / "in.csv", index=False)
    finished = run([gis_report, "in.csv", "--model", "poisson", "--count", "SID74", "--id", "FIPSNO",
         "--regions", regions, "--regions-id", "FIPSNO", "--csv", "out.csv", "--neighbours",
         neighbours, *options], tmp_path)
    smoothed = quietly(df=counties, count="SID74", id="FIPSNO", neighbours=neighbours,
                       **keywords)
    fourth = "exposure" if "exposure" in keywords else "expected"
    assert_same_table(smoothed, read_table(tmp_path / "out.csv"), fourth)
    assert smoothed.crs == counties.crs
    assert_notes_are_the_console(smoothed, finished)


def _shared_vertex_gal(counties, least):
    """GeoDa's GAL of the counties by an independent rule: two neighbour
    when their rings share at least `least` exact vertices (1: queen, 2:
    rook; the shapefile repeats shared vertices exactly, so no snapping is
    needed here)."""
    ids = whole_texts(counties.FIPSNO)
    vertices = []
    for shape in counties.geometry:
        parts = shape.geoms if shape.geom_type == "MultiPolygon" else [shape]
        vertices.append({point for part in parts
                         for ring in (part.exterior, *part.interiors) for point in ring.coords})
    lines = [str(len(ids))]
    for i, mine in enumerate(vertices):
        near = [ids[j] for j, theirs in enumerate(vertices)
                if j != i and len(mine & theirs) >= least]
        lines += [f"{ids[i]} {len(near)}", " ".join(near)]
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("neighbours,least", [("queen", 1), ("rook", 2)])
def test_a_gal_file_for_a_plain_frame_is_the_shapes_contiguity(tmp_path, neighbours, least):
    if not NC.exists():
        pytest.skip(f"{NC} is missing (Debian: r-cran-sf)")
    counties = nc_counties()
    from_shapes = quietly(df=counties, count="SID74", size="BIR74", id="FIPSNO",
                          neighbours=neighbours)
    (tmp_path / "nc.gal").write_text(_shared_vertex_gal(counties, least))
    plain = pd.DataFrame(counties.drop(columns="geometry"))
    from_file = quietly(df=plain, count="SID74", size="BIR74", id="FIPSNO",
                        neighbours=tmp_path / "nc.gal")
    assert type(from_file) is pd.DataFrame
    np.testing.assert_array_equal(from_file.neighbours, from_shapes.neighbours)
    for column in LOCAL_FIGURES:
        assert np.array_equal(from_file[column], from_shapes[column], equal_nan=True), column


def square(x, y, side=1.0):
    return [(x, y), (x + side, y), (x + side, y + side), (x, y + side), (x, y)]


def drawn_regions():
    """A: [0,3]^2 with the hole [1,2]^2; B fills the hole (four vertices
    shared with A); C = [3,4]x[0,1] meets A at the point (3,0) alone (A's
    edge x=3 has no vertex at (3,1)); D, a multipolygon, has a far square
    and [4,5]x[0,1], sharing the edge x=4 with C; E has no geometry."""
    polygon, multi = shapely_geometry.Polygon, shapely_geometry.MultiPolygon
    shapes = [polygon(square(0, 0, 3), [square(1, 1)]), polygon(square(1, 1)),
              polygon(square(3, 0)), multi([polygon(square(10, 10)), polygon(square(4, 0))]),
              None]
    frame = gpd.GeoDataFrame({"id": list("ABCDE"), "x": [3, 1, 4, 2, 5],
                              "n": [50, 40, 60, 30, 70]}, geometry=shapes)
    return frame.set_index(pd.Index([10, 20, 30, 40, 50]))


# (neighbours, each region's count of neighbours, islands), by hand from the
# drawing above.
DRAWN_CASES = [
    ("queen", [2, 1, 2, 1, 0], ["E"]),
    ("rook", [1, 1, 1, 1, 0], ["E"]),
]


@pytest.mark.parametrize("neighbours,counts,islands", DRAWN_CASES)
def test_holes_multipolygons_and_missing_shapes(neighbours, counts, islands):
    with pytest.warns(propsmooth.SpatialWarning, match="islands"):
        smoothed = propsmooth.smooth(drawn_regions(), count="x", size="n", id="id",
                                     neighbours=neighbours)
    assert smoothed.neighbours.tolist() == counts
    assert smoothed.attrs["neighbours"]["islands"] == islands
    assert smoothed.geometry.isna().tolist() == [False] * 4 + [True]


def test_an_island_is_its_own_neighbourhood():
    """E alone: the local moments' variance x/n spread is 0 - r/n < 0, set
    to 0, so its local estimate is its own rate 5/70."""
    with pytest.warns(propsmooth.SpatialWarning):
        smoothed = propsmooth.smooth(drawn_regions(), count="x", size="n", id="id",
                                     neighbours="queen")
    assert smoothed.local_eb_me.iloc[4] == 5 / 70
    assert smoothed.attrs["neighbours"]["clamped"] >= 1


def _points():
    return gpd.GeoDataFrame({"id": ["a", "b"], "x": [1, 2], "n": [5, 6]},
                            geometry=[shapely_geometry.Point(0, 0), shapely_geometry.Point(1, 1)])


def _with_id(value):
    frame = drawn_regions()
    frame.loc[20, "id"] = value
    return frame


# Stands for a GAL file of regions A and B alone, written for the test.
GAL = object()


# (frame, keywords beyond count and size, exception, message pattern)
REFUSALS = [
    (lambda p: pd.DataFrame(drawn_regions()[["id", "x", "n"]]), {"neighbours": "queen"},
     ValueError, "needs the regions' polygons: pass a geopandas GeoDataFrame"),
    (lambda p: pd.DataFrame(drawn_regions()[["id", "x", "n"]]), {"neighbours": "knn:2"},
     ValueError, "GeoDataFrame"),
    (lambda p: pd.DataFrame(drawn_regions()[["id", "x", "n"]]), {"neighbours": GAL, "id": None},
     ValueError, "name the id column with id="),
    (lambda p: drawn_regions(), {"neighbours": "queens"}, ValueError, "queen"),
    (lambda p: drawn_regions(), {"neighbours": "knn:0"}, ValueError, "knn"),
    (lambda p: drawn_regions(), {"neighbours": 6}, TypeError, "neighbours must be"),
    (lambda p: _points(), {"neighbours": "rook"}, ValueError, "is a Point, not a polygon"),
    (lambda p: drawn_regions(), {"neighbours": "knn:2"}, ValueError,
     "index 50 has no point, so no centroid"),
    (lambda p: drawn_regions().iloc[:4], {"neighbours": "knn:4"}, ValueError,
     "knn:4 needs at least 5 regions"),
    (lambda p: _with_id("A"), {"neighbours": "queen"}, ValueError, "id A repeats"),
    (lambda p: _with_id(None), {"neighbours": "queen"}, ValueError,
     "id: None at index 20 is missing"),
    (lambda p: drawn_regions(), {"neighbours": GAL}, ValueError,
     "has no entry for 3 rows: ids C, D, E"),
]


@pytest.mark.parametrize("row", range(len(REFUSALS)))
def test_refusals(tmp_path, row):
    make, keywords, error, pattern = REFUSALS[row]
    keywords = {"id": "id", **keywords}
    if keywords["neighbours"] is GAL:
        (tmp_path / "two.gal").write_text("2\nA 1\nB\nB 1\nA\n")
        keywords["neighbours"] = tmp_path / "two.gal"
    with pytest.raises(error, match=pattern):
        propsmooth.smooth(make(tmp_path), count="x", size="n", **keywords)


def test_without_neighbours_a_geodataframe_keeps_its_geometry():
    drawn = drawn_regions()
    smoothed = propsmooth.smooth(drawn, count="x", size="n")
    plain = propsmooth.smooth(pd.DataFrame(drawn.drop(columns="geometry")), count="x", size="n")
    assert isinstance(smoothed, gpd.GeoDataFrame)
    assert list(smoothed.columns) == [*propsmooth.COLUMNS, "geometry"]
    pd.testing.assert_frame_equal(pd.DataFrame(smoothed.drop(columns="geometry")), plain)


def test_a_gwt_file_names_islands_and_regions_without_a_row(tmp_path):
    """A GWT file lists pairs only: C, D and E, in no pair, are islands;
    Z, a region the frame lacks, is left out and named."""
    (tmp_path / "drawn.gwt").write_text("5\nA B 1\nB A 1\nA Z 0.5\n")
    plain = pd.DataFrame(drawn_regions().drop(columns="geometry"))
    with pytest.warns(propsmooth.SpatialWarning) as caught:
        smoothed = propsmooth.smooth(plain, count="x", size="n", id="id",
                                     neighbours=str(tmp_path / "drawn.gwt"))
    assert smoothed.neighbours.tolist() == [1, 1, 0, 0, 0]
    notes = smoothed.attrs["neighbours"]
    assert (notes["islands"], notes["unmatched"]) == (["C", "D", "E"], ["Z"])
    said = " ".join(str(warning.message) for warning in caught)
    assert "3 regions have no neighbour (islands): C, D, E" in said
    assert "1 regions without a row, left out: Z" in said
