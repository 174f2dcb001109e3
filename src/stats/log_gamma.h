// log|Gamma(x)| safe to call from several threads at once.
//
// std::lgamma also stores the sign of Gamma(x) in the global `signgam`, so
// two threads evaluating likelihoods race on it (ThreadSanitizer reports
// it). LogGamma leaves no global state behind; on glibc it is lgamma_r, the
// same code as std::lgamma, so the tables keep every bit.
#ifndef PROPSMOOTH_STATS_LOG_GAMMA_H_
#define PROPSMOOTH_STATS_LOG_GAMMA_H_

namespace propsmooth {

/// log|Gamma(x)|: +inf at the poles (0, -1, -2, ...), NaN for NaN.
double LogGamma(double x);

/// Boost.Math's log-gamma with the same conventions: what LogGamma is
/// where the C library has no lgamma_r (within an ulp or two of it). Its
/// own name, so that it is built and tested on every platform.
double PortableLogGamma(double x);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_LOG_GAMMA_H_
