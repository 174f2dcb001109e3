\name{simd_target}
\alias{simd_target}
\title{The instruction set of the likelihood kernel}
\description{
The instruction set the package's exact likelihood sums run on, chosen at
run time among those this CPU has, as Highway names it (e.g.
\code{"AVX2"}). The environment variable \env{PROPSMOOTH_SIMD} (\code{avx512},
\code{avx2}, \code{sse4}, \code{scalar}), read when the package is loaded,
caps it as it does for the programs. The results do not depend on it.
}
\usage{simd_target()}
\value{A string.}
\examples{
simd_target()
}
