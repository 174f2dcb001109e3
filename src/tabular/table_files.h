// The tables of a run, from the estimated data: the interval table (TSV),
// the CSV table and the summary; and the data as read and estimated.
#ifndef PROPSMOOTH_TABULAR_TABLE_FILES_H_
#define PROPSMOOTH_TABULAR_TABLE_FILES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/output_file.h"
#include "stats/record_estimates.h"
#include "stats/record_intervals.h"
#include "stats/spatial_eb.h"
#include "tabular/input_table.h"

namespace propsmooth {

/// The data as read and estimated: the records carry their results.
struct EstimatedData : EstimatedGroups {
  InputTable Input;
};

/// Whether the data came from a CSV or TSV file, whose groups and ids are
/// text, rather than the four-number format.
bool IsNamedInput(const InputTable& input);

/// Hands `block` to `file` once it holds enough to be worth a write.
void FlushIfFull(std::string* block, OutputFile* file);

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

/// Writes the interval table: a header line, then a row per record in the
/// order of the data, with its interval at `level` under its group's legacy
/// prior of `estimator` (computed here, on up to `workers` threads: no
/// other output has it); CSV and TSV data add their Group and Id columns.
/// The intervals are found once per distinct pair first, told to
/// `computed`, or as the rows are written (FindIntervalsWhileWriting).
void WriteIntervalTable(const EstimatedData& data, PriorEstimator estimator, double level,
                        unsigned workers, OutputFile* tsv, const IntervalProgress& computed,
                        const RowProgress& progress);

/// Writes the CSV table: kCsvTableHeader (with kCsvThresholdColumns and
/// their cells when `threshold`, kCsvSpatialColumns and their cells with
/// `spatial` (by record), then the kept columns of the data), then a row
/// per record in the order of the data, under the fits of data.Fits;
/// `intervals` are theirs. Proportions in percent when `percent`. Rows are
/// formatted on up to `workers` threads and written in order as they are
/// ready; `progress` is told on the calling thread. What a thread throws
/// (running out of memory) reaches the caller.
void WriteCsvTable(const EstimatedData& data, const RecordIntervals& intervals, bool threshold,
                   bool percent, OutputFile* csv, const RowProgress& progress,
                   const SpatialEstimates* spatial = nullptr, unsigned workers = 1);

/// The same table without threshold columns and without intervals found
/// beforehand: each row's interval is found by `posterior` (as
/// PosteriorsUnderFits(data.Fits) gives them) as its rows are written,
/// the record's group read from `group_of_record` (empty: all in group 0).
/// The bytes are WriteCsvTable's. For a table of nearly all distinct
/// counts and sizes, which then holds no table of intervals: a pair that
/// repeats is found again.
void WriteCsvTableFindingIntervals(const EstimatedData& data, const PairPosterior& posterior,
                                   std::span<const std::uint32_t> group_of_record, bool percent,
                                   OutputFile* csv, const RowProgress& progress,
                                   const SpatialEstimates* spatial, unsigned workers);

/// Columns put after the summary's own: their names and each group's
/// cells (by group), each comma first.
struct SummaryColumns {
  std::string Header;
  std::vector<std::string> Cells;
};

/// Writes the summary table: kSummaryTableHeader, then a row per group;
/// `more` (when not null) adds its columns at the end of every line.
void WriteSummaryTable(const EstimatedData& data, OutputFile* csv,
                       const SummaryColumns* more = nullptr);

}  // namespace propsmooth

#endif  // PROPSMOOTH_TABULAR_TABLE_FILES_H_
