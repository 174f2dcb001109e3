// The module's functions for rates: counts against expected counts or
// person-time under a gamma prior, as propsmooth-report --model poisson
// estimates them.
#ifndef PROPSMOOTH_PYTHON_RATE_BINDING_H_
#define PROPSMOOTH_PYTHON_RATE_BINDING_H_

#include <pybind11/pybind11.h>

namespace propsmooth {

/// Adds rate_fit, smooth_rates and apply_rate_prior to
/// the module `m`.
void RegisterRates(pybind11::module_& m);

}  // namespace propsmooth

#endif  // PROPSMOOTH_PYTHON_RATE_BINDING_H_
