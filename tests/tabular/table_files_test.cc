#include "tabular/table_files.h"

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "input/grouping.h"
#include "stats/record_estimates.h"
#include "stats/record_figures.h"
#include "stats/record_intervals.h"
#include "tabular/csv_columns.h"
#include "tabular/csv_table.h"
#include "tabular/interval_table.h"
#include "tabular/written_text.h"

namespace propsmooth {
namespace {

// What a table is made of: `rows` records of sizes 20 to 29 (so counts and
// sizes repeat), in `groups` groups (0: one group of all), read from the
// four-number format or from a CSV file with labels that need quotes and a
// kept column.
struct TableShape {
  std::size_t Rows = 0;
  std::size_t Groups = 0;
  bool Named = false;
};

EstimatedData MakeData(const TableShape& shape) {
  EstimatedData data;
  InputTable& input = data.Input;
  input.Format = shape.Named ? InputFormat::kCsv : InputFormat::kLegacy;
  std::mt19937 random(20261209);
  for (std::size_t i = 0; i < shape.Rows; ++i) {
    const int size = 20 + static_cast<int>(random() % 10);
    const int count = static_cast<int>(random() % static_cast<unsigned>(size / 3 + 1));
    const int unit = shape.Groups == 0 ? -1 : static_cast<int>(random() % shape.Groups);
    input.Records.push_back({unit, static_cast<int>(i + 1), count, size});
  }
  if (shape.Named) {
    for (std::size_t g = 0; g < shape.Groups; ++g) {
      input.GroupLabels.push_back(g % 2 == 0 ? "County " + std::to_string(g) + ", OH"
                                             : "G" + std::to_string(g));
    }
    input.KeptNames.push_back("note");
    input.Kept.emplace_back();
    for (std::size_t i = 0; i < shape.Rows; ++i) {
      input.Ids.Append(i % 3 == 0 ? "id \"" + std::to_string(i) + "\"" : std::to_string(i));
      input.Kept.back().Append(i % 5 == 0 ? std::string() : "n" + std::to_string(i % 7));
    }
  }
  data.Plan = PlanGroups(input.Records);
  return data;
}

// Progress reaches a terminal, which only the calling thread writes to.
RowProgress OnCallerOnly() {
  return [caller = std::this_thread::get_id()](std::size_t done, std::size_t total) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_LE(done, total);
  };
}

// The table as one row after another would write it: every row through
// AppendCsvRow with the labels as RecordLabels gives them, the kept cells
// after; no chunks, no threads, no cells shared between rows.
std::string RowByRow(const EstimatedData& data, const RecordIntervals& intervals,
                     bool threshold, bool percent) {
  std::string text(kCsvTableHeader);
  text.pop_back();
  if (threshold) text.append(kCsvThresholdColumns);
  for (const std::string& name : data.Input.KeptNames) text.append(",").append(name);
  text.push_back('\n');
  RecordLabels labels(data);
  const RecordTable& records = data.Input.Records;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const CsvRowContext context{FigureSourcesOf(records, data, intervals, i, threshold),
                                labels.Group(i), labels.Id(i), percent};
    AppendCsvRow(records[i], context, intervals[i], &text);
    for (const TextColumn& kept : data.Input.Kept) {
      text.pop_back();
      text.push_back(',');
      AppendCsvField(kept[i], &text);
      text.push_back('\n');
    }
  }
  return text;
}

