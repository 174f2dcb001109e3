# That `fit` is a peak of the log-likelihood f(alpha, beta) written in R:
# no step of `step` in either parameter climbs above it, and its covariance
# is the inverse of minus the Hessian in (alpha, beta), here by central
# differences of f (the delta method from the library's coordinates gives
# the same matrix to first order), whose diagonal's roots are the
# standard errors to the bit.
expect_peak <- function(fit, f, step, h = 1e-3) {
  a <- coef(fit)[["alpha"]]
  b <- coef(fit)[["beta"]]
  for (move in list(c(step, 0), c(-step, 0), c(0, step), c(0, -step))) {
    expect_lt(f(a + move[1], b + move[2]), as.numeric(logLik(fit)))
  }
  hessian <- matrix(c(
    (f(a + h, b) - 2 * f(a, b) + f(a - h, b)) / h^2,
    rep((f(a + h, b + h) - f(a + h, b - h) - f(a - h, b + h) + f(a - h, b - h)) / (4 * h^2), 2),
    (f(a, b + h) - 2 * f(a, b) + f(a, b - h)) / h^2), 2, 2)
  expect_equal(unname(vcov(fit)), solve(-hessian), tolerance = 1e-4)
  expect_identical(unname(sqrt(diag(vcov(fit)))), unname(fit$se))
  expect_identical(vcov(fit)[1, 2], vcov(fit)[2, 1])
}
