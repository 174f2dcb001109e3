# Exports North Carolina's counties (the sf package's nc.shp, 100 counties)
# and spdep's neighbour lists of them as plain text, the fixtures of the
# neighbour tests. Run from this folder: Rscript export_nc.R
suppressPackageStartupMessages({
  library(sf)
  library(spdep)
})
# Planar centroids in longitude and latitude (GEOS's area-weighted centroid
# of every polygon of a county), the centroid the knn neighbours use.
sf_use_s2(FALSE)
nc <- st_read(system.file("shape/nc.shp", package = "sf"), quiet = TRUE)
ids <- as.character(nc$FIPSNO)
num <- function(v) sprintf("%.17g", v)

# The counties' vertices are tests/maps/nc_counties.tsv (tests/maps/export_nc.R).

# id count neighbour ids..., in the counties' order.
write_list <- function(nb, file) {
  lines <- vapply(seq_along(nb), function(i) {
    nbr <- nb[[i]]
    nbr <- nbr[nbr != 0L]
    paste(c(ids[i], length(nbr), ids[sort(nbr)]), collapse = " ")
  }, "")
  writeLines(lines, file)
}
queen <- poly2nb(nc, queen = TRUE, row.names = ids)
rook <- poly2nb(nc, queen = FALSE, row.names = ids)
write_list(queen, "nc_queen.txt")
write_list(rook, "nc_rook.txt")
# spdep writes GAL and GWT with the regions' positions (1 to 100) as ids.
write.nb.gal(queen, "nc_queen_spdep.gal", oldstyle = FALSE, shpfile = "nc", ind = "FIPSNO")
write.sn2gwt(listw2sn(nb2listw(rook, style = "B")), "nc_rook_spdep.gwt", shpfile = "nc",
             ind = "FIPSNO")
# GeoDa's own files carry the id field's values: the same lists keyed by FIPSNO.
gal <- unlist(lapply(seq_along(queen), function(i) {
  c(paste(ids[i], length(queen[[i]])), paste(ids[queen[[i]]], collapse = " "))
}))
writeLines(c("0 100 nc FIPSNO", gal), "nc_queen.gal")
gwt <- unlist(lapply(seq_along(rook), function(i) paste(ids[i], ids[rook[[i]]], 1)))
writeLines(c("0 100 nc FIPSNO", gwt), "nc_rook.gwt")

centroids <- st_coordinates(st_centroid(st_geometry(nc)))
writeLines(c("id,lon,lat", paste(ids, num(centroids[, 1]), num(centroids[, 2]), sep = ",")),
           "nc_centroids.csv")
knn <- knn2nb(knearneigh(centroids, k = 6, longlat = TRUE))
write_list(knn, "nc_knn6.txt")

# The SIDS counts of 1974 with their births, the data of the estimates.
writeLines(c("id,name,sid74,bir74",
             paste(ids, nc$NAME, nc$SID74, nc$BIR74, sep = ",")), "nc_sids74.csv")
