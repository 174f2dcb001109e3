// The module's functions for a fit from per-partition sufficient statistics.
#ifndef PROPSMOOTH_PYTHON_SUFFICIENT_STATISTICS_BINDING_H_
#define PROPSMOOTH_PYTHON_SUFFICIENT_STATISTICS_BINDING_H_

#include <pybind11/pybind11.h>

namespace propsmooth {

/// Adds the sufficient-statistics functions to the module `m`.
void RegisterSufficientStatistics(pybind11::module_& m);

}  // namespace propsmooth

#endif  // PROPSMOOTH_PYTHON_SUFFICIENT_STATISTICS_BINDING_H_
