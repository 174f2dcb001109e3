// The spatial part of a report run (--neighbours): each record's
// neighbours from the polygons, the centroids or a GAL/GWT file, joined to
// the records by their ids, and the spatial estimates over them.
#ifndef PROPSMOOTH_REPORT_APP_SPATIAL_RUN_H_
#define PROPSMOOTH_REPORT_APP_SPATIAL_RUN_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geo/region_shapes.h"
#include "report_app/report_settings.h"
#include "stats/spatial_eb.h"
#include "tabular/table_files.h"

namespace propsmooth {

/// Why --neighbours `text` is refused (what is allowed); empty when it is
/// a choice the run understands.
std::optional<std::string> NeighbourOptionError(std::string_view text);

/// The spatial figures of a run and what its console says of them.
struct SpatialRun {
  SpatialEstimates Estimates;              // by record
  std::vector<std::string> IslandIds;      // records without a neighbour
  std::vector<std::string> UnmatchedIds;   // regions of the source without a record
};

/// The neighbours of `data`'s records as `settings.Neighbours` chooses them
/// (queen and rook from `regions`, null when the run read none; knn:K from
/// --centroids, else from `regions`), then the spatial estimates of the
/// run's model on up to `workers` threads. False, with a message that
/// names the file or the ids at fault, when the records have no ids, an id
/// repeats, a record has no region or centroid, a file is unreadable or
/// malformed, or a kept column takes a spatial column's name.
bool RunSpatial(const ReportSettings& settings, const EstimatedData& data,
                const RegionShapes* regions, unsigned workers, SpatialRun* run,
                std::string* error);

/// The console line of a spatial run: neighbours' source, islands (by id,
/// the first twenty), regions without a record, clamped variances and the
/// neighbourhoods that took the moment prior.
std::string SpatialConsoleLines(const ReportSettings& settings, const SpatialRun& run);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_APP_SPATIAL_RUN_H_
