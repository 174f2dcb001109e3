# Every refusal is an R error naming the column, the row and the value, and
# the session lives on.

# `frame` with one cell changed.
changed <- function(frame, column, row, value) {
  frame[[column]][row] <- value
  frame
}

test_that("bad rows are refused by column, row and value", {
  base <- data.frame(x = c(1, 2, 3), n = c(10, 10, 10), row.names = c("a", "b", "c"))
  change <- function(column, row, value) changed(base, column, row, value)
  cases <- list(
    list(frame = change("x", 2, NA), pattern = "x: NA at row 'b' is missing"),
    list(frame = change("n", 3, NA), pattern = "n: NA at row 'c' is missing"),
    list(frame = change("x", 1, 1.5), pattern = "x: 1.5 at row 'a' is not a whole number"),
    list(frame = change("x", 2, Inf), pattern = "x: Inf at row 'b' is not a whole number"),
    list(frame = change("x", 3, 11), pattern = "x: 11 at row 'c' is above its size n, 10"),
    list(frame = change("x", 1, -1), pattern = "x: -1 at row 'a' is below 0"),
    list(frame = change("n", 2, 0), pattern = "n: 0 at row 'b' is below 1"),
    list(frame = change("n", 2, -1e300), pattern = "at row 'b' is below"),
    list(frame = change("n", 1, 2^31), pattern = "n: 2147483648 at row 'a' is above 2147483647"),
    list(frame = transform(base, x = as.character(x)), pattern = "x must be numbers"),
    list(frame = transform(base, x = x > 1), pattern = "x must be numbers"),
    list(frame = transform(base, x = factor(x)), pattern = "x must be numbers"))
  for (case in cases) {
    expect_error(eb_smooth(case$frame, "x", "n"), case$pattern, fixed = TRUE,
                 info = case$pattern)
  }
  # Without row names, the row's position.
  expect_error(eb_fit(c(1, NA), c(2, 2)), "at row 2 is missing", fixed = TRUE)
})

test_that("bad arguments are refused, saying what is allowed", {
  cases <- list(
    list(call = quote(eb_smooth(rats, x, size)), pattern = "no column of data"),
    list(call = quote(eb_smooth(rats, x, n, group = "g")), pattern = "group = \"g\" is no column"),
    list(call = quote(eb_smooth(rats, x, n, level = 1)), pattern = "level must be"),
    list(call = quote(eb_smooth(rats, x, n, fdr = NA)), pattern = "fdr must be"),
    list(call = quote(eb_smooth(rats, x, n, threshold = "0.2")), pattern = "threshold must be"),
    list(call = quote(eb_smooth(rats, x, n, threads = 0)), pattern = "threads must be"),
    list(call = quote(eb_smooth(rats, x, n, max_iter = 2.5)), pattern = "max_iter must be"),
    list(call = quote(eb_smooth(rats, x, n, alpha = Inf)), pattern = "alpha must be"),
    list(call = quote(eb_smooth(rats, x, n, eps = NaN)), pattern = "eps must be"),
    list(call = quote(eb_smooth(as.matrix(rats), x, n)), pattern = "data must be a data frame"),
    list(call = quote(eb_smooth(cbind(rats, rats), x, n)), pattern = "names 2 columns"),
    list(call = quote(eb_smooth(transform(rats, eb = 1), x, n)), pattern = "already has the column \"eb\""),
    list(call = quote(eb_fit(integer(), integer())), pattern = "no regions"),
    list(call = quote(eb_fit(1:3, 1:2)), pattern = "has 3 values but"))
  for (case in cases) {
    expect_error(eval(case$call), case$pattern, fixed = TRUE, info = deparse1(case$call))
  }
})

test_that("a missing group is refused by its row", {
  frame <- data.frame(g = c("a", " NA ", "a"), x = 1:3, n = 10L)
  expect_error(eb_smooth(frame, x, n, group = g), "g: \" NA \" at row 2 is missing",
               fixed = TRUE)
  frame$g <- factor(c("a", NA, "a"))
  expect_error(eb_smooth(frame, x, n, group = g), "g: NA at row 2 is missing", fixed = TRUE)
})

test_that("rows the R checks let through are refused by the C++ core too", {
  # The entry points themselves, as a caller past the R checks reaches them.
  expect_error(propsmooth:::.smooth(c(1L, 5L), c(2L, 3L), integer(), 0.95, NA_real_, 0.05,
                                    NA_real_, NA_real_, 1e-5, 20L, 0L),
               "row 2 breaks the rule", fixed = TRUE)
  expect_error(propsmooth:::.fit(1L, NA_integer_, NA_real_, NA_real_, 1e-5, 20L, 0L),
               "row 1 breaks the rule", fixed = TRUE)
  expect_error(propsmooth:::.smooth(1L, 2L, -1L, 0.95, NA_real_, 0.05, NA_real_, NA_real_,
                                    1e-5, 20L, 0L), "group codes", fixed = TRUE)
})

