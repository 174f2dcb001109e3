# eb_fit against computations of R's own: the beta-binomial log-likelihood
# from lchoose() and lbeta(), its numerical Hessian, and VGAM's fit.

beta_binomial_loglik <- function(a, b, x, n) {
  sum(lchoose(n, x) + lbeta(x + a, n - x + b) - lbeta(a, b))
}

test_that("the rats' prior maximises R's own beta-binomial likelihood", {
  fit <- eb_fit(rats$x, rats$n)
  a <- coef(fit)[["alpha"]]
  b <- coef(fit)[["beta"]]
  expect_identical(fit$fit, "newton")
  expect_equal(as.numeric(logLik(fit)), beta_binomial_loglik(a, b, rats$x, rats$n),
               tolerance = 1e-12)
  expect_equal(AIC(fit), -2 * beta_binomial_loglik(a, b, rats$x, rats$n) + 4, tolerance = 1e-12)
  expect_peak(fit, function(a, b) beta_binomial_loglik(a, b, rats$x, rats$n), step = 1e-4)
  expect_identical(summary(fit)$coefficients[, "Std. Error"], fit$se)
})

test_that("eb_fit agrees with VGAM's betabinomialff on the rats", {
  skip_if_not_installed("VGAM")
  vgam <- suppressWarnings(VGAM::vglm(cbind(x, n - x) ~ 1, VGAM::betabinomialff,
                                      data = rats, trace = FALSE))
  # VGAM's intercepts are log(alpha) and log(beta); its own convergence
  # test stops it some 1e-5 short, at a lower likelihood.
  fit <- eb_fit(rats$x, rats$n)
  theirs <- unname(exp(coef(vgam)))
  expect_equal(unname(coef(fit)), theirs, tolerance = 1e-4)
  expect_gte(as.numeric(logLik(fit)), beta_binomial_loglik(theirs[1], theirs[2], rats$x, rats$n))
})

test_that("every boundary of the model has its label", {
  cases <- list(
    list(name = "no spread beyond sampling", x = c(5, 5, 5), n = c(10, 10, 10),
         fit = "no finite maximum", boundary = "complete pooling"),
    list(name = "no successes", x = c(0, 0, 0), n = c(10, 20, 30),
         fit = "no finite maximum", boundary = "pooled rate is 0"),
    list(name = "nothing but successes", x = c(10, 20), n = c(10, 20),
         fit = "no finite maximum", boundary = "pooled rate is 1"),
    list(name = "all or none", x = c(0, 10, 0, 20), n = c(10, 10, 20, 20),
         fit = "no finite maximum", boundary = "no pooling"),
    list(name = "spread", x = c(1, 9, 2, 8), n = c(10, 10, 10, 10),
         fit = "newton", boundary = ""),
    # Rates: counts against expected counts.
    list(name = "no spread beyond Poisson sampling", x = c(5, 10, 20), e = c(5, 10, 20),
         fit = "no finite maximum", boundary = "complete pooling"),
    list(name = "no events", x = c(0, 0, 0), e = c(1.5, 2, 3),
         fit = "no finite maximum", boundary = "no events in the group"),
    list(name = "spread of rates", x = c(0, 30, 2, 55, 1), e = c(10, 10, 10, 10, 10),
         fit = "newton", boundary = ""))
  for (case in cases) {
    fit <- if (is.null(case$e)) eb_fit(case$x, case$n) else eb_fit(case$x, expected = case$e)
    expect_identical(fit$fit, case$fit, info = case$name)
    if (nzchar(case$boundary)) {
      expect_match(fit$boundary, case$boundary, fixed = TRUE, info = case$name)
      expect_true(all(is.na(coef(fit))), info = case$name)
      expect_true(all(is.na(vcov(fit))), info = case$name)
    } else {
      expect_identical(fit$boundary, "", info = case$name)
      expect_true(all(is.finite(vcov(fit))), info = case$name)
    }
  }
  expect_output(print(eb_fit(c(5, 10, 20), expected = c(5, 10, 20))),
                "Gamma prior (shape alpha, rate beta) of 3 regions: fit no finite maximum",
                fixed = TRUE)
})

test_that("the fit does not depend on the kernel's threads", {
  expect_identical(eb_fit(rats$x, rats$n, threads = 1), eb_fit(rats$x, rats$n, threads = 1))
  one <- eb_fit(rats$x, rats$n, threads = 1)
  all <- eb_fit(rats$x, rats$n)
  expect_identical(coef(one), coef(all))
  expect_identical(one$se, all$se)
})
