eb_fit <- function(x, n = NULL, alpha = NULL, beta = NULL, eps = 1e-5, max_iter = 20L,
                   threads = NULL, expected = NULL, per = 1) {
  call <- match.call()
  options <- .fit_options(alpha, beta, eps, max_iter)
  threads <- .threads(threads)
  if (is.null(n) == is.null(expected)) {
    stop("give exactly one of n (the sizes of proportions) and expected (the expected counts ",
         "or exposures of rates)", call. = FALSE)
  }
  rates <- !is.null(expected)
  if (!identical(per, 1) && (!rates || !is.numeric(per) || length(per) != 1L ||
                             !is.finite(per) || per <= 0)) {
    stop(if (rates) "per must be one number above 0" else "per is for rates (expected =)",
         call. = FALSE)
  }
  if (length(x) == 0L) {
    stop(sprintf("no regions to fit a prior to: x and %s are empty",
                 if (rates) "expected" else "n"), call. = FALSE)
  }
  x_name <- deparse1(substitute(x))
  if (rates) {
    records <- .rate_records(x, expected, names(x), x_name, deparse1(substitute(expected)))
    result <- .fit_rates(records$x, records$expected, options$alpha, options$beta,
                         options$max_iter)
  } else {
    records <- .records(x, n, names(x), x_name, deparse1(substitute(n)))
    result <- .fit(records$x, records$n, options$alpha, options$beta, options$eps,
                   options$max_iter, threads)
  }
  names <- c("alpha", "beta")
  vcov <- result$vcov
  dimnames(vcov) <- list(names, names)
  if (rates && per != 1) {
    # Rates shown per `per` of person-time, as --per shows the summary:
    # Gamma(alpha, beta) of a rate is Gamma(alpha, beta / per) of the rate
    # times per. The summary's own operations, in its order.
    result$mean <- result$mean * per
    result$variance <- result$variance * per * per
    result$beta <- result$beta / per
    result$beta_me <- result$beta_me / per
    result$se_beta <- result$se_beta / per
    vcov["alpha", "beta"] <- vcov["alpha", "beta"] / per
    vcov["beta", "alpha"] <- vcov["beta", "alpha"] / per
    vcov["beta", "beta"] <- vcov["beta", "beta"] / per / per
  }
  structure(list(
    model = if (rates) "poisson" else "binomial",
    coefficients = setNames(c(result$alpha, result$beta), names),
    se = setNames(c(result$se_alpha, result$se_beta), names),
    vcov = vcov,
    loglik = result$loglik,
    fit = result$fit,
    boundary = result$boundary,
    iterations = result$iterations,
    moments = setNames(c(result$alpha_me, result$beta_me), names),
    mean = result$mean,
    variance = result$variance,
    # Propsmooth's last Newton corrections: proportions only.
    errors = if (rates) NULL else setNames(c(result$err_alpha, result$err_beta), names),
    nobs = length(records$x),
    call = call), class = "eb_fit")
}

# The prior's name in print-outs, by model.
.prior_kind <- function(object) {
  if (identical(object$model, "poisson")) "Gamma prior (shape alpha, rate beta)" else "Beta prior"
}

print.eb_fit <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat(.prior_kind(x), " of ", x$nobs, " regions: fit ", x$fit, sep = "")
  if (nzchar(x$boundary)) cat(" (", x$boundary, ")", sep = "")
  cat("\n")
  print.default(format(coef(x), digits = digits), print.gap = 2L, quote = FALSE)
  invisible(x)
}

summary.eb_fit <- function(object, ...) {
  estimate <- coef(object)
  se <- object$se
  table <- cbind(Estimate = estimate, `Std. Error` = se)
  structure(list(model = object$model, coefficients = table, fit = object$fit,
                 boundary = object$boundary, iterations = object$iterations,
                 loglik = object$loglik, nobs = object$nobs, moments = object$moments,
                 mean = object$mean, call = object$call),
            class = "summary.eb_fit")
}

print.summary.eb_fit <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("\nCall:\n", paste(deparse(x$call), collapse = "\n"), "\n\n", sep = "")
  cat(.prior_kind(x), " of ", x$nobs, " regions (",
      if (identical(x$model, "poisson")) "pooled rate " else "mean proportion ",
      format(x$mean, digits = digits),
      ")\nFit: ", x$fit, if (nzchar(x$boundary)) paste0(" (", x$boundary, ")"),
      ", ", x$iterations, " iterations\n\n", sep = "")
  print(x$coefficients, digits = digits)
  cat("\nMoment estimators: alpha ", format(x$moments[["alpha"]], digits = digits),
      ", beta ", format(x$moments[["beta"]], digits = digits), "\n", sep = "")
  cat("Log-likelihood: ", format(x$loglik, digits = digits), " (df = 2)\n", sep = "")
  invisible(x)
}

coef.eb_fit <- function(object, ...) object$coefficients

vcov.eb_fit <- function(object, ...) object$vcov

nobs.eb_fit <- function(object, ...) object$nobs

logLik.eb_fit <- function(object, ...) {
  structure(object$loglik, df = 2L, nobs = object$nobs, class = "logLik")
}
