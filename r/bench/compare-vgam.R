# eb_fit beside VGAM's vglm(cbind(x, n - x) ~ 1, betabinomialff) in one R
# session, on the same generated data: the estimates, their standard errors
# and the time each takes. VGAM's runs are capped at CAP seconds (elapsed);
# a capped run is reported as such, without estimates.
#
# Usage: Rscript r/bench/compare-vgam.R [CAP_SECONDS]   (default 300)
# with the package installed (make r-package; R CMD INSTALL ...) and VGAM.
suppressPackageStartupMessages({
  library(propsmooth)
  library(VGAM)
})
args <- commandArgs(trailingOnly = TRUE)
cap <- if (length(args)) as.numeric(args[[1]]) else 300

# Rates from Beta(4, 36) (mean 0.1), counts binomial: the model both fit.
generate <- function(regions, size, seed) {
  set.seed(seed)
  n <- if (length(size) == 1L) rep(as.integer(size), regions) else size
  p <- rbeta(regions, 4, 36)
  data.frame(x = rbinom(regions, n, p), n = n)
}

cases <- list(
  list(name = "20 regions, n = 1e3", data = generate(20, 1e3, 1)),
  list(name = "20 regions, n = 1e5", data = generate(20, 1e5, 2)),
  list(name = "20 regions, n = 1e6", data = generate(20, 1e6, 3)),
  list(name = "100,000 regions, n ~ 300", data = local({
    set.seed(4)
    generate(1e5, rpois(1e5, 300) + 1L, 5)
  })))

elapsed <- function(expr) {
  start <- proc.time()[["elapsed"]]
  value <- expr
  list(value = value, seconds = proc.time()[["elapsed"]] - start)
}

row <- function(method, case, estimate, se, seconds, note = "") {
  data.frame(case = case, method = method, alpha = estimate[1], beta = estimate[2],
             se_alpha = se[1], se_beta = se[2], seconds = round(seconds, 3), note = note)
}

results <- list()
for (case in cases) {
  d <- case$data
  mine <- elapsed(eb_fit(d$x, d$n))
  fit <- mine$value
  results[[length(results) + 1L]] <- row("eb_fit", case$name, coef(fit), fit$se, mine$seconds,
                                         fit$fit)
  setTimeLimit(elapsed = cap, transient = TRUE)
  theirs <- tryCatch(elapsed(suppressWarnings(
    vglm(cbind(x, n - x) ~ 1, betabinomialff, data = d, trace = FALSE))),
    error = function(e) e)
  setTimeLimit(elapsed = Inf)
  if (inherits(theirs, "error")) {
    results[[length(results) + 1L]] <- row("VGAM", case$name, c(NA, NA), c(NA, NA), cap,
                                           paste("stopped:", conditionMessage(theirs)))
    next
  }
  # VGAM's intercepts are log(alpha) and log(beta): the delta method.
  estimate <- exp(unname(coef(theirs$value)))
  se <- estimate * sqrt(diag(vcov(theirs$value)))
  results[[length(results) + 1L]] <- row("VGAM", case$name, estimate, unname(se),
                                         theirs$seconds)
}
table <- do.call(rbind, results)
rownames(table) <- NULL
options(width = 160)
print(table, digits = 7)
cat("\nCPU:", sub(".*: ", "", grep("model name", readLines("/proc/cpuinfo"), value = TRUE)[1]),
    "\nkernel:", simd_target(), "\n")
