// The divisions a step's sums are written with and nothing else, added in
// any order: a yardstick for the step's time on a target. Not a strict
// bound: where the kernel can prove it exact, it takes 1/(d*d) from 1/d
// without a second division, and can then beat it.
#ifndef PROPSMOOTH_BENCH_DIVISION_FLOOR_H_
#define PROPSMOOTH_BENCH_DIVISION_FLOOR_H_

#include <cstdint>
#include <string>

#include "estimate/step_sums.h"

namespace propsmooth {

/// Sums of 1/d and 1/(d*d) over one ladder's k, in no particular order.
struct ReciprocalSums {
  double First = 0.0;
  double Second = 0.0;
};

struct DivisionFloorSums {
  ReciprocalSums Size;     // d = (alpha + beta) + k
  ReciprocalSums Success;  // d = alpha + k
  ReciprocalSums Failure;  // d = beta + k
};

/// For each ladder of `plan`, both reciprocals of every d = base + k with
/// k below the ladder's largest count: the terms the step's sweeps compute.
/// The threads are shared out as in ComputeStepSums, through the plan's
/// helper, and the dispatch is capped as the step kernel's is.
DivisionFloorSums DivisionFloor(StepPlan& plan, double alpha, double beta);

/// Both reciprocals of every d = base + k, k in [0, terms), on this thread:
/// the floor of one sweep.
ReciprocalSums SweepDivisionFloor(double base, std::int64_t terms);

/// The name of the target DivisionFloor's dispatch chooses now.
std::string DivisionFloorTarget();

}  // namespace propsmooth

#endif  // PROPSMOOTH_BENCH_DIVISION_FLOOR_H_
