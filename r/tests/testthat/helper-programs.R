# The programs the package is compared with, named by the environment
# (the project's CTest sets them); tests that need one are skipped without.
program_path <- function(variable) {
  path <- Sys.getenv(variable)
  if (!nzchar(path) || !file.exists(path)) {
    skip(sprintf("%s names no built program (the project's `make test` sets it)", variable))
  }
  path
}

examples_folder <- function() {
  folder <- Sys.getenv("PROPSMOOTH_EXAMPLES")
  if (!nzchar(folder) || !dir.exists(folder)) skip("PROPSMOOTH_EXAMPLES names no folder")
  folder
}

run_program <- function(program, args, folder) {
  output <- run_in(program, args, folder)
  if (!identical(output$status, 0L)) {
    stop(sprintf("%s %s failed:\n%s", program, paste(args, collapse = " "),
                 paste(output$text, collapse = "\n")))
  }
  invisible(output$text)
}

run_in <- function(program, args, folder) {
  old <- setwd(folder)
  on.exit(setwd(old))
  text <- suppressWarnings(system2(program, shQuote(args), stdout = TRUE, stderr = TRUE))
  list(status = if (is.null(attr(text, "status"))) 0L else attr(text, "status"), text = text)
}

# An example's four numbers a record.
read_legacy <- function(name) {
  utils::read.table(file.path(examples_folder(), name),
                    col.names = c("unit", "code", "x", "n"))
}

# The groups' frames as one, the rows in random order, with ids.
scattered <- function(parts) {
  frame <- do.call(rbind, parts)
  frame <- frame[sample.int(nrow(frame)), ]
  rownames(frame) <- NULL
  frame$id <- sprintf("r%d", seq_len(nrow(frame)) - 1L)
  frame
}

# Groups of every kind the fit meets: ordinary ones, a single region, no
# successes, nothing but successes, no spread beyond sampling, every region
# all successes or none (no posterior at all); group keys as text, rows of a
# group scattered over the frame.
generated_frame <- function() {
  set.seed(16)
  kinds <- data.frame(key = c("a", "b", "c", "d", "e", "f", "h"),
                      regions = c(40, 25, 1, 12, 8, 30, 6),
                      rate = c(0.2, 0.05, 0.3, 0, 1, 0.4, 0.5),
                      spread = c(10, 3, 5, 5, 5, 1e7, 1e-9))
  parts <- lapply(seq_len(nrow(kinds)), function(k) {
    kind <- kinds[k, ]
    n <- sample.int(399L, kind$regions, replace = TRUE)
    p <- stats::rbeta(kind$regions, kind$rate * kind$spread + 1e-9,
                      (1 - kind$rate) * kind$spread + 1e-9)
    x <- stats::rbinom(kind$regions, n, p)
    if (kind$rate == 0) x <- integer(kind$regions)
    if (kind$rate == 1) x <- n
    if (kind$key == "h") x <- ifelse(seq_len(kind$regions) %% 2 == 1, 0L, n)
    data.frame(g = kind$key, x = as.integer(x), n = n)
  })
  scattered(parts)
}

# A frame as CSV whose numbers read back as the very doubles: 17 significant
# digits, where write.csv keeps 15.
write_exact_csv <- function(frame, path) {
  cells <- lapply(frame, function(column) {
    if (is.double(column)) sprintf("%.17g", column) else as.character(column)
  })
  utils::write.csv(as.data.frame(cells, optional = TRUE), path, row.names = FALSE,
                   quote = FALSE)
}

# A CSV written by one of the programs, every cell as its text.
read_text_csv <- function(path) {
  utils::read.csv(path, colClasses = "character", na.strings = character(),
                  check.names = FALSE)
}

# A column of the programs' shortest round-trip numbers as doubles, parsed
# correctly rounded; an empty cell is NA.
exact_doubles <- function(text) {
  propsmooth:::.parse_doubles(ifelse(text == "", NA, text))
}

# Groups of rates of every kind the fit meets: spread beyond Poisson
# sampling (strong and mild), a single region, no events at all, counts
# that follow their expected values more closely than Poisson sampling
# would (complete pooling), expected values far below 1; group keys as
# text, rows of a group scattered over the frame.
generated_rates <- function() {
  set.seed(74)
  kinds <- data.frame(key = c("a", "b", "c", "d", "e", "f"),
                      regions = c(30, 20, 1, 10, 12, 15),
                      shape = c(4, 1, 3, 3, Inf, 2))
  parts <- lapply(seq_len(nrow(kinds)), function(k) {
    kind <- kinds[k, ]
    expected <- if (kind$key == "f") stats::runif(kind$regions, 0.01, 0.5) else
      stats::runif(kind$regions, 5, 60)
    x <- if (kind$key == "d") integer(kind$regions) else
      if (kind$key == "e") as.integer(round(expected)) else
        stats::rpois(kind$regions, expected * stats::rgamma(kind$regions, kind$shape, kind$shape))
    data.frame(g = kind$key, x = as.integer(x), e = expected)
  })
  scattered(parts)
}

# North Carolina's sudden infant deaths of 1974 from spData, with each
# county's expected count at the state's rate.
nc_sids <- function() {
  skip_if_not_installed("spData")
  nc <- get(utils::data("nc.sids", package = "spData", envir = environment()))
  nc <- nc[c("SID74", "BIR74")]
  nc$E <- nc$BIR74 * sum(nc$SID74) / sum(nc$BIR74)
  nc
}
