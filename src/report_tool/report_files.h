// Writing the report's files from the estimated data: the HTML page, the
// interval table (TSV) and the CSV table.
#ifndef PROPSMOOTH_REPORT_TOOL_REPORT_FILES_H_
#define PROPSMOOTH_REPORT_TOOL_REPORT_FILES_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "common/types.h"
#include "input/grouping.h"
#include "report/output_file.h"
#include "report_tool/csv_table.h"
#include "report_tool/discovery.h"
#include "report_tool/group_fit.h"
#include "report_tool/group_prior.h"
#include "report_tool/input_table.h"
#include "report_tool/record_intervals.h"
#include "report_tool/report_options.h"

namespace propsmooth {

/// The data as read and estimated: the records carry their results.
struct EstimatedData {
  InputTable Input;
  GroupPlan Plan;
  std::vector<GroupSummary> Summaries;  // by group of Plan
  std::vector<GroupPrior> Priors;       // by group, under the settings' estimator: the TSV's
  // By group: the fit that does not give up and the posterior it gives, of
  // the CSV table, the summary and the page; empty when none of them is asked.
  std::vector<GroupFit> Fits;
  // By record, with --threshold: the exceedance figures over the whole file.
  std::vector<RegionDiscovery> Discoveries;
};

/// Told now and then how many records are written.
using RowProgress = std::function<void(std::size_t done, std::size_t total)>;

/// The group and id of a record as the tables give them: for CSV and TSV
/// data the group's value and the id column's (empty without such a
/// column); for the four-number format the Unit (empty when all records
/// form one group) and the Code.
class RecordLabels {
 public:
  explicit RecordLabels(const EstimatedData& data) : data_(data) {}
  /// Each text is valid until the next call of the same function.
  std::string_view Group(std::size_t record);
  std::string_view Id(std::size_t record);

 private:
  const EstimatedData& data_;
  std::string group_;  // the text of a number, while it is used
  std::string id_;
};

/// Writes the page.
void WritePage(const ReportSettings& settings, const EstimatedData& data, OutputFile* html);

/// Writes the interval table: a header line, then a row per record in the
/// order of the data; CSV and TSV data add their Group and Id columns.
void WriteIntervalTable(const EstimatedData& data, const RecordIntervals& intervals,
                        OutputFile* tsv, const RowProgress& progress);

/// What the CSV row of `record` says beyond the record and its labels,
/// from its group's fit and `posteriors` (EstimateRecords' Posteriors);
/// its threshold cells with `threshold`.
CsvRowContext CsvRowContextOf(const EstimatedData& data, const RecordIntervals& posteriors,
                              std::size_t record, bool threshold);

/// Writes the CSV table: kCsvTableHeader (with kCsvThresholdColumns under
/// --threshold), then a row per record in the order of the data, under the
/// fits of data.Fits; `intervals` are theirs.
void WriteCsvTable(const ReportSettings& settings, const EstimatedData& data,
                   const RecordIntervals& intervals, OutputFile* csv,
                   const RowProgress& progress);

/// Writes the summary table: kSummaryTableHeader, then a row per group.
void WriteSummaryTable(const EstimatedData& data, OutputFile* csv);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_REPORT_FILES_H_
