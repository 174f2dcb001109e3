// The plain computations the fast code must reproduce bit for bit: the
// step sums as literal double loops, term by term, and the Newton-Raphson
// fit as a loop that makes every step up to the limit. Shared by the unit
// tests, the fuzz targets and the benchmarks; never part of the program.
#ifndef PROPSMOOTH_TESTS_REFERENCE_REFERENCE_H_
#define PROPSMOOTH_TESTS_REFERENCE_REFERENCE_H_

#include <cstdint>
#include <vector>

#include "common/types.h"
#include "estimate/mle_internal.h"
#include "estimate/step_sums.h"

namespace propsmooth {

/// Running sums of 1/d and 1/(d*d), d = base + k, k = 0, 1, ..., each from
/// 0.0 one term at a time, read off after `counts[j]` terms into `first[j]`
/// and `second[j]`; `counts` ascends. What SweepInnerSums must give.
void LiteralInnerSums(const std::vector<std::int64_t>& counts, double base,
                      std::vector<double>* first, std::vector<double>* second);

/// The five derivative quantities at (alpha, beta): for every region in
/// order an inner sum from 0.0 over k = 0, 1, ... (one term at a time),
/// combined into the six rows S, gA, gB, HAB, HAA, HBB, each row its own
/// running total over the regions in order. Costs time proportional to the
/// sum of the counts.
StepSums LiteralStepSums(const std::vector<Region>& regions, double alpha,
                         double beta);

/// The step sums of `regions` by LiteralStepSums; `regions` must outlive
/// the function.
StepSumsFunction LiteralKernel(const std::vector<Region>& regions);

/// The fit as plainly written, with the sums from `step_sums`: from the
/// same starting values as FitMleWith, every step made until both
/// corrections are at most Eps or the limit is reached; a step without a
/// defined result or a parameter not above 0 fails it. Sets the same
/// summary fields as FitMleWith. Takes as many steps as the limit allows.
void PlainFit(const RunSettings& settings, const StepSumsFunction& step_sums,
              GroupSummary* summary);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_REFERENCE_REFERENCE_H_
