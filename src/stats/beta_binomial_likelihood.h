// The beta-binomial log-likelihood of a group and its first two derivatives,
// as finite sums over the group's count ladders: accurate where differences
// of log-gamma values lose every digit (Alpha + Beta up to 1e14 and beyond).
// Long steps of a ladder are summed in closed form (euler_maclaurin.h).
#ifndef PROPSMOOTH_STATS_BETA_BINOMIAL_LIKELIHOOD_H_
#define PROPSMOOTH_STATS_BETA_BINOMIAL_LIKELIHOOD_H_

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/types.h"
#include "estimate/count_ladder.h"
#include "stats/tail_sums.h"

namespace propsmooth {

/// A group as its likelihood sees it: built once, evaluated at many points.
struct BetaBinomialData {
  CountTail Success;  // x
  CountTail Failure;  // n - x
  CountTail Size;     // n
  std::int64_t Successes = 0;  // sum of x
  std::int64_t Failures = 0;   // sum of n - x
  double LogChoose = 0.0;      // sum of log C(n, x)
  std::size_t Regions = 0;
  bool Binomial = true;  // every region has 0 <= x <= n: a likelihood exists
};

/// The group's counts; Binomial is false (and the rest meaningless) when a
/// count is below 0 or above its size.
BetaBinomialData MakeBetaBinomialData(const std::vector<Region>& regions);

/// The same for the records `indices` of `records`, in that order, read in
/// place rather than copied to regions first: the figures are those of the
/// regions' form, bit for bit (the log C(n, x) summed in the same order).
BetaBinomialData MakeBetaBinomialData(const RecordTable& records,
                                      std::span<const std::uint32_t> indices);

/// The same into `data`, whose vectors (and `scratch`) keep their storage
/// from one group to the next: the figures are MakeBetaBinomialData's.
void FillBetaBinomialData(const RecordTable& records, std::span<const std::uint32_t> indices,
                          BetaBinomialData* data, std::vector<std::int64_t>* scratch);

/// The same for a group known by the histograms of its x, n - x and n. The
/// sum of log C(n, x) is taken as sums of log-gamma values over each
/// histogram, so it agrees with the regions' sum to rounding only.
BetaBinomialData MakeBetaBinomialData(const CountHistogram& success,
                                      const CountHistogram& failure,
                                      const CountHistogram& size);

/// A point of the model: the prior's mean mu, 1 - mu (carried separately, so
/// that neither loses its digits to the other), and theta = 1/(Alpha + Beta),
/// 0 in the binomial limit.
struct ModelPoint {
  double Mean = 0.5;
  double Complement = 0.5;
  double Theta = 0.0;
};

/// The point of Beta(alpha, beta), both positive.
ModelPoint PointOfPrior(double alpha, double beta);

/// The point at logit mu = `logit_mean`, log(Alpha + Beta) = `log_size`.
ModelPoint PointOfCoordinates(double logit_mean, double log_size);

/// The binomial limit at the pooled rate p = sum x / sum n (theta = 0).
/// There DTheta is the slope s0 = sum of x(x-1)/(2p) + (n-x)(n-x-1)/(2(1-p))
/// - n(n-1)/2, above 0 when the regions spread more than binomial sampling
/// would. Needs sum n > 0.
ModelPoint PooledPoint(const BetaBinomialData& data);

/// The log-likelihood (with the sum of log C(n, x)) and its derivatives in
/// mu and theta.
struct LikelihoodTerms {
  double LogLik = 0.0;
  double DMean = 0.0;
  double DTheta = 0.0;
  double DMeanMean = 0.0;
  double DMeanTheta = 0.0;
  double DThetaTheta = 0.0;
};

/// The terms at `point`: sum over k < x of log(mu + k theta), over k < n - x
/// of log(1 - mu + k theta), minus over k < n of log1p(k theta), and their
/// derivatives, each a finite sum. -inf (or NaN) where the point is outside
/// the model (mu at 0 or 1 with counts that rule it out).
LikelihoodTerms EvaluateLikelihood(const BetaBinomialData& data,
                                   const ModelPoint& point);

/// What the log-likelihood at `point` adds to its ladder sums: the sum of
/// log C(n, x), sum x log mu and sum (n - x) log(1 - mu), the bits
/// EvaluateLikelihood starts from. Needs a point inside the model.
double LogLikelihoodBase(const BetaBinomialData& data, const ModelPoint& point);

/// EvaluateLikelihood's derivatives, the same bits, without its sums of
/// logarithms (the costly part): LogLik is 0 inside the model and -inf
/// outside it, as EvaluateLikelihood's would be.
LikelihoodTerms EvaluateDerivatives(const BetaBinomialData& data, const ModelPoint& point);

/// The slope in mu and its derivative alone, as EvaluateLikelihood has them
/// (DMean, DMeanMean), at a fraction of its cost: what maximising over mu
/// at a fixed size needs. Needs a point inside the model.
struct MeanSlope {
  double DMean = 0.0;
  double DMeanMean = 0.0;
};
MeanSlope EvaluateMeanSlope(const BetaBinomialData& data, const ModelPoint& point);

/// The log-likelihood's gradient and Hessian in the coordinates
/// (logit mu, log(Alpha + Beta)), in which the fit steps and the standard
/// errors are taken.
struct LocalShape {
  double LogLik = 0.0;
  std::array<double, 2> Gradient{};
  std::array<std::array<double, 2>, 2> Hessian{};
};

/// The chain rule from (mu, theta) to (logit mu, log(Alpha + Beta)).
LocalShape ShapeInLogitLogSize(const LikelihoodTerms& terms,
                               const ModelPoint& point);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_BETA_BINOMIAL_LIKELIHOOD_H_
