# Reference figures of the Poisson-gamma model, computed independently of
# propsmooth: the data sets the rate tests read (written to
# tests/stats/data/rates/*.csv), the moment estimators by spdep::EBest and
# the maximum-likelihood gamma prior by a generic optimiser on R's dnbinom.
#
#   Rscript tests/stats/reference/poisson_gamma_reference.R tests/stats/data/rates
#
# x_i ~ NegBin(size = Alpha, prob = Beta / (Beta + E_i)) is the Poisson-gamma
# marginal. The fit maximises sum(dnbinom(..., log = TRUE)) over (log Alpha,
# log Beta): optim's BFGS from the moment estimators, then nlminb, then
# Newton steps on numDeriv's Richardson gradient and Hessian until the step
# is below 1e-12. Printed: each data set's EBest a and b, the ML shape and
# rate to 17 digits, the log-likelihood, the gradient left and how far
# BFGS alone was from the polished optimum (the optimiser's own error).
suppressPackageStartupMessages({
  library(spData)
  library(spdep)
  library(numDeriv)
})
args <- commandArgs(trailingOnly = TRUE)
out_dir <- if (length(args) > 0) args[1] else "."

loglik <- function(par, x, e) {
  alpha <- exp(par[1]); beta <- exp(par[2])
  sum(dnbinom(x, size = alpha, prob = beta / (beta + e), log = TRUE))
}

fit_ml <- function(x, e, start) {
  f <- function(par) -loglik(par, x, e)
  bfgs <- optim(start, f, method = "BFGS",
                control = list(reltol = 1e-15, maxit = 10000))
  nl <- nlminb(bfgs$par, f, control = list(rel.tol = 1e-15, x.tol = 1e-15,
                                           iter.max = 10000, eval.max = 10000))
  par <- nl$par
  for (i in 1:20) {
    g <- grad(function(p) loglik(p, x, e), par)
    h <- hessian(function(p) loglik(p, x, e), par)
    step <- -solve(h, g)
    par <- par + step
    if (max(abs(step)) < 1e-12) break
  }
  list(alpha = exp(par[1]), beta = exp(par[2]), loglik = loglik(par, x, e),
       gradient = grad(function(p) loglik(p, x, e), par),
       bfgs_alpha = exp(bfgs$par[1]), bfgs_beta = exp(bfgs$par[2]))
}

report <- function(name, x, e) {
  eb <- EBest(x, e, family = "poisson")
  a <- attr(eb, "parameters")$a
  b <- attr(eb, "parameters")$b
  start <- if (a > 0) log(c(b^2 / a, b / a)) else log(c(10, 10 / b))
  ml <- fit_ml(x, e, start)
  cat(sprintf("%s: regions %d events %d\n", name, length(x), sum(x)))
  cat(sprintf("  EBest a = %.17g b = %.17g\n", a, b))
  cat(sprintf("  EBest estmm[1] = %.17g estmm[%d] = %.17g\n", eb$estmm[1], length(x),
              eb$estmm[length(x)]))
  cat(sprintf("  ML alpha = %.17g beta = %.17g loglik = %.17g\n", ml$alpha, ml$beta, ml$loglik))
  cat(sprintf("  gradient left (log alpha, log beta) = %.3g %.3g\n", ml$gradient[1],
              ml$gradient[2]))
  cat(sprintf("  BFGS alone: alpha rel. error %.3g, beta %.3g\n",
              ml$bfgs_alpha / ml$alpha - 1, ml$bfgs_beta / ml$beta - 1))
}

write_data <- function(file, x, e) {
  write.csv(data.frame(x = x, e = sprintf("%.17g", e)), file.path(out_dir, file),
            row.names = FALSE, quote = FALSE)
}

# North Carolina SIDS 1974-78 (spData::nc.sids): deaths against the count
# expected from the county's live births at the state's rate.
data(nc.sids)
sid74 <- nc.sids$SID74
e74 <- nc.sids$BIR74 * sum(nc.sids$SID74) / sum(nc.sids$BIR74)
write_data("nc_sids74.csv", sid74, e74)
report("nc.sids SID74 vs expected", sid74, e74)

# The same counties 1979-84 with the births themselves as exposure: rates
# per live birth.
write_data("nc_sids79.csv", nc.sids$SID79, nc.sids$BIR79)
report("nc.sids SID79 per birth", nc.sids$SID79, nc.sids$BIR79)

# Auckland infant deaths 1977-85 (spData::auckland), Marshall's own example,
# against the count expected from the under-5 population of 1981 at the
# region's rate.
data(auckland)
deaths <- auckland$Deaths.1977.85
ea <- auckland$Under.5.1981 * sum(deaths) / sum(auckland$Under.5.1981)
write_data("auckland.csv", deaths, ea)
report("auckland deaths vs expected", deaths, ea)

