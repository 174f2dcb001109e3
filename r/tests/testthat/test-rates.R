# The rates model: eb_smooth(expected = / exposure =) against
# propsmooth-report --model poisson --csv, and eb_fit(expected =) against
# its --summary, every double identical; eb_fit also against R's own
# negative binomial likelihood and MASS::glm.nb.

# Runs propsmooth-report on `frame` in a folder of its own; the CSV table
# and the summary as text.
report_rates <- function(frame, options) {
  report <- program_path("PROPSMOOTH_REPORT")
  folder <- tempfile("rates")
  dir.create(folder)
  write_exact_csv(frame, file.path(folder, "in.csv"))
  run_program(report, c("in.csv", "--model", "poisson", "--count", "x", "--csv", "out.csv",
                        "--summary", "summary.csv", options), folder)
  list(csv = read_text_csv(file.path(folder, "out.csv")),
       summary = read_text_csv(file.path(folder, "summary.csv")))
}

rate_cases <- function() {
  nc <- nc_sids()
  names(nc) <- c("x", "births", "e")
  generated <- generated_rates()
  list(
    list(name = "nc.sids, expected", frame = nc, args = list(expected = "e"),
         options = c("--expected", "e")),
    list(name = "nc.sids, expected, threshold 1.5", frame = nc,
         args = list(expected = "e", threshold = 1.5, level = 0.9, fdr = 0.1),
         options = c("--expected", "e", "--threshold", "1.5", "--level", "0.9", "--fdr", "0.1")),
    list(name = "nc.sids, births per 1000", frame = nc,
         args = list(exposure = "births", per = 1000),
         options = c("--exposure", "births", "--per", "1000")),
    list(name = "nc.sids, births per 1000, threshold 2", frame = nc,
         args = list(exposure = "births", per = 1000, threshold = 2),
         options = c("--exposure", "births", "--per", "1000", "--threshold", "2")),
    list(name = "generated groups", frame = generated,
         args = list(expected = "e", group = "g", id = "id"),
         options = c("--expected", "e", "--group", "g", "--id", "id")),
    list(name = "generated groups, 2 steps, a start", frame = generated,
         args = list(expected = "e", group = "g", id = "id", max_iter = 2, alpha = 2, beta = 3),
         options = c("--expected", "e", "--group", "g", "--id", "id", "-L2", "-A2", "-B3")))
}

test_that("eb_smooth of rates is propsmooth-report's CSV table, bit for bit", {
  for (case in rate_cases()) {
    expected <- report_rates(case$frame, case$options)$csv
    smoothed <- do.call(eb_smooth, c(list(case$frame, "x"), case$args))
    info <- case$name
    expect_identical(nrow(smoothed), nrow(expected), info = info)
    expect_identical(as.integer(smoothed$x), as.integer(expected$x), info = info)
    against <- if (is.null(case$args$exposure)) "expected" else "exposure"
    column <- if (is.null(case$args$exposure)) case$args$expected else case$args$exposure
    expect_identical(as.double(smoothed[[column]]), exact_doubles(expected[[against]]),
                     info = info)
    threshold <- "p_exceed" %in% names(expected)
    # Expected counts have a threshold of 1 unless given; person-time none.
    expect_identical(threshold, !is.null(case$args$threshold) || against == "expected",
                     info = info)
    expect_identical(names(smoothed),
                     c(names(case$frame), "raw", "eb_me", "eb", "lower", "upper", "prior",
                       if (threshold) c("p_exceed", "pep", "q_value", "discovery")), info = info)
    for (figure in c("raw", "eb_me", "eb", "lower", "upper",
                     if (threshold) c("p_exceed", "pep", "q_value"))) {
      expect_identical(smoothed[[figure]], exact_doubles(expected[[figure]]),
                       info = paste(info, figure))
    }
    expect_identical(smoothed$prior, ifelse(expected$prior == "", NA, expected$prior),
                     info = info)
    if (threshold) {
      expect_identical(smoothed$discovery,
                       ifelse(expected$discovery == "", NA, expected$discovery == "true"),
                       info = info)
    }
    if (!is.null(case$args$group)) {
      expect_identical(smoothed$g, expected$group, info = info)
      expect_identical(smoothed$id, expected$id, info = info)
    }
  }
})

