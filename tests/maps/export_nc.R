# Exports the North Carolina counties of the sf package (nc.shp: 100
# counties, SIDS births and deaths 1974-78 and 1979-84) as plain text, so
# that tests of the maps need neither GDAL nor R.
#   Rscript export_nc.R   (run in this folder; writes the two files below)
suppressPackageStartupMessages(library(sf))
nc <- st_read(system.file("shape/nc.shp", package = "sf"), quiet = TRUE)

# One line per vertex: the county's FIPS number as id, its name, then the
# polygon (from 1) of the multipolygon, the ring (1 the outer one, then the
# holes) and the vertex. The closing vertex of each ring is left out.
lines <- c("id\tname\tpolygon\tring\tx\ty")
geometry <- st_geometry(nc)
for (i in seq_len(nrow(nc))) {
  polygons <- unclass(st_cast(geometry[i], "MULTIPOLYGON")[[1]])
  for (p in seq_along(polygons)) {
    for (r in seq_along(polygons[[p]])) {
      xy <- polygons[[p]][[r]]
      xy <- xy[-nrow(xy), , drop = FALSE]
      lines <- c(lines, sprintf("%d\t%s\t%d\t%d\t%.17g\t%.17g", as.integer(nc$FIPSNO[i]),
                                nc$NAME[i], p, r, xy[, 1], xy[, 2]))
    }
  }
}
writeLines(lines, "nc_counties.tsv")

# The counts of the same counties.
write.csv(data.frame(id = as.integer(nc$FIPSNO), name = nc$NAME, births = nc$BIR74,
                     deaths = nc$SID74, nonwhite = nc$NWBIR74),
          "nc_sids74.csv", row.names = FALSE, quote = FALSE)
