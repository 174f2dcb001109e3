#include "tabular/table_files.h"

#include <charconv>
#include <vector>

#include "tabular/csv_columns.h"
#include "tabular/csv_table.h"
#include "tabular/interval_table.h"
#include "tabular/summary_table.h"

namespace propsmooth {
namespace {

// Rows between two reports of progress.
constexpr std::size_t kRowsPerReport = std::size_t{1} << 16;

std::string_view NumberText(std::int32_t value, std::string* text) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text->assign(digits, result.ptr);
  return *text;
}

// Rows ahead of the one written whose interval and group's fit are
// fetched early. A row's interval is its pair's, numbered in order of first
// sight, and its fit its group's: in a large file both lie anywhere in
// memory, and a row takes long enough to write that, asked for this far
// ahead, they are in cache by the time it is written.
constexpr std::size_t kFetchAhead = 16;

}  // namespace

bool IsNamedInput(const InputTable& input) { return input.Format != InputFormat::kLegacy; }

void FlushIfFull(std::string* block, OutputFile* file) {
  // Text is handed to the files in blocks of about this size.
  constexpr std::size_t kFlushAt = std::size_t{1} << 16;
  if (block->size() < kFlushAt) return;
  file->Write(*block);
  block->clear();
}

std::string_view RecordLabels::Group(std::size_t record) {
  const InputTable& input = data_.Input;
  if (data_.Plan.SingleGroup) return std::string_view();
  const std::int32_t unit = input.Records[record].Unit;
  if (IsNamedInput(input)) return input.GroupLabels[static_cast<std::size_t>(unit)];
  return NumberText(unit, &group_);
}

std::string_view RecordLabels::Id(std::size_t record) {
  const InputTable& input = data_.Input;
  if (IsNamedInput(input)) return input.Ids.empty() ? std::string_view() : input.Ids[record];
  return NumberText(input.Records[record].Code, &id_);
}

void WriteIntervalTable(const EstimatedData& data, PriorEstimator estimator, double level,
                        unsigned workers, OutputFile* tsv, const IntervalProgress& computed,
                        const RowProgress& progress) {
  const RecordTable& records = data.Input.Records;
  std::vector<LegacyPrior> priors;
  priors.reserve(data.Summaries.size());
  for (const GroupSummary& summary : data.Summaries) {
    priors.push_back(ChooseLegacyPrior(summary, estimator));
  }
  const RecordIntervals intervals =
      ComputeLegacyIntervals(records, data.Plan, priors, level, workers, computed);
  const bool named = IsNamedInput(data.Input);
  RecordLabels labels(data);
  std::string block = kIntervalTableHeader;
  if (named) {
    block.pop_back();
    block.append(kIntervalLabelColumns).push_back('\n');
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    const LegacyPrior& prior = priors[intervals.GroupOfRecord(i)];
    AppendIntervalRow(records[i], prior.Source, intervals[i], &block);
    if (named) {
      block.push_back('\t');
      AppendTsvText(labels.Group(i), &block);
      block.push_back('\t');
      AppendTsvText(labels.Id(i), &block);
    }
    block.push_back('\n');
    FlushIfFull(&block, tsv);
    if ((i + 1) % kRowsPerReport == 0 && progress) progress(i + 1, records.size());
  }
  tsv->Write(block);
}

void WriteCsvTable(const EstimatedData& data, const RecordIntervals& intervals, bool threshold,
                   bool percent, OutputFile* csv, const RowProgress& progress,
                   const SpatialEstimates* spatial) {
  const RecordTable& records = data.Input.Records;
  RecordLabels labels(data);
  const InputTable& input = data.Input;
  std::string block(kCsvTableHeader);
  block.pop_back();
  if (threshold) block.append(kCsvThresholdColumns);
  if (spatial != nullptr) block.append(kCsvSpatialColumns);
  for (const std::string& name : input.KeptNames) {
    block.push_back(',');
    AppendCsvField(name, &block);
  }
  block.push_back('\n');
  for (std::size_t i = 0; i < records.size(); ++i) {
#if defined(__GNUC__)
    // In the loop itself: a function of prefetches alone counts as one
    // without effects, and its calls are dropped.
    if (i + 2 * kFetchAhead < intervals.OfRecord.size()) {
      const std::uint32_t far = intervals.OfRecord[i + 2 * kFetchAhead];
      __builtin_prefetch(&intervals.Distinct[far]);
      __builtin_prefetch(&intervals.GroupOf[far]);
    }
    if (i + kFetchAhead < intervals.OfRecord.size()) {
      const std::size_t group = intervals.GroupOfRecord(i + kFetchAhead);
      if (group < data.Fits.size()) __builtin_prefetch(&data.Fits[group]);
    }
#endif
    const CsvRowContext context{FigureSourcesOf(records, data, intervals, i, threshold),
                                labels.Group(i), labels.Id(i), percent};
    AppendCsvRow(records[i], context, intervals[i], &block);
    if (spatial != nullptr) {
      block.pop_back();
      AppendLocalCells(spatial->Figures[i], FigureScale{percent, 1.0}, &block);
      block.push_back('\n');
    }
    // The kept columns come last, after every column of the estimates.
    if (!input.Kept.empty()) {
      block.pop_back();
      for (const TextColumn& kept : input.Kept) {
        block.push_back(',');
        AppendCsvField(kept[i], &block);
      }
      block.push_back('\n');
    }
    FlushIfFull(&block, csv);
    if ((i + 1) % kRowsPerReport == 0 && progress) progress(i + 1, records.size());
  }
  csv->Write(block);
}

void WriteSummaryTable(const EstimatedData& data, OutputFile* csv, const SummaryColumns* more) {
  RecordLabels labels(data);
  std::string block(kSummaryTableHeader);
  if (more != nullptr) block.insert(block.size() - 1, more->Header);
  for (std::size_t g = 0; g < data.Plan.Groups.size(); ++g) {
    const GroupSpan& group = data.Plan.Groups[g];
    // Every group has a record, and every record its group's label.
    AppendSummaryRow(labels.Group(data.Plan.RecordIndices[group.Begin]), group.End - group.Begin,
                     ReportedSummary(data, g), data.Fits[g].Fit, &block);
    if (more != nullptr) block.insert(block.size() - 1, more->Cells[g]);
    FlushIfFull(&block, csv);
  }
  csv->Write(block);
}

}  // namespace propsmooth
