#!/usr/bin/env python3
"""Runs propsmooth-report on North Carolina's counties (the data in the
shapefile itself) with --csv, --gpkg and --geojson, and checks with GDAL's
ogrinfo -al -so that each GIS file has every column of the CSV table as a
field, of the kind its cells hold, and one feature per county; and that a
page with --neighbours maps the spatial estimates too. Exits 77
(skipped) when the build has no GDAL, ogrinfo is missing or R's sf (whose
nc.shp it reads) is not installed."""
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

NC = "/usr/lib/R/site-library/sf/shape/nc.shp"


def skip(why):
    print("skipped: " + why)
    sys.exit(77)


def fields_of(path):
    """ogrinfo's summary: the feature count and each field's name and type."""
    text = subprocess.run(["ogrinfo", "-al", "-so", path], check=True,
                          capture_output=True, text=True).stdout
    count = int(re.search(r"^Feature Count: (\d+)$", text, re.M).group(1))
    fields = re.findall(r"^(\w+): (String|Integer64|Integer|Real) ", text, re.M)
    return count, dict(fields), [name for name, _ in fields]


def kind_of(cells):
    """The field type a column's cells call for, worked out apart from the
    program: integers, else numbers, else text."""
    filled = [c for c in cells if c != ""]
    if all(re.fullmatch(r"-?(0|[1-9]\d*)", c) for c in filled):
        return "Integer"
    try:
        [float(c) for c in filled]
        return "Real"
    except ValueError:
        return "String"


def main():
    tool = sys.argv[1]
    if "not in this build" in subprocess.run([tool, "--help"], capture_output=True,
                                             text=True).stdout:
        skip("propsmooth-report was built without GDAL")
    if shutil.which("ogrinfo") is None:
        skip("ogrinfo (gdal-bin) is not installed")
    if not os.path.exists(NC):
        skip("R's sf package (nc.shp) is not installed")
    faults = []
    with tempfile.TemporaryDirectory() as folder:
        out = {ext: os.path.join(folder, "nc." + ext) for ext in ("csv", "gpkg", "geojson")}
        subprocess.run([tool, "-q", NC, "--count", "SID74", "--size", "BIR74", "--id", "FIPSNO",
                        "--keep", "NAME,NWBIR74", "--threshold", "0.003",
                        "--csv", out["csv"], "--gpkg", out["gpkg"], "--geojson", out["geojson"]],
                       check=True)
        with open(out["csv"], newline="") as f:
            rows = list(csv.reader(f))
        header, body = rows[0], rows[1:]
        for ext in ("gpkg", "geojson"):
            count, types, names = fields_of(out[ext])
            if count != 100:
                faults.append(f"{ext}: {count} features, not 100")
            if names != header:
                faults.append(f"{ext}: fields {names}, the CSV's {header}")
            for c, name in enumerate(header):
                # Labels stay text; GeoJSON has no 64-bit kind of its own.
                wanted = "String" if name in ("group", "id") else kind_of([r[c] for r in body])
                got = types.get(name, "missing").replace("Integer64", "Integer")
                if got != wanted:
                    faults.append(f"{ext}: {name} is {got}, not {wanted}")
        # With neighbours the page adds a map of the spatial estimates, one
        # hover title per county, beside the raw, EB and exceedance maps.
        page = os.path.join(folder, "nc.html")
        subprocess.run([tool, "-q", NC, page, "--count", "SID74", "--size", "BIR74", "--id",
                        "FIPSNO", "--threshold", "0.003", "--neighbours", "queen"], check=True)
        with open(page, encoding="utf-8") as f:
            html = f.read()
        maps = html.count('aria-label="Map of the')
        if maps != 4:
            faults.append(f"page with neighbours: {maps} maps, not 4")
        start = html.find('aria-label="Map of the spatial EB proportions"')
        spatial = html[start:html.find("</svg>", start)] if start >= 0 else ""
        if spatial.count(": spatial EB ") != 100:
            faults.append("page with neighbours: the spatial map does not name 100 counties")
    for fault in faults:
        print(fault)
    sys.exit(1 if faults else 0)


main()
