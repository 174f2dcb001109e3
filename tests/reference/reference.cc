#include "reference/reference.h"

#include <cmath>

namespace propsmooth {
namespace {

// Adds the terms of k in [from, to) to both running sums, one at a time.
void AddTerms(double base, std::int64_t from, std::int64_t to, double* first,
              double* second) {
  for (std::int64_t k = from; k < to; ++k) {
    const double d = base + static_cast<double>(k);
    *first = *first + 1.0 / d;
    *second = *second + 1.0 / (d * d);
  }
}

// One kind of count's two inner sums for every region, each from 0.0.
struct RegionSums {
  std::vector<double> First;
  std::vector<double> Second;
};

template <typename CountOf>
RegionSums InnerSumsOfRegions(const std::vector<Region>& regions, double base,
                              CountOf count_of) {
  RegionSums sums;
  for (const Region& region : regions) {
    double first = 0.0;
    double second = 0.0;
    AddTerms(base, 0, count_of(region), &first, &second);
    sums.First.push_back(first);
    sums.Second.push_back(second);
  }
  return sums;
}

bool AllFinite(const StepSums& s) {
  return std::isfinite(s.GradAlpha) && std::isfinite(s.GradBeta) &&
         std::isfinite(s.HessAlpha) && std::isfinite(s.HessBeta) &&
         std::isfinite(s.HessMixed);
}

}  // namespace

void LiteralInnerSums(const std::vector<std::int64_t>& counts, double base,
                      std::vector<double>* first, std::vector<double>* second) {
  first->clear();
  second->clear();
  double sum1 = 0.0;
  double sum2 = 0.0;
  std::int64_t k = 0;
  for (const std::int64_t count : counts) {
    AddTerms(base, k, count, &sum1, &sum2);
    k = count;
    first->push_back(sum1);
    second->push_back(sum2);
  }
}

StepSums LiteralStepSums(const std::vector<Region>& regions, double alpha,
                         double beta) {
  const double alpha_plus_beta = alpha + beta;
  // A count below 0 gives no terms, as a loop up to it does; a region's
  // Beta rows have none when Data1 reaches Data2.
  const RegionSums size = InnerSumsOfRegions(
      regions, alpha_plus_beta, [](const Region& r) { return std::int64_t{r.Data2}; });
  const RegionSums success = InnerSumsOfRegions(
      regions, alpha, [](const Region& r) { return std::int64_t{r.Data1}; });
  const RegionSums failure = InnerSumsOfRegions(regions, beta, [](const Region& r) {
    return std::int64_t{r.Data2} - std::int64_t{r.Data1};
  });
  const std::size_t count = regions.size();

  double shared = 0.0;  // row 1: S
  for (std::size_t i = 0; i < count; ++i) shared = shared - size.First[i];
  double grad_alpha = shared;  // row 2
  for (std::size_t i = 0; i < count; ++i) grad_alpha = grad_alpha + success.First[i];
  double grad_beta = shared;  // row 3
  for (std::size_t i = 0; i < count; ++i) grad_beta = grad_beta + failure.First[i];
  double hess_mixed = 0.0;  // row 4
  for (std::size_t i = 0; i < count; ++i) hess_mixed = hess_mixed + size.Second[i];
  double hess_alpha = hess_mixed;  // row 5
  for (std::size_t i = 0; i < count; ++i) hess_alpha = hess_alpha - success.Second[i];
  double hess_beta = hess_mixed;  // row 6
  for (std::size_t i = 0; i < count; ++i) hess_beta = hess_beta - failure.Second[i];

  return StepSums{.GradAlpha = grad_alpha,
                  .GradBeta = grad_beta,
                  .HessAlpha = hess_alpha,
                  .HessBeta = hess_beta,
                  .HessMixed = hess_mixed};
}

StepSumsFunction LiteralKernel(const std::vector<Region>& regions) {
  return [&regions](double alpha, double beta) {
    return LiteralStepSums(regions, alpha, beta);
  };
}

void PlainFit(const RunSettings& settings, const StepSumsFunction& step_sums,
              GroupSummary* summary) {
  double alpha = settings.AlphaInit > 0.0 ? settings.AlphaInit : summary->AlphaMe;
  double beta = settings.BetaInit > 0.0 ? settings.BetaInit : summary->BetaMe;
  summary->AlphaStart = alpha;
  summary->BetaStart = beta;
  double d_alpha = 9999.0;
  double d_beta = 9999.0;
  std::int32_t iterations = 0;
  bool converged = true;
  while (d_alpha > settings.Eps || d_beta > settings.Eps) {
    if (iterations >= settings.IterationLimit) {
      converged = false;
      break;
    }
    const StepSums s = step_sums(alpha, beta);
    const double det = s.HessAlpha * s.HessBeta - s.HessMixed * s.HessMixed;
    const double step_alpha = -(s.HessBeta * s.GradAlpha - s.HessMixed * s.GradBeta) / det;
    const double step_beta = (s.HessMixed * s.GradAlpha - s.HessAlpha * s.GradBeta) / det;
    if (!AllFinite(s) || det == 0.0 || !std::isfinite(det) || !std::isfinite(step_alpha) ||
        !std::isfinite(step_beta) || !std::isfinite(alpha + step_alpha) ||
        !std::isfinite(beta + step_beta)) {
      converged = false;
      break;
    }
    alpha = alpha + step_alpha;
    beta = beta + step_beta;
    d_alpha = step_alpha;
    d_beta = step_beta;
    if (alpha <= 0.0 || beta <= 0.0) {
      converged = false;
      break;
    }
    d_alpha = std::fabs(d_alpha);
    d_beta = std::fabs(d_beta);
    ++iterations;
  }
  summary->Iterations = iterations;
  summary->Mle = converged ? std::optional(BetaPrior{alpha, beta}) : std::nullopt;
  summary->ErrAlpha = d_alpha;
  summary->ErrBeta = d_beta;
}

}  // namespace propsmooth
