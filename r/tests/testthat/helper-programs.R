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
  frame <- do.call(rbind, parts)
  frame <- frame[sample.int(nrow(frame)), ]
  rownames(frame) <- NULL
  frame$id <- sprintf("r%d", seq_len(nrow(frame)) - 1L)
  frame
}
