#include "tabular/rate_tables.h"

#include <charconv>

#include "tabular/csv_columns.h"
#include "tabular/csv_table.h"
#include "tabular/summary_table.h"

namespace propsmooth {
namespace {

// Rows between two reports of progress, as for proportions.
constexpr std::size_t kRowsPerReport = std::size_t{1} << 16;

}  // namespace

void AppendRateCsvRow(const EstimatedData& data, RecordLabels* labels, std::size_t i,
                      const RecordFigures& figures, double per, bool threshold, std::string* out,
                      const LocalFigures* local) {
  const InputTable& input = data.Input;
  AppendCsvField(labels->Group(i), out);
  out->push_back(',');
  AppendCsvField(labels->Id(i), out);
  out->push_back(',');
  char text[16];
  const auto written = std::to_chars(text, text + sizeof text, input.Records[i].Data1);
  out->append(text, written.ptr);
  out->push_back(',');
  AppendShortest(input.Expected[i], out);
  AppendFigureCells(figures, FigureScale{false, per}, threshold, out);
  if (local != nullptr) AppendLocalCells(*local, FigureScale{false, per}, out);
  for (const TextColumn& kept : input.Kept) {
    out->push_back(',');
    AppendCsvField(kept[i], out);
  }
  out->push_back('\n');
}

void WriteRateCsvTable(const EstimatedData& data, const RateEstimates& estimates, double per,
                       bool threshold, bool exposure, OutputFile* csv,
                       const RowProgress& progress, const SpatialEstimates* spatial) {
  const InputTable& input = data.Input;
  const std::size_t records = input.Records.size();
  std::string block(kRateCsvTableHeader);
  block.pop_back();
  if (exposure) {
    // group,id,x, then the fourth column's name.
    const std::size_t fourth = block.find(',', block.find(',', block.find(',') + 1) + 1) + 1;
    block.replace(fourth, std::string_view("expected").size(), kExposureColumn);
  }
  if (threshold) block.append(kCsvThresholdColumns);
  if (spatial != nullptr) block.append(kCsvSpatialColumns);
  for (const std::string& name : input.KeptNames) {
    block.push_back(',');
    AppendCsvField(name, &block);
  }
  block.push_back('\n');
  RecordLabels labels(data);
  for (std::size_t i = 0; i < records; ++i) {
    AppendRateCsvRow(data, &labels, i, estimates.Figures[i], per, threshold, &block,
                     spatial != nullptr ? &spatial->Figures[i] : nullptr);
    FlushIfFull(&block, csv);
    if ((i + 1) % kRowsPerReport == 0 && progress) progress(i + 1, records);
  }
  csv->Write(block);
}

void WriteRateSummaryTable(const EstimatedData& data, const RateEstimates& estimates, double per,
                           OutputFile* csv, const SummaryColumns* more) {
  RecordLabels labels(data);
  std::string block(kSummaryTableHeader);
  if (more != nullptr) block.insert(block.size() - 1, more->Header);
  for (std::size_t g = 0; g < data.Plan.Groups.size(); ++g) {
    const GroupSpan& group = data.Plan.Groups[g];
    const RateMoments& moments = estimates.Moments[g];
    const bool prior = moments.Alpha > 0.0;
    PriorFit fit = estimates.Fits[g].Fit;
    if (fit.Prior) fit.Prior->Beta /= per;
    if (fit.SeBeta) *fit.SeBeta /= per;
    AppendSummaryRow(labels.Group(data.Plan.RecordIndices[group.Begin]), group.End - group.Begin,
                     SummaryMoments{moments.Mean * per, moments.Variance * per * per,
                                    prior ? std::optional(moments.Alpha) : std::nullopt,
                                    prior ? std::optional(moments.Beta / per) : std::nullopt},
                     fit, CountModel::kPoisson, &block);
    if (more != nullptr) block.insert(block.size() - 1, more->Cells[g]);
    FlushIfFull(&block, csv);
  }
  csv->Write(block);
}

}  // namespace propsmooth