test_that("eb_fit of rates is propsmooth-report's summary, bit for bit", {
  for (case in rate_cases()) {
    if (!is.null(case$args$threshold)) next
    summary <- report_rates(case$frame, case$options)$summary
    against <- if (is.null(case$args$exposure)) "e" else case$args$exposure
    for (row in seq_len(nrow(summary))) {
      group <- summary$group[[row]]
      rows <- if (is.null(case$args$group)) case$frame else case$frame[case$frame$g == group, ]
      fit <- do.call(eb_fit, c(list(rows$x, expected = rows[[against]]),
                               case$args[intersect(names(case$args),
                                                   c("alpha", "beta", "max_iter", "per"))]))
      info <- paste(case$name, "group", group)
      expect_identical(fit$model, "poisson", info = info)
      expect_identical(nobs(fit), as.integer(summary$regions[[row]]), info = info)
      expect_identical(fit$mean, exact_doubles(summary$mean[[row]]), info = info)
      expect_identical(fit$variance, exact_doubles(summary$variance[[row]]), info = info)
      expect_identical(unname(fit$moments),
                       exact_doubles(c(summary$alpha_me[[row]], summary$beta_me[[row]])),
                       info = info)
      expect_identical(unname(coef(fit)),
                       exact_doubles(c(summary$alpha[[row]], summary$beta[[row]])), info = info)
      expect_identical(unname(fit$se),
                       exact_doubles(c(summary$se_alpha[[row]], summary$se_beta[[row]])),
                       info = info)
      expect_identical(fit$loglik, exact_doubles(summary$loglik[[row]]), info = info)
      expect_identical(fit$iterations, as.integer(summary$iterations[[row]]), info = info)
      expect_identical(fit$fit, summary$fit[[row]], info = info)
      expect_identical(fit$boundary, summary$boundary[[row]], info = info)
    }
  }
})

# x ~ Poisson(theta E), theta ~ Gamma(shape a, rate b): x is negative
# binomial of size a and mean a E / b, R's dnbinom.
gamma_poisson_loglik <- function(a, b, x, e) {
  sum(stats::dnbinom(x, size = a, mu = a / b * e, log = TRUE))
}

test_that("the rates prior maximises R's own negative binomial likelihood", {
  nc <- nc_sids()
  fit <- eb_fit(nc$SID74, expected = nc$E)
  a <- coef(fit)[["alpha"]]
  b <- coef(fit)[["beta"]]
  f <- function(a, b) gamma_poisson_loglik(a, b, nc$SID74, nc$E)
  expect_identical(fit$fit, "newton")
  expect_equal(as.numeric(logLik(fit)), f(a, b), tolerance = 1e-12)
  expect_peak(fit, f, step = 1e-3)
})

test_that("eb_fit of rates agrees with MASS::glm.nb", {
  skip_if_not_installed("MASS")
  nc <- nc_sids()
  # glm.nb's log(mu) = b0 + log(E) with theta its size: alpha = theta and
  # beta = theta / exp(b0). Its own convergence test stops it short.
  nb <- MASS::glm.nb(SID74 ~ 1 + offset(log(E)), data = nc)
  fit <- eb_fit(nc$SID74, expected = nc$E)
  expect_equal(unname(coef(fit)), c(nb$theta, nb$theta / exp(unname(coef(nb)))),
               tolerance = 1e-5)
  # Its SE.theta is the information of theta alone at its mean, where
  # eb_fit's comes from the joint inverse (the two parameters are
  # orthogonal only in expectation): they agree to a few parts in 1000.
  expect_equal(unname(fit$se[["alpha"]]), nb$SE.theta, tolerance = 5e-3)
})

test_that("rates keep the frame's rows, row names, factors and class", {
  frame <- data.frame(area = factor(c("b", "a", "b", "a")), x = c(1L, 4L, 3L, 9L),
                      e = c(2.5, 3, 4, 5), row.names = c("w", "x", "y", "z"))
  smoothed <- eb_smooth(frame, x, expected = e, group = area)
  expect_identical(rownames(smoothed), rownames(frame))
  expect_identical(smoothed[names(frame)], frame)
  expect_identical(smoothed$raw, frame$x / frame$e)
  per <- eb_smooth(frame, x, exposure = e, per = 100)
  expect_false("p_exceed" %in% names(per))
  # 100 x / e and x / e * 100 round differently; the table multiplies.
  expect_identical(per$raw, 100 * (frame$x / frame$e))
  skip_if_not_installed("tibble")
  tibble <- eb_smooth(tibble::as_tibble(frame), x, expected = e, group = area)
  expect_s3_class(tibble, "tbl_df")
  expect_identical(as.list(tibble), as.list(smoothed))
})

test_that("the moment estimates of rates are spdep's EBest", {
  skip_if_not_installed("spdep")
  nc <- nc_sids()
  # EBest(events, population): Marshall's global estimator, whose raw rates
  # and estimates `estmm` are eb_smooth's raw and eb_me with person-time.
  theirs <- spdep::EBest(nc$SID74, nc$BIR74)
  smoothed <- eb_smooth(nc, SID74, exposure = BIR74)
  expect_identical(smoothed$raw, theirs$raw)
  expect_equal(smoothed$eb_me, theirs$estmm, tolerance = 1e-14)
  fit <- eb_fit(nc$SID74, expected = nc$BIR74)
  expect_equal(fit$mean, attr(theirs, "parameters")$b, tolerance = 1e-14)
  expect_equal(fit$variance, attr(theirs, "parameters")$a, tolerance = 1e-14)
})
