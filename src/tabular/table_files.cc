#include "tabular/table_files.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <memory>
#include <vector>

#include "tabular/csv_columns.h"
#include "tabular/csv_table.h"
#include "tabular/interval_table.h"
#include "tabular/ordered_chunks.h"
#include "tabular/summary_table.h"

namespace propsmooth {
namespace {

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
// fetched early. A row's interval is its pair's, numbered group after
// group, and its fit its group's: in a large file of many groups both lie
// anywhere in memory, and a row takes long enough to write that, asked for this far
// ahead, they are in cache by the time it is written.
constexpr std::size_t kFetchAhead = 16;

// A pair's cells are kept for the rows that repeat them when the table has
// at least this many records a pair: ten million regions of a few hundred
// sizes then format each number a few hundred thousand times rather than
// fifty million, and the kept text (about 120 bytes a pair) stays well
// below the records' own room. A table of mostly distinct pairs formats
// row by row, keeping nothing.
constexpr std::size_t kRowsPerKeptPair = 8;

// Rows a thread formats at a time, some 64 kB of text, written by the
// thread that formatted them while another formats its next: the text is
// still in the core's cache when the system copies it (written in blocks
// of megabytes the copy took three times as long).
constexpr std::size_t kRowsPerChunk = 512;

// Text kept in blocks that never move, so that it takes no more room than
// it holds and what was handed out stays where it is.
class TextArena {
 public:
  std::string_view Keep(std::string_view text) {
    if (capacity_ - used_ < text.size()) {
      capacity_ = std::max(kBlock, text.size());
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
      used_ = 0;
    }
    char* const at = blocks_.back().get() + used_;
    std::memcpy(at, text.data(), text.size());
    used_ += text.size();
    return {at, text.size()};
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t capacity_ = 0;  // of the last block
  std::size_t used_ = 0;
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

namespace {

void WriteCsvHeader(const InputTable& input, bool threshold, bool spatial, OutputFile* csv) {
  std::string header(kCsvTableHeader);
  header.pop_back();
  if (threshold) header.append(kCsvThresholdColumns);
  if (spatial) header.append(kCsvSpatialColumns);
  for (const std::string& name : input.KeptNames) {
    header.push_back(',');
    AppendCsvField(name, &header);
  }
  header.push_back('\n');
  csv->Write(header);
}

// Writes the CSV table's rows. Each thread makes its own `cells` with
// make_cells(): cells.Prepare(begin, end) is called before the rows of a
// chunk are formatted, cells.Append(i, block) appends row i's cells after
// its group and id (comma first, LF ended).
template <typename MakeCells>
void WriteCsvRows(const EstimatedData& data, bool percent, OutputFile* csv,
                  const RowProgress& progress, const SpatialEstimates* spatial, unsigned workers,
                  const MakeCells& make_cells) {
  const RecordTable& records = data.Input.Records;
  const InputTable& input = data.Input;
  // The four-number format's labels are numbers, which need no quotes:
  // written straight in (ten million rows spent a tenth of their time
  // making them strings first).
  const bool named = IsNamedInput(input);
  WriteChunksInOrder(records.size(), kRowsPerChunk, csv, progress, workers, [&] {
    return [&, labels = RecordLabels(data), cells = make_cells()](
               std::size_t begin, std::size_t end, std::string* block) mutable {
      cells.Prepare(begin, end);
      for (std::size_t i = begin; i < end; ++i) {
        if (named) {
          AppendCsvField(labels.Group(i), block);
          block->push_back(',');
          AppendCsvField(labels.Id(i), block);
        } else {
          if (!data.Plan.SingleGroup) AppendNumber(records[i].Unit, block);
          block->push_back(',');
          AppendNumber(records[i].Code, block);
        }
        cells.Append(i, block);
        if (spatial != nullptr) {
          block->pop_back();
          AppendLocalCells(spatial->Figures[i], FigureScale{percent, 1.0}, block);
          block->push_back('\n');
        }
        // The kept columns come last, after every column of the estimates.
        if (!input.Kept.empty()) {
          block->pop_back();
          for (const TextColumn& kept : input.Kept) {
            block->push_back(',');
            AppendCsvField(kept[i], block);
          }
          block->push_back('\n');
        }
      }
    };
  });
}

// The intervals of a chunk of rows, found before the rows are formatted:
// the posterior ComputeRecordPosteriors calls once per distinct pair, here
// called once per row.
class ChunkIntervals {
 public:
  ChunkIntervals(const RecordTable& records, const PairPosterior& posterior,
                 std::span<const std::uint32_t> group_of_record)
      : records_(records), posterior_(posterior), group_of_(group_of_record) {}

  std::size_t GroupOfRecord(std::size_t i) const { return group_of_.empty() ? 0 : group_of_[i]; }

  void Find(std::size_t begin, std::size_t end) {
    begin_ = begin;
    tasks_.resize(end - begin);
    bounds_.resize(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      bounds_[i - begin] = CredibleBounds{};
      tasks_[i - begin] = {&records_[i], GroupOfRecord(i), &bounds_[i - begin], nullptr};
    }
    posterior_(tasks_);
  }

  const CredibleBounds& operator[](std::size_t i) const { return bounds_[i - begin_]; }

 private:
  const RecordTable& records_;
  const PairPosterior& posterior_;
  std::span<const std::uint32_t> group_of_;
  std::vector<PairTask> tasks_;
  std::vector<CredibleBounds> bounds_;
  std::size_t begin_ = 0;
};

}  // namespace

void WriteIntervalTable(const EstimatedData& data, PriorEstimator estimator, double level,
                        unsigned workers, OutputFile* tsv, const IntervalProgress& computed,
                        const RowProgress& progress) {
  const RecordTable& records = data.Input.Records;
  std::vector<LegacyPrior> priors;
  priors.reserve(data.Summaries.size());
  for (const GroupSummary& summary : data.Summaries) {
    priors.push_back(ChooseLegacyPrior(summary, estimator));
  }
  const bool named = IsNamedInput(data.Input);
  std::string header = kIntervalTableHeader;
  if (named) {
    header.pop_back();
    header.append(kIntervalLabelColumns).push_back('\n');
  }
  tsv->Write(header);
  // The rows in chunks on the threads, each thread reading its chunks'
  // intervals from its own make_intervals().
  const auto write_rows = [&](const auto& make_intervals) {
    WriteChunksInOrder(records.size(), kRowsPerChunk, tsv, progress, workers, [&] {
      return [&, labels = RecordLabels(data), intervals = make_intervals()](
                 std::size_t begin, std::size_t end, std::string* block) mutable {
        intervals.Find(begin, end);
        for (std::size_t i = begin; i < end; ++i) {
          AppendIntervalRow(records[i], priors[intervals.GroupOfRecord(i)].Source, intervals[i],
                            block);
          if (named) {
            block->push_back('\t');
            AppendTsvText(labels.Group(i), block);
            block->push_back('\t');
            AppendTsvText(labels.Id(i), block);
          }
          block->push_back('\n');
        }
      };
    });
  };
  if (FindIntervalsWhileWriting(records, data.Plan, workers)) {
    const PairPosterior posterior = LegacyPosterior(priors, level);
    const FillLaterVector<std::uint32_t> group_of = GroupOfEachRecord(records, data.Plan, workers);
    write_rows([&] { return ChunkIntervals(records, posterior, group_of); });
    return;
  }
  // Found beforehand, once per pair: a chunk only reads them.
  struct PairIntervals {
    const RecordIntervals& All;
    void Find(std::size_t, std::size_t) {}
    std::size_t GroupOfRecord(std::size_t i) const { return All.GroupOfRecord(i); }
    const CredibleBounds& operator[](std::size_t i) const { return All[i]; }
  };
  const RecordIntervals intervals =
      ComputeLegacyIntervals(records, data.Plan, priors, level, workers, computed);
  write_rows([&] { return PairIntervals{intervals}; });
}

void WriteCsvTable(const EstimatedData& data, const RecordIntervals& intervals, bool threshold,
                   bool percent, OutputFile* csv, const RowProgress& progress,
                   const SpatialEstimates* spatial, unsigned workers) {
  const RecordTable& records = data.Input.Records;
  WriteCsvHeader(data.Input, threshold, spatial != nullptr, csv);
  const std::size_t threads = std::max(1u, workers);
  const auto make_cells = [&](std::size_t i, std::string* out) {
    const CsvRowContext context{FigureSourcesOf(records, data, intervals, i, threshold), {}, {},
                                percent};
    AppendCsvPairCells(records[i], context, intervals[i], out);
  };

  // Where pairs repeat, each pair's cells, made before any row from the
  // record that shows the pair first.
  const std::size_t pairs = intervals.Distinct.size();
  std::vector<std::string_view> pair_cells;
  std::vector<TextArena> arenas;
  if (pairs > 0 && pairs <= records.size() / kRowsPerKeptPair) {
    constexpr std::uint32_t kUnseen = ~std::uint32_t{0};
    std::vector<std::uint32_t> shown_by(pairs, kUnseen);
    for (std::size_t i = 0; i < records.size(); ++i) {
      std::uint32_t& first = shown_by[intervals.OfRecord[i]];
      if (first == kUnseen) first = static_cast<std::uint32_t>(i);
    }
    pair_cells.resize(pairs);
    arenas.resize(threads);
    std::atomic<std::size_t> next{0};
    RunInParallel(threads, [&](std::size_t thread) {
      std::string made;
      for (std::size_t begin = next.fetch_add(kRowsPerChunk); begin < pairs;
           begin = next.fetch_add(kRowsPerChunk)) {
        for (std::size_t pair = begin; pair < std::min(pairs, begin + kRowsPerChunk); ++pair) {
          made.clear();
          make_cells(shown_by[pair], &made);
          pair_cells[pair] = arenas[thread].Keep(made);
        }
      }
    });
  }

  struct PairCells {
    const EstimatedData& Data;
    const RecordIntervals& Intervals;
    const std::vector<std::string_view>& Kept;
    const decltype(make_cells)& Make;

    void Prepare(std::size_t, std::size_t) {}
    void Append(std::size_t i, std::string* block) {
      const std::size_t rows = Intervals.OfRecord.size();
      if (!Kept.empty()) {
#if defined(__GNUC__)
        // In the loop itself: a function of prefetches alone counts as one
        // without effects, and its calls are dropped. A pair's cells lie
        // anywhere in the kept text, which outgrows the caches.
        if (i + 2 * kFetchAhead < rows) {
          __builtin_prefetch(&Kept[Intervals.OfRecord[i + 2 * kFetchAhead]]);
        }
        if (i + kFetchAhead < rows) {
          const char* const text = Kept[Intervals.OfRecord[i + kFetchAhead]].data();
          __builtin_prefetch(text);
          __builtin_prefetch(text + 64);
          __builtin_prefetch(text + 128);
        }
#endif
        block->append(Kept[Intervals.OfRecord[i]]);
        return;
      }
#if defined(__GNUC__)
      if (i + 2 * kFetchAhead < rows) {
        const std::uint32_t far = Intervals.OfRecord[i + 2 * kFetchAhead];
        __builtin_prefetch(&Intervals.Distinct[far]);
        __builtin_prefetch(&Intervals.GroupOf[far]);
      }
      if (i + kFetchAhead < rows) {
        const std::size_t group = Intervals.GroupOfRecord(i + kFetchAhead);
        if (group < Data.Fits.size()) __builtin_prefetch(&Data.Fits[group]);
      }
#endif
      Make(i, block);
    }
  };
  WriteCsvRows(data, percent, csv, progress, spatial, workers,
               [&] { return PairCells{data, intervals, pair_cells, make_cells}; });
}

void WriteCsvTableFindingIntervals(const EstimatedData& data, const PairPosterior& posterior,
                                   std::span<const std::uint32_t> group_of_record, bool percent,
                                   OutputFile* csv, const RowProgress& progress,
                                   const SpatialEstimates* spatial, unsigned workers) {
  WriteCsvHeader(data.Input, false, spatial != nullptr, csv);
  struct FoundCells {
    const EstimatedData& Data;
    bool Percent;
    ChunkIntervals Intervals;

    void Prepare(std::size_t begin, std::size_t end) { Intervals.Find(begin, end); }
    void Append(std::size_t i, std::string* block) {
      const RecordTable& records = Data.Input.Records;
#if defined(__GNUC__)
      if (i + kFetchAhead < records.size()) {
        const std::size_t group = Intervals.GroupOfRecord(i + kFetchAhead);
        if (group < Data.Fits.size()) __builtin_prefetch(&Data.Fits[group]);
      }
#endif
      const CsvRowContext context{
          FigureSourcesOf(records, Data, Intervals.GroupOfRecord(i), i, false), {}, {}, Percent};
      AppendCsvPairCells(records[i], context, Intervals[i], block);
    }
  };
  WriteCsvRows(data, percent, csv, progress, spatial, workers,
               [&] {
                 return FoundCells{data, percent,
                                   ChunkIntervals(data.Input.Records, posterior, group_of_record)};
               });
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
