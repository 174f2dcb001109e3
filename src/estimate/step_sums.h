// The sums of one Newton-Raphson step: the log-likelihood's first and second
// derivatives, as finite sums over the counts.
#ifndef PROPSMOOTH_ESTIMATE_STEP_SUMS_H_
#define PROPSMOOTH_ESTIMATE_STEP_SUMS_H_

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/types.h"

namespace propsmooth {

/// The five derivative quantities at one (A, B).
struct StepSums {
  double GradAlpha = 0.0;  // gA
  double GradBeta = 0.0;   // gB
  double HessAlpha = 0.0;  // HAA
  double HessBeta = 0.0;   // HBB
  double HessMixed = 0.0;  // HAB
};

/// The distinct values of one kind of count (n, x or n - x) of a group, in
/// ascending order, and for each region the index of its own count.
struct CountLadder {
  std::vector<std::int64_t> Counts;
  std::vector<std::uint32_t> Rung;  // per region, in region order
};

/// A second thread that stays for all the steps of one fit.
class SweepHelper;

/// What a group's steps share: built once per fit, read by every step.
struct StepPlan {
  CountLadder Size;      // n_i: terms in (A + B) + k
  CountLadder Success;   // x_i: terms in k + A
  CountLadder Failure;   // n_i - x_i, 0 when x_i >= n_i: terms in k + B
  // Set where the size sweep and the other two run on separate threads.
  std::shared_ptr<SweepHelper> Helper;
};

/// Builds the plan for `regions`. `allow_threads` lets large groups sweep
/// on more than one core.
StepPlan MakeStepPlan(const std::vector<Region>& regions, bool allow_threads);

/// The step sums at (alpha, beta). Bit for bit the literal double loops
/// over every region and every k (each inner sum from 0.0 in k order, the
/// regions in order), but each kind of count is swept once up to its
/// largest value and every region reads its inner sums off that sweep.
StepSums ComputeStepSums(const StepPlan& plan, double alpha, double beta);

/// Adds `terms` to `*sum` as `*sum = *sum + term` one at a time in order
/// would, bit for bit, for any terms. Spans of terms (each >= 0) during
/// which the sum stays between two powers of two are added without a chain
/// of dependent additions.
void AddInOrder(std::span<const double> terms, double* sum);

/// Running sums of 1/(base + k) and 1/((base + k)(base + k)) for
/// k = 0, 1, ..., read off after `counts[j]` terms into `first[j]` and
/// `second[j]`. `counts` ascends.
void SweepInnerSums(const std::vector<std::int64_t>& counts, double base,
                    std::vector<double>* first, std::vector<double>* second);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_STEP_SUMS_H_
