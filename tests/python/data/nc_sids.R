# Writes nc_sids.csv, the North Carolina SIDS table the Python module's rate
# tests read, from R's spData, and beside each 1974 rate spdep's EBest
# estimate, an independent computation of the moment column eb_me:
#
#   Rscript tests/python/data/nc_sids.R tests/python/data
#
# Doubles are written with 17 significant digits, so that the tests read
# the values R held.
suppressPackageStartupMessages({
  library(spData)
  library(spdep)
})
args <- commandArgs(trailingOnly = TRUE)
out_dir <- if (length(args) > 0) args[1] else "."

data(nc.sids, package = "spData")
d <- nc.sids
# The count expected from each county's births at the state's rate.
expected74 <- d$BIR74 * sum(d$SID74) / sum(d$BIR74)
ebest <- EBest(d$SID74, d$BIR74)
digits <- function(v) formatC(v, digits = 17, format = "g")
out <- data.frame(county = rownames(d), cnty_id = d$CNTY.ID, sid74 = d$SID74,
                  bir74 = d$BIR74, expected74 = digits(expected74), sid79 = d$SID79,
                  bir79 = d$BIR79, region = c("west", "central", "east")[d$L.id],
                  ebest74 = digits(ebest$estmm))
write.csv(out, file.path(out_dir, "nc_sids.csv"), row.names = FALSE, quote = FALSE)
cat("EBest on SID74/BIR74: a =", digits(attr(ebest, "parameters")$a),
    "b =", digits(attr(ebest, "parameters")$b), "\n")
