// One sweep over k of the running sums of 1/(base + k) and 1/(base + k)^2,
// read off at a ladder of counts: bit for bit the plain loop, on every
// instruction set the dispatch may choose.
#ifndef PROPSMOOTH_ESTIMATE_SWEEP_H_
#define PROPSMOOTH_ESTIMATE_SWEEP_H_

#include <cstdint>
#include <vector>

namespace propsmooth {

/// Running sums of 1/d and 1/(d*d), d = base + k, for k = 0, 1, ..., each
/// from 0.0 one term at a time, read off after `counts[j]` terms into
/// `first[j]` and `second[j]`. `counts` ascends.
void SweepInnerSums(const std::vector<std::int64_t>& counts, double base,
                    std::vector<double>* first, std::vector<double>* second);

/// The name of the instruction set the sweeps run on now: what the
/// dispatch itself chooses.
const char* SweepTargetName();

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_SWEEP_H_
