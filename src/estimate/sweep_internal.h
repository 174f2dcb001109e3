// The test seam of the sweeps: their in-order addition of a span on its
// own, where tests can give it the terms that must defeat its shortcuts.
// Included by the sweep kernel and by tests only.
#ifndef PROPSMOOTH_ESTIMATE_SWEEP_INTERNAL_H_
#define PROPSMOOTH_ESTIMATE_SWEEP_INTERNAL_H_

#include <span>

namespace propsmooth {

/// Adds `terms` to `*sum` as `*sum = *sum + term` one at a time in order
/// would, bit for bit, for any terms.
void AddInOrder(std::span<const double> terms, double* sum);

}  // namespace propsmooth

#endif  // PROPSMOOTH_ESTIMATE_SWEEP_INTERNAL_H_
