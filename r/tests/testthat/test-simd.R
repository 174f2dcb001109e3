# Highway's dispatch inside the package: PROPSMOOTH_SIMD caps it when the
# package is loaded, as for the programs, and no instruction set changes a
# number. Each cap runs in an R of its own, since the cap is read once.

smoothed_under <- function(cap) {
  out <- tempfile(fileext = ".rds")
  script <- sprintf(paste(
    "library(propsmooth, lib.loc = %s)",
    "frame <- rbind(rats, data.frame(x = c(0L, 3000000L), n = c(1000000L, 9000000L)))",
    "saveRDS(list(target = simd_target(), fit = eb_fit(rats$x, rats$n),",
    "             smoothed = eb_smooth(frame, x, n, threshold = 0.2)), %s)", sep = "\n"),
    deparse1(dirname(find.package("propsmooth"))), deparse1(out))
  code <- tempfile(fileext = ".R")
  writeLines(script, code)
  said <- suppressWarnings(system2(file.path(R.home("bin"), "Rscript"), code,
                                   env = sprintf("PROPSMOOTH_SIMD=%s", cap), stdout = TRUE,
                                   stderr = TRUE))
  if (!file.exists(out)) stop(paste(said, collapse = "\n"))
  readRDS(out)
}

test_that("every instruction set gives the same numbers", {
  scalar <- smoothed_under("scalar")
  expect_match(scalar$target, "^(SCALAR|EMU128)$")
  for (cap in c("sse4", "avx2", "avx512")) {
    capped <- smoothed_under(cap)
    expect_identical(capped$fit$coefficients, scalar$fit$coefficients, info = cap)
    expect_identical(capped$fit$vcov, scalar$fit$vcov, info = cap)
    expect_identical(capped$smoothed, scalar$smoothed, info = cap)
  }
})

test_that("a cap the programs refuse stops the loading with their words", {
  expect_error(smoothed_under("sse9"),
               "PROPSMOOTH_SIMD=\"sse9\" names no instruction set; it takes auto, scalar",
               fixed = TRUE)
})