# Generated: 400 regions, E uniform on [5, 50], theta ~ Gamma(shape 4,
# rate 4) (mean 1), x ~ Poisson(theta E); the fit should land near 4 and 4.
set.seed(20261209)
eg <- runif(400, 5, 50)
xg <- rpois(400, rgamma(400, shape = 4, rate = 4) * eg)
write_data("generated_gamma.csv", xg, eg)
report("generated Gamma(4, 4)", xg, eg)

# Generated without extra-Poisson variation: x ~ Poisson(E), E on [2, 40].
# The score at the Poisson limit is below 0 and no prior beats it.
ep <- runif(60, 2, 40)
xp <- rpois(60, ep)
write_data("generated_poisson.csv", xp, ep)
eb <- EBest(xp, ep, family = "poisson")
cat(sprintf("generated Poisson: EBest a = %.17g b = %.17g sum x = %d sum E = %.17g\n",
            attr(eb, "parameters")$a, attr(eb, "parameters")$b, sum(xp), sum(ep)))
cat(sprintf("  score at the limit = %.17g\n",
            sum(((xp - ep * sum(xp) / sum(ep))^2 - xp) / 2)))
cat(sprintf("  Poisson loglik at the pooled rate = %.17g\n",
            sum(dpois(xp, ep * sum(xp) / sum(ep), log = TRUE))))
cat(sprintf("  Gamma(sum x + 1/2, sum E) 2.5%% and 97.5%%: %.17g %.17g\n",
            qgamma(0.025, sum(xp) + 0.5, sum(ep)), qgamma(0.975, sum(xp) + 0.5, sum(ep))))

# The SIDS data of 1974-78 with one more region, 8 deaths against 0.02
# expected: the outlier makes Marshall's variance 4.96 (a shape of 0.21),
# far from the ML shape near 4.9. Plain Newton in (log mean, log shape) from
# the moment prior runs off (printed below), though the maximum exists.
xo <- c(sid74, 8)
eo <- c(e74, 0.02)
write_data("nc_sids74_outlier.csv", xo, eo)
report("nc.sids SID74 with an outlier", xo, eo)
ll_wv <- function(p) {
  alpha <- exp(p[2])
  loglik(c(p[2], p[2] - p[1]), xo, eo)
}
eb <- EBest(xo, eo, family = "poisson")
p <- c(log(attr(eb, "parameters")$b), log(attr(eb, "parameters")$b^2 / attr(eb, "parameters")$a))
for (i in 1:8) {
  step <- tryCatch(-solve(hessian(ll_wv, p), grad(ll_wv, p)), error = function(e) c(NA, NA))
  p <- p + step
  cat(sprintf("  plain Newton step %d: log mean %.6g log shape %.6g loglik %.10g\n", i, p[1], p[2],
              if (all(is.finite(p))) ll_wv(p) else NA))
  if (!all(is.finite(p)) || abs(p[2]) > 50) break
}

# Standard errors and the profile bound of the shape, for the SIDS data of
# 1974-78. The errors: the inverse of minus numDeriv's Hessian in (log Alpha,
# log Beta) at the optimum, carried to Alpha and Beta by the delta method
# (at an optimum the figures do not depend on the coordinates). The bound:
# the profile max over Beta of the log-likelihood at each Alpha, by
# optimize on log Beta, crossed at qchisq(0.95, 1)/2 below the peak by
# uniroot, below the ML shape.
se_and_bound <- function(name, x, e) {
  eb <- EBest(x, e, family = "poisson")
  a <- attr(eb, "parameters")$a; b <- attr(eb, "parameters")$b
  ml <- fit_ml(x, e, log(c(b^2 / a, b / a)))
  par <- log(c(ml$alpha, ml$beta))
  cov <- solve(-hessian(function(p) loglik(p, x, e), par))
  se <- sqrt(diag(cov)) * c(ml$alpha, ml$beta)
  profile <- function(log_alpha) {
    optimize(function(lb) loglik(c(log_alpha, lb), x, e), par[2] + c(-10, 10),
             maximum = TRUE, tol = 1e-13)$objective
  }
  target <- ml$loglik - qchisq(0.95, 1) / 2
  lower <- uniroot(function(la) profile(la) - target, c(par[1] - 10, par[1]),
                   tol = 1e-13)$root
  cat(sprintf("%s: se alpha = %.17g se beta = %.17g shape lower95 = %.17g\n", name, se[1], se[2],
              exp(lower)))
}
se_and_bound("nc.sids SID74 vs expected", sid74, e74)
se_and_bound("auckland deaths vs expected", deaths, ea)
