#include "estimate/step_sums.h"

#include <functional>
#include <system_error>
#include <thread>
#include <utility>

#include "common/float_env.h"
#include "estimate/stretch_sums.h"

namespace propsmooth {
namespace {

// Below this many terms a thread costs more than it saves.
constexpr std::int64_t kParallelTerms = 1 << 16;

// The weighted totals of one histogram's inner sums, in value order.
std::pair<double, double> WeightedSums(const CountHistogram& histogram, double base,
                                       InnerSums* scratch) {
  SweepInnerSumsInStretches(histogram.Values, base, &scratch->First, &scratch->Second);
  double first = 0.0;
  double second = 0.0;
  for (std::size_t j = 0; j < histogram.Values.size(); ++j) {
    const auto rows = static_cast<double>(histogram.Rows[j]);
    first = first + rows * scratch->First[j];
    second = second + rows * scratch->Second[j];
  }
  return {first, second};
}

template <typename Row>
StepPlan PlanOf(std::span<const Row> regions, bool allow_threads) {
  StepPlan plan;
  plan.Size = MakeCountLadder(regions, CountKind::kSize);
  plan.Success = MakeCountLadder(regions, CountKind::kSuccess);
  plan.Failure = MakeCountLadder(regions, CountKind::kFailure);
  if (allow_threads && std::thread::hardware_concurrency() > 1 &&
      Largest(plan.Size) >= kParallelTerms) {
    try {
      plan.Helper = std::make_unique<WorkerThread>();
    } catch (const std::system_error&) {
      // No thread to be had: the sweeps run one after the other.
    }
  }
  return plan;
}

}  // namespace

StepPlan MakeStepPlan(std::span<const Region> regions, bool allow_threads) {
  return PlanOf(regions, allow_threads);
}

StepPlan MakeStepPlan(std::span<const RegionRecord> regions, bool allow_threads) {
  return PlanOf(regions, allow_threads);
}

StepSums ComputeStepSums(StepPlan& plan, double alpha, double beta) {
  const GradualUnderflow gradual_underflow;
  InnerSums& size_sums = plan.SizeSums;
  InnerSums& success_sums = plan.SuccessSums;
  InnerSums& failure_sums = plan.FailureSums;
  const double alpha_plus_beta = alpha + beta;
  // The size sweep is the longest; the other two share the second core.
  RunPair(
      plan.Helper.get(),
      [&] {
        SweepInnerSumsInStretches(plan.Size.Counts, alpha_plus_beta, &size_sums.First,
                       &size_sums.Second);
      },
      [&] {
        SweepInnerSumsInStretches(plan.Success.Counts, alpha, &success_sums.First,
                       &success_sums.Second);
        SweepInnerSumsInStretches(plan.Failure.Counts, beta, &failure_sums.First,
                       &failure_sums.Second);
      });

  // The outer totals take the regions in order, each row as its own
  // running total: S, then gA and gB from S; HAB, then HAA and HBB from HAB.
  const std::size_t count = plan.Size.Regions();
  double shared = 0.0;
  double grad_alpha = 0.0;
  double grad_beta = 0.0;
  double hess_mixed = 0.0;
  double hess_alpha = 0.0;
  double hess_beta = 0.0;
  plan.Size.WithRungs([&](auto size) {
    plan.Success.WithRungs([&](auto success) {
      plan.Failure.WithRungs([&](auto failure) {
        for (std::size_t i = 0; i < count; ++i) {
          shared = shared - size_sums.First[size[i]];
        }
        grad_alpha = shared;
        grad_beta = shared;
        for (std::size_t i = 0; i < count; ++i) {
          grad_alpha = grad_alpha + success_sums.First[success[i]];
          grad_beta = grad_beta + failure_sums.First[failure[i]];
          hess_mixed = hess_mixed + size_sums.Second[size[i]];
        }
        hess_alpha = hess_mixed;
        hess_beta = hess_mixed;
        for (std::size_t i = 0; i < count; ++i) {
          hess_alpha = hess_alpha - success_sums.Second[success[i]];
          hess_beta = hess_beta - failure_sums.Second[failure[i]];
        }
      });
    });
  });
  StepSums sums;
  sums.GradAlpha = grad_alpha;
  sums.GradBeta = grad_beta;
  sums.HessAlpha = hess_alpha;
  sums.HessBeta = hess_beta;
  sums.HessMixed = hess_mixed;
  return sums;
}

StepSums ComputeHistogramStepSums(const CountHistogram& success, const CountHistogram& failure,
                                  const CountHistogram& size, double alpha, double beta,
                                  InnerSums* scratch) {
  const GradualUnderflow gradual_underflow;
  const auto [size_first, size_second] = WeightedSums(size, alpha + beta, scratch);
  const auto [success_first, success_second] = WeightedSums(success, alpha, scratch);
  const auto [failure_first, failure_second] = WeightedSums(failure, beta, scratch);
  // The same combination as over regions: S, then gA and gB from S; HAB,
  // then HAA and HBB from HAB.
  StepSums sums;
  sums.GradAlpha = -size_first + success_first;
  sums.GradBeta = -size_first + failure_first;
  sums.HessMixed = size_second;
  sums.HessAlpha = size_second - success_second;
  sums.HessBeta = size_second - failure_second;
  return sums;
}

}  // namespace propsmooth
