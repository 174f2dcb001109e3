\name{eb_fit}
\alias{eb_fit}
\alias{print.eb_fit}
\alias{summary.eb_fit}
\alias{print.summary.eb_fit}
\alias{coef.eb_fit}
\alias{vcov.eb_fit}
\alias{logLik.eb_fit}
\alias{nobs.eb_fit}
\title{Fit the beta prior of proportions, or the gamma prior of rates, of one group of regions}
\description{
With sizes \code{n}: fits Beta(alpha, beta) to counts \code{x} out of
sizes \code{n} by maximum likelihood under the binomial-beta model, as
\code{propsmooth-report} fits each group: propsmooth's Newton-Raphson fit
where the likelihood vouches for it, a safeguarded search where not, and
the boundary of the model where the likelihood has no finite maximum.

With \code{expected}: fits Gamma(shape alpha, rate beta) to counts
\code{x} observed against expected counts (or person-time)
\code{expected} under the Poisson-gamma model, \code{x ~ Poisson(theta *
expected)}, \code{theta ~ Gamma(alpha, beta)}, as \code{propsmooth-report
--model poisson} fits each group: Newton's method from Marshall's moment
estimators where it settles at a peak, the safeguarded search where not,
and complete pooling where the counts spread no more than Poisson
sampling would.
}
\usage{
eb_fit(x, n = NULL, alpha = NULL, beta = NULL, eps = 1e-5, max_iter = 20L,
       threads = NULL, expected = NULL, per = 1)

\method{print}{eb_fit}(x, digits = max(3L, getOption("digits") - 3L), ...)
\method{summary}{eb_fit}(object, ...)
\method{coef}{eb_fit}(object, ...)
\method{vcov}{eb_fit}(object, ...)
\method{logLik}{eb_fit}(object, ...)
\method{nobs}{eb_fit}(object, ...)
}
\arguments{
  \item{x}{counts: whole numbers, \code{0 <= x <= n} for proportions,
    \code{x >= 0} for rates.}
  \item{n}{sizes: whole numbers \code{>= 1}, as many as \code{x}. Give
    exactly one of \code{n} and \code{expected}.}
  \item{expected}{the expected counts (or person-time) the counts are
    observed against, finite numbers \code{> 0}, as many as \code{x}: a
    fit of rates.}
  \item{per}{rates: show them per this much person-time, as
    \code{propsmooth-report --per} shows its summary (the mean times
    \code{per}, the variance times its square, the rates \code{beta} and
    their standard errors over it).}
  \item{alpha, beta}{the Newton-Raphson start (propsmooth's \code{-A}, \code{-B});
    \code{NULL}: the moment estimators. For rates, the shape and rate.}
  \item{eps}{the tolerance on the Newton-Raphson corrections (\code{-E});
    proportions only (the fit of rates has a fixed test of settling).}
  \item{max_iter}{the step limit (\code{-L}).}
  \item{threads}{the most threads one large group may use; \code{NULL}: every core.}
  \item{object}{an \code{eb_fit}.}
  \item{digits}{significant digits printed.}
  \item{...}{ignored.}
}
\value{
An object of class \code{eb_fit}: a list with \code{model}
(\code{"binomial"} or \code{"poisson"}), \code{coefficients} (alpha and
beta, for rates the gamma prior's shape and rate; \code{NA} without a
finite maximum), \code{se} (their standard errors, from the inverse of
minus the Hessian in (logit mean, log(alpha + beta)), for rates in (log
mean, log alpha), by the delta method; \code{NA} where it is not positive
definite),
\code{vcov} (the covariance matrix of the same origin, whose diagonal is
\code{se^2}), \code{loglik} (with the sum of \code{log choose(n, x)}, for
rates of \code{x log(expected) - log(x!)}; at a boundary its supremum), \code{fit} (\code{"newton"}, \code{"safeguarded"},
\code{"no finite maximum"} or \code{"failed"}), \code{boundary} (where the
supremum lies when there is no finite maximum, e.g. \code{"complete
pooling"}; empty otherwise), \code{iterations}, \code{moments} (the moment
estimators), \code{mean}, \code{variance} and \code{errors} (the last
corrections) as propsmooth's log has them, \code{nobs} and \code{call}.
For rates \code{mean} and \code{variance} are Marshall's pooled rate and
prior variance (as \code{spdep::EBest} has them), \code{moments} the
gamma prior of those moments (\code{NA} where the variance is 0) and
\code{errors} \code{NULL}; the figures are those of
\code{propsmooth-report --model poisson --summary}.
\code{logLik} has 2 degrees of freedom, so that \code{AIC} and \code{BIC}
work.
}
\examples{
fit <- eb_fit(rats$x, rats$n)
fit
summary(fit)
coef(fit)
sqrt(diag(vcov(fit)))
AIC(fit)

# No spread beyond binomial sampling: no finite maximum.
eb_fit(c(5, 5, 5), c(10, 10, 10))$boundary

# Rates: deaths against expected deaths.
deaths <- c(3, 12, 0, 7, 25, 4, 9, 1)
expected <- c(4.2, 8.1, 2.5, 6.0, 14.3, 5.5, 7.7, 3.1)
rates <- eb_fit(deaths, expected = expected)
rates
summary(rates)
vcov(rates)
}
