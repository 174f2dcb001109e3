#include "sufficient_statistics_binding.h"

namespace propsmooth {

// The Dask helpers (propsmooth.dask's single-prior fit) register here.
void RegisterSufficientStatistics(pybind11::module_& /*m*/) {}

}  // namespace propsmooth
