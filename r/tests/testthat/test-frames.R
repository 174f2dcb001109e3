# What eb_smooth returns beyond the numbers: the input's rows, classes, row
# names and columns, the columns added, and the ways to name columns.

test_that("the frame keeps its rows, row names, factors and class", {
  frame <- data.frame(area = factor(c("b", "a", "b", "a")), x = c(1L, 4L, 3L, 9L),
                      n = c(10L, 20L, 10L, 30L), row.names = c("w", "x", "y", "z"))
  smoothed <- eb_smooth(frame, x, n, group = area)
  expect_identical(rownames(smoothed), rownames(frame))
  expect_identical(smoothed[names(frame)], frame)
  expect_identical(names(smoothed),
                   c(names(frame), "raw", "eb_me", "eb", "lower", "upper", "prior"))
  expect_identical(smoothed$raw, frame$x / frame$n)
  # A factor groups as its labels do.
  as_text <- eb_smooth(transform(frame, area = as.character(area)), x, n, group = area)
  expect_identical(as_text[-1], smoothed[-1])
})

test_that("a tibble stays a tibble", {
  skip_if_not_installed("tibble")
  frame <- tibble::as_tibble(rats)
  smoothed <- eb_smooth(frame, x, n, threshold = 0.2)
  expect_s3_class(smoothed, "tbl_df")
  expect_identical(as.data.frame(smoothed), eb_smooth(rats, x, n, threshold = 0.2))
})

test_that("columns are named as strings, unquoted or by a variable", {
  frame <- data.frame(count = rats$x, size = rats$n)
  expected <- eb_smooth(frame, "count", "size")
  expect_identical(eb_smooth(frame, count, size), expected)
  column <- "size"
  expect_identical(eb_smooth(frame, count, column), expected)
  expect_identical(eb_smooth(frame, x = "count", n = size), expected)
})

test_that("each group is smoothed as if it were alone", {
  frame <- data.frame(g = rep(c("one", "two"), times = 70), x = rep(rats$x, each = 2),
                      n = rep(rats$n, each = 2))
  frame$x[frame$g == "two"] <- rev(rats$x)
  frame$n[frame$g == "two"] <- rev(rats$n)
  smoothed <- eb_smooth(frame, x, n, group = g, threshold = 0.2)
  alone <- eb_smooth(rats, x, n, threshold = 0.2)
  one <- smoothed[smoothed$g == "one", ]
  for (column in c("eb", "lower", "upper", "p_exceed", "pep")) {
    expect_identical(one[[column]], alone[[column]], info = column)
  }
  # The q-values are over the whole table, so they differ.
  expect_false(identical(one$q_value, alone$q_value))
})
