# What eb_fit and eb_smooth refuse, refused in R with the caller's words:
# the column, the row and the value. The C++ core judges the rows again.

.int_max <- .Machine$integer.max

# The row's label in messages: its row name, else its position.
.row_label <- function(labels, i) {
  if (is.null(labels)) as.character(i) else sprintf("'%s'", labels[[i]])
}

.refuse <- function(what, values, labels, i, why) {
  value <- values[[i]]
  shown <- if (is.character(value) && !is.na(value)) sprintf("\"%s\"", value) else format(value)
  stop(sprintf("%s: %s at row %s %s", what, shown, .row_label(labels, i), why), call. = FALSE)
}

# `values` as whole numbers of at most 2^31 - 1, each checked: numbers only
# (no logical, text or factor), none missing, no fraction.
.whole_numbers <- function(values, what, labels) {
  if (is.factor(values) || !(is.integer(values) || is.double(values))) {
    stop(sprintf("%s must be numbers, not %s", what, class(values)[[1]]), call. = FALSE)
  }
  missing <- is.na(values)
  if (any(missing)) {
    .refuse(what, values, labels, which(missing)[[1]],
            "is missing; fill in the value or leave the row out")
  }
  if (is.double(values)) {
    fraction <- !is.finite(values) | values != trunc(values)
    if (any(fraction)) .refuse(what, values, labels, which(fraction)[[1]], "is not a whole number")
    high <- values > .int_max
    if (any(high)) {
      .refuse(what, values, labels, which(high)[[1]],
              sprintf("is above %d, the largest allowed", .int_max))
    }
  }
  values
}

# The counts and sizes as integers, refused by the record rule of the C++
# core (0 <= x <= n, n >= 1), the first bad row named.
.records <- function(x, n, labels, x_name = "x", n_name = "n") {
  if (length(x) != length(n)) {
    stop(sprintf("%s has %d values but %s has %d", x_name, length(x), n_name, length(n)),
         call. = FALSE)
  }
  x <- .whole_numbers(x, x_name, labels)
  n <- .whole_numbers(n, n_name, labels)
  # Doubles below the 32-bit range: kept as they are, which the rule judges
  # in 64 bits.
  bad <- .first_bad_record(pmax(as.double(x), -2^53), pmax(as.double(n), -2^53))
  if (length(bad)) {
    i <- bad$row
    switch(bad$fault,
           count_above_size = .refuse(x_name, x, labels, i,
                                      sprintf("is above its size %s, %s; a count is at most its size",
                                              n_name, format(n[[i]]))),
           count_below_least = .refuse(x_name, x, labels, i,
                                       "is below 0; it must be a whole number >= 0"),
           .refuse(n_name, n, labels, i, "is below 1; it must be a whole number >= 1"))
  }
  list(x = as.integer(x), n = as.integer(n))
}

# The counts and expected counts (or exposures) of rates, refused as
# propsmooth-report refuses a file's cells: a count a whole number >= 0, an
# expected value a finite number above 0; the first bad row named.
.rate_records <- function(x, expected, labels, x_name, expected_name, exposure = FALSE) {
  if (length(x) != length(expected)) {
    stop(sprintf("%s has %d values but %s has %d", x_name, length(x), expected_name,
                 length(expected)), call. = FALSE)
  }
  x <- .whole_numbers(x, x_name, labels)
  below <- x < 0
  if (any(below)) {
    .refuse(x_name, x, labels, which(below)[[1]], "is below 0; it must be a whole number >= 0")
  }
  what <- if (exposure) "an exposure" else "an expected count"
  if (is.factor(expected) || !(is.integer(expected) || is.double(expected))) {
    stop(sprintf("%s must be numbers, not %s", expected_name, class(expected)[[1]]),
         call. = FALSE)
  }
  missing <- is.na(expected)
  if (any(missing)) {
    .refuse(expected_name, expected, labels, which(missing)[[1]],
            "is missing; fill in the value or leave the row out")
  }
  infinite <- !is.finite(expected)
  if (any(infinite)) {
    .refuse(expected_name, expected, labels, which(infinite)[[1]],
            sprintf("is not a finite number; %s is a number > 0", what))
  }
  low <- !(expected > 0)
  if (any(low)) {
    .refuse(expected_name, expected, labels, which(low)[[1]],
            sprintf("is not above 0; %s is a number > 0", what))
  }
  list(x = as.integer(x), expected = as.double(expected))
}

.is_number <- function(value) {
  is.numeric(value) && !is.factor(value) && length(value) == 1L && !is.na(value)
}

.probability <- function(value, name) {
  if (!.is_number(value) || !(value > 0 && value < 1)) {
    stop(sprintf("%s must be one number strictly between 0 and 1", name), call. = FALSE)
  }
  as.double(value)
}

# propsmooth's -A, -B, -E and -L, refused where its option reader refuses;
# NA for a start not given.
.fit_options <- function(alpha, beta, eps, max_iter) {
  start <- function(value, name) {
    if (is.null(value)) return(NA_real_)
    if (!.is_number(value) || is.nan(value) || value == Inf) {
      stop(sprintf("%s must be NULL or one number below infinity", name), call. = FALSE)
    }
    as.double(value)
  }
  if (!.is_number(eps)) stop("eps must be one number, not NA or NaN", call. = FALSE)
  if (!.is_number(max_iter) || max_iter != trunc(max_iter) || abs(max_iter) > .int_max) {
    stop("max_iter must be one whole number from -2147483647 to 2147483647", call. = FALSE)
  }
  list(alpha = start(alpha, "alpha"), beta = start(beta, "beta"), eps = as.double(eps),
       max_iter = as.integer(max_iter))
}

# 0: as many threads as the machine has cores.
.threads <- function(threads) {
  if (is.null(threads)) return(0L)
  if (!.is_number(threads) || threads != trunc(threads) || threads < 1 || threads > .int_max) {
    stop("threads must be NULL or one whole number >= 1", call. = FALSE)
  }
  as.integer(threads)
}

# A number above 0 and finite: --per, and a threshold of rates.
.positive <- function(value, name, what = "a number above 0") {
  if (!.is_number(value) || !is.finite(value) || !(value > 0)) {
    stop(sprintf("%s must be %s, finite", name, what), call. = FALSE)
  }
  as.double(value)
}
