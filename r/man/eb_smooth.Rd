\name{eb_smooth}
\alias{eb_smooth}
\title{Empirical Bayes estimates of the proportions of a data frame's rows}
\description{
Adds to each row of \code{data} the estimates \code{propsmooth-report --csv}
writes for it: the raw and smoothed proportions, the credible interval
and, with a threshold, the posterior tail probabilities and q-values. Each
group of rows gets its own beta prior (see \code{\link{eb_fit}}). The
numbers are those of the program, to the last bit.
}
\usage{
eb_smooth(data, x, n, group = NULL, id = NULL, threshold = NULL,
          level = 0.95, fdr = 0.05, alpha = NULL, beta = NULL, eps = 1e-5,
          max_iter = 20L, threads = NULL)
}
\arguments{
  \item{data}{a data frame or a tibble.}
  \item{x, n}{the columns of counts and sizes (\code{0 <= x <= n},
    \code{n >= 1}): a name as a string or unquoted, as in dplyr's verbs. A
    name that is no column of \code{data} is looked up where
    \code{eb_smooth} is called, so that a variable holding a column's name
    works too.}
  \item{group}{the column whose values form the groups, each with its own
    prior; \code{NULL}: one group of all rows. A missing group (\code{NA},
    \code{""} or \code{"NA"}) is refused.}
  \item{id}{a column naming the rows; it must exist and is kept as it is.}
  \item{threshold}{a proportion strictly between 0 and 1: adds \code{p_exceed},
    \code{pep}, \code{q_value} and \code{discovery}.}
  \item{level}{the probability of the equal-tailed credible interval.}
  \item{fdr}{the false discovery rate at which \code{discovery} is \code{TRUE}.}
  \item{alpha, beta, eps, max_iter, threads}{as for \code{\link{eb_fit}}.}
}
\value{
\code{data} with its rows, row names, classes and columns kept and these
added: \code{raw} (x / n), \code{eb_me} (the estimate under the moment
estimators), \code{eb} (the empirical Bayes estimate), \code{lower},
\code{upper} (the credible interval), \code{prior} (how \code{eb} was
found: \code{"newton"}, \code{"safeguarded"} or \code{"complete pooling"};
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
}