// The rows are made in chunks on several threads, and
// where a count and size repeat within a group their cells are made once:
// the table must still be the one written row by row. 40,000 records span
// many chunks. One group of sizes 20 to 29 has under 300 pairs, so its
// cells are shared; 5,000 groups of 8 records have nearly as many pairs as
// records, and are written row by row.
TEST(WriteCsvTable, SameAsRowByRowWhateverTheThreadsAndSharedCells) {
  struct Case {
    const char* Name;
    TableShape Shape;
    bool Threshold;
    bool Percent;
    unsigned Workers;
  };
  const Case cases[] = {
      {"one group, shared cells, 1 thread", {40000, 0, false}, false, false, 1},
      {"one group, shared cells, 2 threads", {40000, 0, false}, false, false, 2},
      {"one group, threshold, 3 threads", {40000, 0, false}, true, false, 3},
      {"many groups, row by row, 2 threads", {40000, 5000, false}, false, false, 2},
      // More threads than cores, 79 chunks and 32 kept at most: chunks
      // finish out of turn and wait to be written, threads wait to take one.
      {"many groups, 8 threads", {40000, 5000, false}, false, false, 8},
      {"many groups, threshold and percent", {40000, 5000, false}, true, true, 2},
      {"few groups, shared cells", {40000, 7, false}, true, false, 2},
      {"named, quoted labels, kept column", {40000, 12, true}, true, false, 2},
      {"named, many groups", {20000, 4000, true}, false, true, 3},
      {"fewer rows than a chunk", {100, 3, false}, false, false, 2},
      {"one row", {1, 0, false}, true, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EstimatedData data = MakeData(c.Shape);
    EstimateSettings settings;
    if (c.Threshold) settings.Threshold = 0.1;
    EstimateParts parts;
    parts.Fits = true;
    parts.Posteriors = true;
    const RecordEstimates estimates =
        EstimateRecords(settings, parts, 2, StageProgress(), &data.Input.Records, &data);
    const std::string written = WrittenText([&](OutputFile* csv) {
      WriteCsvTable(data, estimates.Posteriors, c.Threshold, c.Percent, csv, OnCallerOnly(),
                    nullptr, c.Workers);
    });
    const std::string expected = RowByRow(data, estimates.Posteriors, c.Threshold, c.Percent);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
    if (c.Threshold) continue;
    // The same bytes with each row's interval found as it is written.
    const std::string found_text = WrittenText([&](OutputFile* csv) {
      WriteCsvTableFindingIntervals(
          data, PosteriorsUnderFits(data.Fits, settings.Level, std::nullopt, c.Workers),
          GroupOfEachRecord(data.Input.Records, data.Plan, c.Workers), c.Percent, csv,
          OnCallerOnly(), nullptr, c.Workers);
    });
    EXPECT_TRUE(found_text == expected);
  }
}

// The interval table made row by row: each record's interval straight
// from PosteriorInterval under its group's legacy prior. Written in chunks
// on threads, with intervals found once per pair (one group of sizes 20 to
// 29 repeats its pairs) or as the rows are written (groups of 8 records
// nearly never repeat one), the bytes must be these.
TEST(WriteIntervalTable, SameAsRowByRowWhicheverWayIntervalsAreFound) {
  struct Case {
    const char* Name;
    TableShape Shape;
    unsigned Workers;
    bool WhileWriting;  // what FindIntervalsWhileWriting should say
  };
  const Case cases[] = {
      {"one group, once per pair", {40000, 0, false}, 2, false},
      {"many groups, while writing", {40000, 5000, false}, 3, true},
      {"named, while writing", {20000, 4000, true}, 2, true},
      {"named, few groups, once per pair", {20000, 5, true}, 1, false},
  };
  constexpr double kLevel = 0.9;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EstimatedData data = MakeData(c.Shape);
    const RecordEstimates estimates = EstimateRecords(EstimateSettings(), EstimateParts(), 2,
                                                      StageProgress(), &data.Input.Records, &data);
    const RecordTable& records = data.Input.Records;
    EXPECT_EQ(FindIntervalsWhileWriting(records, data.Plan, 2), c.WhileWriting);
    std::vector<std::size_t> group_of(records.size());
    for (std::size_t g = 0; g < data.Plan.Groups.size(); ++g) {
      for (std::size_t k = data.Plan.Groups[g].Begin; k < data.Plan.Groups[g].End; ++k) {
        group_of[data.Plan.RecordIndices[k]] = g;
      }
    }
    std::string expected(kIntervalTableHeader);
    if (c.Shape.Named) {
      expected.pop_back();
      expected.append(kIntervalLabelColumns).push_back('\n');
    }
    RecordLabels labels(data);
    for (std::size_t i = 0; i < records.size(); ++i) {
      const LegacyPrior prior =
          ChooseLegacyPrior(data.Summaries[group_of[i]], PriorEstimator::kMle);
      AppendIntervalRow(records[i], prior.Source,
                        PosteriorInterval(records[i].Data1, records[i].Data2, prior.Alpha,
                                          prior.Beta, kLevel),
                        &expected);
      if (c.Shape.Named) {
        expected.push_back('\t');
        AppendTsvText(labels.Group(i), &expected);
        expected.push_back('\t');
        AppendTsvText(labels.Id(i), &expected);
      }
      expected.push_back('\n');
    }
    const std::string written = WrittenText([&](OutputFile* tsv) {
      WriteIntervalTable(data, PriorEstimator::kMle, kLevel, c.Workers, tsv, {}, OnCallerOnly());
    });
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
  }
}

// How much of a table is first sights of a pair, on tables whose share is
// known: counted exactly up to 65536 records, estimated above within a
// few hundredths (its standard error is 1.6%; 5% is three of them), the
// same whatever the threads. Records of a group are dealt round the
// groups; each pair's `RowsPerPair` records follow one another.
TEST(ShareOfDistinctPairs, CountsOrEstimatesFirstSights) {
  struct Case {
    const char* Name;
    std::size_t Rows;
    std::size_t RowsPerPair;
    std::size_t Groups;  // 0: one group of all
    double Share;
    double Tolerance;    // relative
  };
  const Case cases[] = {
      {"exact: all distinct, many groups", 10000, 1, 100, 1.0, 0.0},
      {"exact: each pair twice", 10000, 2, 100, 0.5, 0.0},
      {"exact: one group of ten pairs", 10000, 1000, 0, 0.001, 0.0},
      {"estimated: all distinct, one group", 300000, 1, 0, 1.0, 0.05},
      {"estimated: each pair twice, many groups", 300000, 2, 1000, 0.5, 0.05},
      {"estimated: each pair four times", 300000, 4, 7, 0.25, 0.05},
      {"estimated: few pairs", 300000, 3000, 0, 0.01 / 30.0, 0.05},
      {"empty table", 0, 1, 0, 1.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    RecordTable table;
    const std::size_t groups = std::max<std::size_t>(c.Groups, 1);
    for (std::size_t i = 0; i < c.Rows; ++i) {
      const int unit = c.Groups == 0 ? -1 : static_cast<int>(i % groups);
      const int pair = static_cast<int>(i / groups / c.RowsPerPair);
      table.push_back({unit, static_cast<int>(i + 1), pair % 7, 1000 + pair});
    }
    const GroupPlan plan = PlanGroups(table);
    const double share = ShareOfDistinctPairs(table, plan, 1);
    EXPECT_NEAR(share, c.Share, c.Tolerance * c.Share);
    EXPECT_EQ(ShareOfDistinctPairs(table, plan, 3), share);
    EXPECT_EQ(FindIntervalsWhileWriting(table, plan, 2), share >= 0.9);
  }
}

}  // namespace
}  // namespace propsmooth
