eb_fit <- function(x, n, alpha = NULL, beta = NULL, eps = 1e-5, max_iter = 20L,
                   threads = NULL) {
  call <- match.call()
  options <- .fit_options(alpha, beta, eps, max_iter)
  if (length(x) == 0L) stop("no regions to fit a prior to: x and n are empty", call. = FALSE)
  records <- .records(x, n, names(x), deparse1(substitute(x)), deparse1(substitute(n)))
  result <- .fit(records$x, records$n, options$alpha, options$beta, options$eps,
                 options$max_iter, .threads(threads))
  names <- c("alpha", "beta")
  vcov <- result$vcov
  dimnames(vcov) <- list(names, names)
  structure(list(
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
    errors = setNames(c(result$err_alpha, result$err_beta), names),
    nobs = length(records$x),
    call = call), class = "eb_fit")
}

print.eb_fit <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("Beta prior of", x$nobs, "regions: fit", x$fit)
  if (nzchar(x$boundary)) cat(" (", x$boundary, ")", sep = "")
  cat("\n")
  print.default(format(coef(x), digits = digits), print.gap = 2L, quote = FALSE)
  invisible(x)
}

summary.eb_fit <- function(object, ...) {
  estimate <- coef(object)
  se <- object$se
  table <- cbind(Estimate = estimate, `Std. Error` = se)
  structure(list(coefficients = table, fit = object$fit, boundary = object$boundary,
                 iterations = object$iterations, loglik = object$loglik, nobs = object$nobs,
                 moments = object$moments, mean = object$mean, call = object$call),
            class = "summary.eb_fit")
}

print.summary.eb_fit <- function(x, digits = max(3L, getOption("digits") - 3L), ...) {
  cat("\nCall:\n", paste(deparse(x$call), collapse = "\n"), "\n\n", sep = "")
  cat("Beta prior of ", x$nobs, " regions (mean proportion ", format(x$mean, digits = digits),
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
