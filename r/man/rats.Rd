\name{rats}
\alias{rats}
\docType{data}
\title{Tumours in 70 groups of laboratory rats}
\description{
The classic rat tumour data (Tarone, 1982; Gelman et al., Bayesian Data
Analysis, section 5.3): in each of 70 experiments, \code{x} of \code{n}
control rats developed a tumour. The same records as the file
\file{examples/rats.txt} of propsmooth's sources.
}
\usage{rats}
\format{A data frame with 70 rows and two integer columns, \code{x} and \code{n}.}
\source{Tarone, R. E. (1982). The use of historical control information in
testing for a trend in proportions. Biometrics 38, 215--220.}
\examples{
eb_fit(rats$x, rats$n)
}
