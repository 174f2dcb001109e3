// The sums of one Newton-Raphson step: the log-likelihood's first and second
// derivatives, as finite sums over the counts.
#ifndef PROPSMOOTH_ESTIMATE_STEP_SUMS_H_
#define PROPSMOOTH_ESTIMATE_STEP_SUMS_H_

#include <memory>
#include <span>
#include <vector>

#include "common/parallel.h"
#include "common/types.h"
#include "estimate/count_ladder.h"

namespace propsmooth {

/// The five derivative quantities at one (A, B).
struct StepSums {
  double GradAlpha = 0.0;  // gA
  double GradBeta = 0.0;   // gB
  double HessAlpha = 0.0;  // HAA
  double HessBeta = 0.0;   // HBB
  double HessMixed = 0.0;  // HAB
};

/// One ladder's inner sums, by rung.
struct InnerSums {
  std::vector<double> First;   // sum of 1/d
  std::vector<double> Second;  // sum of 1/(d*d)
};

/// What a group's steps share: built once per fit, used by every step.
/// Move-only: it owns the thread that the steps of a large group share.
struct StepPlan {
  CountLadder Size;      // n_i: terms in (A + B) + k
  CountLadder Success;   // x_i: terms in k + A
  CountLadder Failure;   // n_i - x_i: terms in k + B
  // Set where the size sweep and the other two run on separate threads.
  std::unique_ptr<WorkerThread> Helper;
  // Each step's inner sums, kept so that a step allocates nothing.
  InnerSums SizeSums;
  InnerSums SuccessSums;
  InnerSums FailureSums;
};

/// Builds the plan for `regions`. `allow_threads` lets large groups sweep
/// on more than one core.
StepPlan MakeStepPlan(std::span<const Region> regions, bool allow_threads);
StepPlan MakeStepPlan(std::span<const RegionRecord> regions, bool allow_threads);

/// The step sums at (alpha, beta). Bit for bit the literal double loops
/// over every region and every k (each inner sum from 0.0 in k order, the
/// regions in order), but each kind of count is swept once up to its
/// largest value and every region reads its inner sums off that sweep.
/// Uses the plan's helper thread, hence the plan is not const.
StepSums ComputeStepSums(StepPlan& plan, double alpha, double beta);

/// The step sums of a group known by the histograms of its counts, each
/// clamped at 0 (ClampedAtZero): the same terms, each distinct count's
/// inner sums weighted by its number of regions. The outer sums run in
/// value order, not region order, so they match ComputeStepSums to a few
/// ulps of each term, not bit for bit. `scratch` keeps a fit from
/// allocating at every step.
StepSums ComputeHistogramStepSums(const CountHistogram& success, const CountHistogram& failure,
                                  const CountHistogram& size, double alpha, double beta,
                                  InnerSums* scratch);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_STEP_SUMS_H_