test_that("bad rows of rates are refused by column, row and value", {
  base <- data.frame(x = c(1, 2, 3), e = c(2.5, 4, 8), row.names = c("a", "b", "c"))
  change <- function(column, row, value) changed(base, column, row, value)
  cases <- list(
    list(frame = change("x", 2, -1), pattern = "x: -1 at row 'b' is below 0"),
    list(frame = change("x", 1, 0.5), pattern = "x: 0.5 at row 'a' is not a whole number"),
    list(frame = change("x", 3, NA), pattern = "x: NA at row 'c' is missing"),
    list(frame = change("x", 1, 2^31), pattern = "x: 2147483648 at row 'a' is above 2147483647"),
    list(frame = change("e", 2, 0), pattern = "e: 0 at row 'b' is not above 0; an expected count is a number > 0"),
    list(frame = change("e", 3, -2.5), pattern = "e: -2.5 at row 'c' is not above 0"),
    list(frame = change("e", 1, Inf), pattern = "e: Inf at row 'a' is not a finite number"),
    list(frame = change("e", 2, -Inf), pattern = "e: -Inf at row 'b' is not a finite number"),
    list(frame = change("e", 3, NaN), pattern = "e: NaN at row 'c' is missing"),
    list(frame = change("e", 1, NA), pattern = "e: NA at row 'a' is missing"),
    list(frame = transform(base, e = as.character(e)), pattern = "e must be numbers, not character"),
    list(frame = transform(base, e = factor(e)), pattern = "e must be numbers, not factor"))
  for (case in cases) {
    expect_error(eb_smooth(case$frame, x, expected = e), case$pattern, fixed = TRUE,
                 info = case$pattern)
    # eb_fit names its arguments as written and the rows by the names of x.
    xs <- setNames(case$frame$x, rownames(case$frame))
    es <- case$frame$e
    expect_error(eb_fit(xs, expected = es), sub("^e", "es", sub("^x", "xs", case$pattern)),
                 fixed = TRUE, info = paste("eb_fit", case$pattern))
  }
  expect_error(eb_smooth(change("e", 2, 0), x, exposure = e),
               "e: 0 at row 'b' is not above 0; an exposure is a number > 0", fixed = TRUE)
})

test_that("bad arguments of rates are refused, saying what is allowed", {
  frame <- data.frame(x = c(1, 2), e = c(1.5, 2), n = c(3, 4))
  cases <- list(
    list(call = quote(eb_smooth(frame, x)), pattern = "give exactly one of n"),
    list(call = quote(eb_smooth(frame, x, n, expected = e)), pattern = "not n and expected"),
    list(call = quote(eb_smooth(frame, x, expected = e, exposure = e)),
         pattern = "not expected and exposure"),
    list(call = quote(eb_smooth(frame, x, n, per = 10)), pattern = "per is for rates"),
    list(call = quote(eb_smooth(frame, x, exposure = e, per = 0)), pattern = "per must be"),
    list(call = quote(eb_smooth(frame, x, exposure = e, per = Inf)), pattern = "per must be"),
    list(call = quote(eb_smooth(frame, x, expected = e, threshold = 0)),
         pattern = "threshold must be one rate above 0"),
    list(call = quote(eb_smooth(frame, x, expected = rate)), pattern = "expected = rate is no column"),
    list(call = quote(eb_fit(frame$x)), pattern = "give exactly one of n"),
    list(call = quote(eb_fit(frame$x, frame$n, expected = frame$e)), pattern = "give exactly one of n"),
    list(call = quote(eb_fit(numeric(), expected = numeric())), pattern = "x and expected are empty"),
    list(call = quote(eb_fit(1:3, expected = c(1, 2))), pattern = "has 3 values but"),
    list(call = quote(eb_fit(frame$x, frame$n, per = 10)), pattern = "per is for rates"),
    list(call = quote(eb_fit(frame$x, expected = frame$e, per = -1)), pattern = "per must be"))
  for (case in cases) {
    expect_error(eval(case$call), case$pattern, fixed = TRUE, info = deparse1(case$call))
  }
})

test_that("rows of rates the R checks let through are refused by the C++ core too", {
  smooth <- function(x, e, units = integer(), per = 1) {
    propsmooth:::.smooth_rates(x, e, units, 0.95, NA_real_, 0.05, per, NA_real_, NA_real_, 20L, 0L)
  }
  cases <- list(
    list(call = quote(smooth(c(1L, -1L), c(1, 1))), pattern = "row 2: a count"),
    list(call = quote(smooth(c(1L, NA), c(1, 1))), pattern = "row 2: a count"),
    list(call = quote(smooth(1L, NaN)), pattern = "row 1: an expected count"),
    list(call = quote(smooth(1L, 0)), pattern = "row 1: an expected count"),
    list(call = quote(smooth(1L, c(1, 2))), pattern = "differ in length"),
    list(call = quote(smooth(1L, 1, per = -1)), pattern = "per must be"),
    list(call = quote(smooth(1L, 1, units = NA_integer_)), pattern = "group codes"),
    list(call = quote(propsmooth:::.fit_rates(1L, Inf, NA_real_, NA_real_, 20L)),
         pattern = "row 1: an expected count"))
  for (case in cases) {
    expect_error(eval(case$call), case$pattern, fixed = TRUE, info = deparse1(case$call))
  }
})
