// Sums over j in [0, m) of log1p(j t), 1/(1 + j t), j/(1 + j t) and the
// squared forms, at a cost that does not grow with m: the first terms one
// by one (their log1p as that of their product, log_of_product.h), the rest
// by the Euler-Maclaurin formula (integral, end terms and six corrections),
// within about 1e-16 of each sum.
//
// Why they exist: the beta-binomial log-likelihood (beta_binomial_likelihood)
// is a sum over every k below each count, and the fit that does not give up,
// its standard errors and the profile bound evaluate it hundreds of times
// per group. A group with counts in the millions would cost millions of
// log1p per evaluation; with these, a long step of a count ladder costs a
// few dozen terms. They serve the fast likelihood of src/stats only. The
// strict program's Newton sums (src/estimate: step_sums, sweep_kernel) are
// the plain loops bit for bit and must never use them; doc/likelihood.md
// says which sum serves what.
#ifndef PROPSMOOTH_STATS_EULER_MACLAURIN_H_
#define PROPSMOOTH_STATS_EULER_MACLAURIN_H_

#include <cstdint>

namespace propsmooth {

/// Sums over j in [0, m) of the terms in 1 + j t, the form every segment
/// takes once its first k is moved to 0.
struct UnitSums {
  double Log = 0.0;  // log1p(j t)
  double H0 = 0.0;   // 1/(1 + j t)
  double H1 = 0.0;   // j/(1 + j t)
  double S0 = 0.0;   // 1/(1 + j t)^2
  double S1 = 0.0;   // j/(1 + j t)^2
  double S2 = 0.0;   // j^2/(1 + j t)^2
};

/// The terms below this j are summed one by one; above it a term's n-th
/// derivative is at most (n+1)!/j^n of the term's scale, so six
/// Euler-Maclaurin corrections leave an error near 1e-16 of the sum.
constexpr std::int64_t kEulerMaclaurinDirectTerms = 16;

/// Segments at least this long are summed by Euler-Maclaurin: their lower
/// end's antiderivative is then at most 1/4 of the upper end's, so the
/// difference loses no digits, and the cost no longer grows with the counts
/// (a count of millions otherwise costs millions of log1p per evaluation).
constexpr std::int64_t kEulerMaclaurinShortest = 4 * kEulerMaclaurinDirectTerms;

/// The sums for m >= kEulerMaclaurinShortest and t >= 0. Without `kAll` the
/// log1p sum, the costly one, is left at 0.
template <bool kAll>
UnitSums SumUnitTerms(std::int64_t m, double t);

extern template UnitSums SumUnitTerms<true>(std::int64_t m, double t);
extern template UnitSums SumUnitTerms<false>(std::int64_t m, double t);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_EULER_MACLAURIN_H_
