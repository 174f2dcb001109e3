# eb_smooth against propsmooth-report --csv on the same rows: the CSV's
# shortest round-trip numbers, parsed correctly rounded, must be the very
# doubles eb_smooth returns (identical(), NA where a cell is empty); and
# eb_fit against propsmooth's log, every figure as the log prints it.

test_that("eb_smooth is propsmooth-report's CSV table, bit for bit", {
  report <- program_path("PROPSMOOTH_REPORT")
  rats <- read_legacy("rats.txt")[c("x", "n")]
  cases <- list(
    list(name = "rats", frame = rats, args = list(), options = character()),
    list(name = "rats at a threshold", frame = rats,
         args = list(threshold = 0.2, level = 0.9, fdr = 0.1),
         options = c("--threshold", "0.2", "--level", "0.9", "--fdr", "0.1")),
    list(name = "generated groups", frame = generated_frame(),
         args = list(group = "g", id = "id"), options = c("--group", "g", "--id", "id")),
    list(name = "generated groups, 3 steps", frame = generated_frame(),
         args = list(group = "g", id = "id", threshold = 0.1, max_iter = 3),
         options = c("--group", "g", "--id", "id", "--threshold", "0.1", "-L3")))
  for (case in cases) {
    folder <- tempfile("report")
    dir.create(folder)
    utils::write.csv(case$frame, file.path(folder, "in.csv"), row.names = FALSE, quote = FALSE)
    run_program(report, c("in.csv", "--count", "x", "--size", "n", "--csv", "out.csv",
                          case$options), folder)
    expected <- utils::read.csv(file.path(folder, "out.csv"), colClasses = "character",
                                na.strings = character())
    smoothed <- do.call(eb_smooth, c(list(case$frame, "x", "n"), case$args))
    expect_equal(nrow(smoothed), nrow(expected), info = case$name)
    expect_identical(smoothed$x, as.integer(expected$x), info = case$name)
    expect_identical(smoothed$n, as.integer(expected$n), info = case$name)
    for (column in c("raw", "eb_me", "eb", "lower", "upper", "p_exceed", "pep", "q_value")) {
      if (!column %in% names(expected)) {
        expect_false(column %in% names(smoothed), info = paste(case$name, column))
        next
      }
      theirs <- propsmooth:::.parse_doubles(ifelse(expected[[column]] == "", NA,
                                                   expected[[column]]))
      expect_identical(smoothed[[column]], theirs, info = paste(case$name, column))
    }
    expect_identical(smoothed$prior, ifelse(expected$prior == "", NA, expected$prior),
                     info = case$name)
    if ("discovery" %in% names(expected)) {
      theirs <- ifelse(expected$discovery == "", NA, expected$discovery == "true")
      expect_identical(smoothed$discovery, theirs, info = case$name)
    }
    if (!is.null(case$args$group)) {
      expect_identical(smoothed$g, expected$group, info = case$name)
      expect_identical(smoothed$id, expected$id, info = case$name)
    }
  }
})

# propsmooth's -A, -B, -E, -L as eb_fit's arguments; a limit of 2 steps
# makes the rats' Newton fit fail, -A/-B start far from the moment
# estimators.
fit_options <- list(list(options = character(), args = list()),
                    list(options = "-L2", args = list(max_iter = 2)),
                    list(options = "-E0.01", args = list(eps = 0.01)),
                    list(options = c("-A0.5", "-B3"), args = list(alpha = 0.5, beta = 3)))

# propsmooth's log: per group, its figures as printed ("***" where the fit
# failed).
read_log <- function(path) {
  sections <- strsplit(paste(readLines(path), collapse = "\n"), "\nFor unit ")[[1]][-1]
  fields <- c(mean = "Mean of Proportion", variance = "Variance of Proportion",
              alpha_me = "ME of Alpha", beta_me = "ME of Beta", alpha = "MLE of Alpha",
              beta = "MLE of Beta", iterations = "Iteration for convergence")
  lapply(sections, function(section) {
    found <- lapply(fields, function(field) {
      sub(sprintf("(?s).*\n %s +: (-?[0-9.]+|\\*\\*\\*).*", field), "\\1", section, perl = TRUE)
    })
    found$unit <- as.integer(sub(" .*", "", section))
    found
  })
}

printed <- function(value) if (is.na(value)) "***" else sprintf("%.6f", value)

test_that("eb_fit prints as propsmooth's log", {
  program <- program_path("PROPSMOOTH_PROGRAM")
  for (example in c("rats.txt", "small.txt", "units.txt")) {
    data <- read_legacy(example)
    for (option in fit_options) {
      folder <- tempfile("fit")
      dir.create(folder)
      run_program(program, c(file.path(examples_folder(), example), "out.tsv", option$options),
                  folder)
      for (logged in read_log(file.path(folder, "out.log"))) {
        rows <- if (data$unit[[1]] == -1) data else data[data$unit == logged$unit, ]
        fit <- do.call(eb_fit, c(list(rows$x, rows$n), option$args))
        info <- paste(example, paste(option$options, collapse = " "), "unit", logged$unit)
        for (key in c("mean", "variance")) expect_identical(printed(fit[[key]]), logged[[key]], info = info)
        expect_identical(printed(fit$moments[["alpha"]]), logged$alpha_me, info = info)
        expect_identical(printed(fit$moments[["beta"]]), logged$beta_me, info = info)
        # Propsmooth's own Newton result is the prior wherever the
        # likelihood vouches for it: then eb_fit names it so.
        if (fit$fit == "newton") {
          expect_identical(printed(coef(fit)[["alpha"]]), logged$alpha, info = info)
          expect_identical(printed(coef(fit)[["beta"]]), logged$beta, info = info)
          expect_identical(as.character(fit$iterations), logged$iterations, info = info)
        }
      }
    }
  }
})
