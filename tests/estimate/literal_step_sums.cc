#include "estimate/literal_step_sums.h"

#include <cstdint>

namespace propsmooth {
namespace {

// Terms of a region's Beta rows: none when Data1 reaches Data2.
std::int64_t FailureCount(const Region& region) {
  const std::int64_t failures =
      std::int64_t{region.Data2} - std::int64_t{region.Data1};
  return failures > 0 ? failures : 0;
}

double SumFirst(double base, std::int64_t count) {
  double inner = 0.0;
  for (std::int64_t k = 0; k < count; ++k) {
    inner = inner + 1.0 / (base + static_cast<double>(k));
  }
  return inner;
}

double SumSecond(double base, std::int64_t count) {
  double inner = 0.0;
  for (std::int64_t k = 0; k < count; ++k) {
    const double d = base + static_cast<double>(k);
    inner = inner + 1.0 / (d * d);
  }
  return inner;
}

}  // namespace

StepSums LiteralStepSums(const std::vector<Region>& regions, double alpha,
                         double beta) {
  const double alpha_plus_beta = alpha + beta;

  double shared = 0.0;  // row 1: S
  for (const Region& region : regions) {
    shared = shared - SumFirst(alpha_plus_beta, region.Data2);
  }
  double grad_alpha = shared;  // row 2
  for (const Region& region : regions) {
    grad_alpha = grad_alpha + SumFirst(alpha, region.Data1);
  }
  double grad_beta = shared;  // row 3
  for (const Region& region : regions) {
    grad_beta = grad_beta + SumFirst(beta, FailureCount(region));
  }
  double hess_mixed = 0.0;  // row 4
  for (const Region& region : regions) {
    hess_mixed = hess_mixed + SumSecond(alpha_plus_beta, region.Data2);
  }
  double hess_alpha = hess_mixed;  // row 5
  for (const Region& region : regions) {
    hess_alpha = hess_alpha - SumSecond(alpha, region.Data1);
  }
  double hess_beta = hess_mixed;  // row 6
  for (const Region& region : regions) {
    hess_beta = hess_beta - SumSecond(beta, FailureCount(region));
  }

  StepSums sums;
  sums.GradAlpha = grad_alpha;
  sums.GradBeta = grad_beta;
  sums.HessAlpha = hess_alpha;
  sums.HessBeta = hess_beta;
  sums.HessMixed = hess_mixed;
  return sums;
}

}  // namespace propsmooth
