#include "tabular/table_files.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "tabular/csv_columns.h"
#include "tabular/csv_table.h"
#include "tabular/interval_table.h"
#include "tabular/summary_table.h"

namespace propsmooth {
namespace {

// Rows between two reports of progress.
constexpr std::size_t kRowsPerReport = std::size_t{1} << 16;

void AppendNumber(std::int32_t value, std::string* out) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out->append(digits, result.ptr);
}

std::string_view NumberText(std::int32_t value, std::string* text) {
  text->clear();
  AppendNumber(value, text);
  return *text;
}

// Rows ahead of the one written whose interval and group's fit are
// fetched early. A row's interval is its pair's, numbered in order of first
// sight, and its fit its group's: in a large file both lie anywhere in
// memory, and a row takes long enough to write that, asked for this far
// ahead, they are in cache by the time it is written.
constexpr std::size_t kFetchAhead = 16;

// A pair's cells are kept for the rows that repeat them when the table has
// at least this many records a pair: ten million regions of a few hundred
// sizes then format each number a few hundred thousand times rather than
// fifty million, and the kept text (about 120 bytes a pair) stays well
// below the records' own room. A table of mostly distinct pairs formats
// row by row, keeping nothing.
constexpr std::size_t kRowsPerKeptPair = 8;

// The cells of each pair (a group's count and size), made when the pair's
// first row is written and copied into each later one. The text is kept in
// blocks that never move, so that it takes no more room than it holds.
class PairCells {
 public:
  explicit PairCells(std::size_t pairs) : spans_(pairs) {}

  // Appends the cells of `pair` to `out`, made by make(&text) when first
  // asked for.
  template <typename Make>
  void Append(std::uint32_t pair, const Make& make, std::string* out) {
    Span& span = spans_[pair];
    if (span.Text == nullptr) {
      made_.clear();
      make(&made_);
      span.Text = Keep(made_);
      span.Length = made_.size();
    }
    out->append(span.Text, span.Length);
  }

  // Where the span of `pair` lies, and its text once made (null before):
  // for prefetching, which must happen in the loop itself (see below).
  const void* SpanAt(std::uint32_t pair) const { return &spans_[pair]; }
  const char* TextAt(std::uint32_t pair) const { return spans_[pair].Text; }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  struct Span {
    const char* Text = nullptr;  // null: not made yet
    std::size_t Length = 0;
  };

  const char* Keep(std::string_view text) {
    if (capacity_ - used_ < text.size()) {
      capacity_ = std::max(kBlock, text.size());
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
      used_ = 0;
    }
    char* const at = blocks_.back().get() + used_;
    std::memcpy(at, text.data(), text.size());
    used_ += text.size();
    return at;
  }

  std::vector<Span> spans_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t capacity_ = 0;  // of the last block
  std::size_t used_ = 0;
  std::string made_;
};

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
  const std::size_t pairs = intervals.Distinct.size();
  std::optional<PairCells> kept_cells;
  if (pairs > 0 && pairs <= records.size() / kRowsPerKeptPair) kept_cells.emplace(pairs);
  const auto make_cells = [&](std::size_t i, std::string* out) {
    const CsvRowContext context{FigureSourcesOf(records, data, intervals, i, threshold), {}, {},
                                percent};
    AppendCsvPairCells(records[i], context, intervals[i], out);
  };
  // The four-number format's labels are numbers, which need no quotes:
  // written straight in (ten million rows spent a tenth of their time
  // making them strings first).
  const bool named = IsNamedInput(input);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (named) {
      AppendCsvField(labels.Group(i), &block);
      block.push_back(',');
      AppendCsvField(labels.Id(i), &block);
    } else {
      if (!data.Plan.SingleGroup) AppendNumber(records[i].Unit, &block);
      block.push_back(',');
      AppendNumber(records[i].Code, &block);
    }
    if (kept_cells) {
#if defined(__GNUC__)
      // A pair's cells lie anywhere in the kept text, which outgrows the
      // caches: fetched early as the other figures are below.
      if (i + 2 * kFetchAhead < records.size()) {
        __builtin_prefetch(kept_cells->SpanAt(intervals.OfRecord[i + 2 * kFetchAhead]));
      }
      if (i + kFetchAhead < records.size()) {
        if (const char* text = kept_cells->TextAt(intervals.OfRecord[i + kFetchAhead])) {
          // Two or three cache lines.
          __builtin_prefetch(text);
          __builtin_prefetch(text + 64);
          __builtin_prefetch(text + 128);
        }
      }
#endif
      kept_cells->Append(
          intervals.OfRecord[i], [&](std::string* out) { make_cells(i, out); }, &block);
    } else {
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
      make_cells(i, &block);
    }
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
