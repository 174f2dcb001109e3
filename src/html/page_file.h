// Writing the page of a run from the estimated data.
#ifndef PROPSMOOTH_HTML_PAGE_FILE_H_
#define PROPSMOOTH_HTML_PAGE_FILE_H_

#include <cstddef>
#include <string_view>

#include "common/output_file.h"
#include "stats/record_estimates.h"
#include "tabular/table_files.h"

namespace propsmooth {

/// Writes the page of `data`, estimated under `settings`, read from the
/// file `data_name` (as the page names it); sections for the first
/// `max_groups` groups.
void WritePage(const EstimateSettings& settings, std::string_view data_name,
               std::size_t max_groups, const EstimatedData& data, OutputFile* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_PAGE_FILE_H_
