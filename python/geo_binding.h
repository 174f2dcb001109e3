// The neighbours and spatial estimates of propsmooth-report --neighbours for
// the package's GeoDataFrames: the regions' polygons arrive as flat
// coordinate arrays, neighbour lists travel as (offsets, positions) pairs.
#ifndef PROPSMOOTH_PYTHON_GEO_BINDING_H_
#define PROPSMOOTH_PYTHON_GEO_BINDING_H_

#include <pybind11/pybind11.h>

namespace propsmooth {

/// Adds parse_neighbours, contiguity, centroids, nearest,
/// read_neighbour_file, spatial and spatial_rates.
void RegisterGeo(pybind11::module_& m);

}  // namespace propsmooth

#endif  // PROPSMOOTH_PYTHON_GEO_BINDING_H_
