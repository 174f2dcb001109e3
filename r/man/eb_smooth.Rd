\name{eb_smooth}
\alias{eb_smooth}
\title{Empirical Bayes estimates of the proportions or rates of a data frame's rows}
\description{
Adds to each row of \code{data} the estimates \code{propsmooth-report --csv}
writes for it: the raw and smoothed proportions (with \code{n}) or rates
(with \code{expected} or \code{exposure}, as \code{--model poisson}), the
credible interval and, with a threshold, the posterior tail
probabilities and q-values. Each group of rows gets its own beta prior,
or gamma prior of rates (see \code{\link{eb_fit}}). The numbers are those
of the program, to the last bit.
}
\usage{
eb_smooth(data, x, n = NULL, group = NULL, id = NULL, threshold = NULL,
          level = 0.95, fdr = 0.05, alpha = NULL, beta = NULL, eps = 1e-5,
          max_iter = 20L, threads = NULL, expected = NULL, exposure = NULL,
          per = 1)
}
\arguments{
  \item{data}{a data frame or a tibble.}
  \item{x, n}{the columns of counts and sizes (\code{0 <= x <= n},
    \code{n >= 1}): a name as a string or unquoted, as in dplyr's verbs. A
    name that is no column of \code{data} is looked up where
    \code{eb_smooth} is called, so that a variable holding a column's name
    works too. For rates \code{x >= 0} and \code{n} is left out.}
  \item{expected}{for rates: the column of each row's expected count
    (a finite number \code{> 0}), named as \code{x}; the rates are then
    relative risks, observed over expected (\code{--expected}).}
  \item{exposure}{for rates: the column of each row's person-time (a
    finite number \code{> 0}); the rates are then events per unit of it,
    times \code{per} (\code{--exposure}). Give exactly one of \code{n},
    \code{expected} and \code{exposure}.}
  \item{per}{for rates: the rates, their intervals and the threshold are
    shown times this, e.g. 100000 for rates per 100,000 (\code{--per}).}
  \item{group}{the column whose values form the groups, each with its own
    prior; \code{NULL}: one group of all rows. A missing group (\code{NA},
    \code{""} or \code{"NA"}) is refused.}
  \item{id}{a column naming the rows; it must exist and is kept as it is.}
  \item{threshold}{a proportion strictly between 0 and 1, or for rates a
    rate above 0 (as \code{per} shows rates): adds \code{p_exceed},
    \code{pep}, \code{q_value} and \code{discovery}. With \code{expected}
    it is 1 (the reference rate) unless given.}
  \item{level}{the probability of the equal-tailed credible interval.}
  \item{fdr}{the false discovery rate at which \code{discovery} is \code{TRUE}.}
  \item{alpha, beta, eps, max_iter, threads}{as for \code{\link{eb_fit}}.}
}
\value{
\code{data} with its rows, row names, classes and columns kept and these
added: \code{raw} (x / n, or for rates x / expected times \code{per}), \code{eb_me} (the estimate under the moment
estimators), \code{eb} (the empirical Bayes estimate), \code{lower},
\code{upper} (the credible interval), \code{prior} (how \code{eb} was
found: \code{"newton"}, \code{"safeguarded"} or \code{"complete pooling"};
for rates \code{eb_me} is Marshall's moment estimate as \code{spdep::EBest} gives it;
\code{NA} without a posterior) and, with a \code{threshold},
\code{p_exceed} and \code{pep} (the posterior probabilities above and at
most the threshold), \code{q_value} and \code{discovery}. \code{NA} where
\code{propsmooth-report} leaves the cell empty.

An argument out of range, a column that is missing, or a row that breaks
the rule above is an error naming the column, the row (its row name or
position) and the value.
}
\examples{
smoothed <- eb_smooth(rats, x, n, threshold = 0.2)
head(smoothed)

# Two groups, each with its own prior.
set.seed(1)
regions <- data.frame(area = rep(c("north", "south"), each = 30),
                      n = rpois(60, 200) + 1)
regions$x <- rbinom(60, regions$n, rbeta(60, rep(c(2, 6), each = 30), 20))
head(eb_smooth(regions, "x", "n", group = "area"))

# Rates: deaths against the deaths expected at the state's rate, and
# against births per 1000.
births <- data.frame(county = c("A", "B", "C", "D", "E", "F"),
                     deaths = c(3L, 12L, 0L, 7L, 25L, 4L),
                     born = c(1500, 3600, 900, 2100, 5200, 2500))
births$expected <- births$born * sum(births$deaths) / sum(births$born)
eb_smooth(births, deaths, expected = expected, id = county)
eb_smooth(births, deaths, exposure = born, per = 1000)
}
