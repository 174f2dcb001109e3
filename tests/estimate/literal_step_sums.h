// The step sums written as the plain double loops, term by term: the
// reference the fast kernel must reproduce bit for bit.
#ifndef PROPSMOOTH_ESTIMATE_LITERAL_STEP_SUMS_H_
#define PROPSMOOTH_ESTIMATE_LITERAL_STEP_SUMS_H_

#include <vector>

#include "common/types.h"
#include "estimate/step_sums.h"

namespace propsmooth {

/// The five derivative quantities at (alpha, beta), each of the six rows
/// built on its own: for every region in order an inner sum from 0.0 over
/// k = 0, 1, ... (one term at a time), then combined with the row's running
/// total. Rows in the order S, gA, gB, HAB, HAA, HBB. Costs time
/// proportional to the sum of the counts; for tests only.
StepSums LiteralStepSums(const std::vector<Region>& regions, double alpha,
                         double beta);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_LITERAL_STEP_SUMS_H_
