// Writing the page of a run from the estimated data.
#ifndef PROPSMOOTH_HTML_PAGE_FILE_H_
#define PROPSMOOTH_HTML_PAGE_FILE_H_

#include <cstddef>
#include <string_view>

#include "common/output_file.h"
#include "geo/region_shapes.h"
#include "stats/rate_estimates.h"
#include "stats/spatial_eb.h"
#include "stats/record_estimates.h"
#include "tabular/input_table.h"
#include "tabular/table_files.h"

namespace propsmooth {

/// Writes the page of `data`, estimated under `settings`, read from the
/// file `data_name` (as the page names it) with the `columns` chosen
/// (none for the four-number format, whose names are Data1 and Data2);
/// index rows and sections for the first `max_groups` groups. With
/// `regions`, each section maps its records, joined by id, and with
/// `spatial` (the records' estimates towards their neighbourhoods) maps
/// those too.
void WritePage(const EstimateSettings& settings, std::string_view data_name,
               const ColumnChoice& columns, std::size_t max_groups,
               const EstimatedData& data, OutputFile* html,
               const RegionShapes* regions = nullptr, const SpatialEstimates* spatial = nullptr);

/// Writes the page of rates (--model poisson) as WritePage does: `data`
/// read and grouped (its counts against the expected values of
/// columns.Expected, person-time with `exposure`), `estimates` their
/// figures, rates shown times `per`.
void WriteRatePage(const EstimateSettings& settings, std::string_view data_name,
                   const ColumnChoice& columns, std::size_t max_groups, double per,
                   bool exposure, const EstimatedData& data, const RateEstimates& estimates,
                   OutputFile* html, const RegionShapes* regions = nullptr,
                   const SpatialEstimates* spatial = nullptr);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_PAGE_FILE_H_
