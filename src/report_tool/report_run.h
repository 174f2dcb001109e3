// One run of propsmooth-report: data, estimation, HTML page and TSV table.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_RUN_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_RUN_H_

#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "app/estimate_groups.h"
#include "common/exit_status.h"
#include "common/types.h"
#include "input/grouping.h"
#include "report/output_file.h"
#include "report_tool/report_options.h"

namespace propsmooth {

/// Writes the page to `html` and, when `tsv` is not null, the interval
/// table of every record in data-file order to `tsv`. The records carry
/// their results; `summaries` are those of EstimateAllGroups.
void WriteReport(const ReportSettings& settings, const RecordTable& table,
                 const GroupPlan& plan, const std::vector<GroupSummary>& summaries,
                 OutputFile* html, OutputFile* tsv);

/// The whole run for the arguments after the program's name; every console
/// line goes to `console`. Bad data end the run with propsmooth's messages
/// and statuses, before any file is created.
ExitStatus RunReport(std::span<const std::string_view> args, std::FILE* console);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_RUN_H_
