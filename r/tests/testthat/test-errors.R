# Every refusal is an R error naming the column, the row and the value, and
# the session lives on.

test_that("bad rows are refused by column, row and value", {
  base <- data.frame(x = c(1, 2, 3), n = c(10, 10, 10), row.names = c("a", "b", "c"))
  change <- function(column, row, value) {
    frame <- base
    frame[[column]][row] <- value
    frame
  }
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
