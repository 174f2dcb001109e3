// Quantiles of the beta distribution for the shapes a posterior of real
// counts takes (both parameters at least 10), without Boost's general
// inverse: from a Cornish-Fisher start, usually a single quartic Taylor step
// on our own evaluation of the regularized incomplete beta function (a
// power term from Stirling's series and a continued fraction of positive
// terms), certified by the size of the step.
#ifndef PROPSMOOTH_STATS_BETA_QUANTILE_H_
#define PROPSMOOTH_STATS_BETA_QUANTILE_H_

#include <optional>
#include <span>

namespace propsmooth {

/// The smallest shape parameter the evaluation below is accurate for: its
/// normalising constant uses Stirling's series, whose error there is below
/// 1e-17.
inline constexpr double kFastBetaMinShape = 10.0;

/// Which tail a quantile is of.
enum class BetaTail { kLower, kUpper };

/// The x with P(X <= x) = p (kLower) or P(X > x) = p (kUpper) for
/// X ~ Beta(a, b), to a few units in the last place; `z` is the standard
/// normal quantile of p (the caller computes it once for many shapes).
/// Empty where the result is not certain: a or b below kFastBetaMinShape
/// or not finite, p outside (0, 1/2], the continued fraction or the
/// iteration not converging. Callers then use a general method.
std::optional<double> FastBetaQuantile(double a, double b, double p, double z,
                                       BetaTail tail);

/// Both: the p quantile and the p upper-tail quantile of Beta(a, b), as
/// FastBetaQuantile gives them, with the work they share done once. Each is
/// empty where FastBetaQuantile's would be.
struct FastBetaBounds {
  std::optional<double> Lower;
  std::optional<double> Upper;
};
FastBetaBounds FastBetaInterval(double a, double b, double p, double z);

/// P(X <= x) and P(X > x) for X ~ Beta(a, b): the tail on x's side of the
/// mean a / (a + b) to about 1e-15 of itself, the other as one minus it;
/// empty where
/// FastBetaQuantile would be (a or b below kFastBetaMinShape, x outside
/// (0, 1), no convergence).
struct BetaTailPair {
  double Lower = 0.0;
  double Upper = 0.0;
};
std::optional<BetaTailPair> FastBetaTails(double a, double b, double x);

/// One continued fraction of the evaluation above: h with
/// I_x(a, b) = x^a (1 - x)^b / (a B(a, b)) h for x = XHigh + XLow at most
/// the mean of Beta(A, B), Gap = A - (A + B) x >= 0. Exposed so that tests
/// can hold its evaluations side by side to its evaluation alone.
struct BetaFractionArgs {
  double A = kFastBetaMinShape, B = kFastBetaMinShape;
  double XHigh = 0.5, XLow = 0.0, Gap = 0.0;
};

/// h alone; empty where it does not converge within its terms or its value
/// is not a positive number.
std::optional<double> BetaFraction(const BetaFractionArgs& args);

/// Each args[i]'s h into out[i] (out at least as long), evaluated several
/// at a time as FastBetaInterval does: each the same bits BetaFraction
/// gives it.
void BetaFractions(std::span<const BetaFractionArgs> args, std::span<std::optional<double>> out);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_BETA_QUANTILE_H_
