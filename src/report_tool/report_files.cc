#include "report_tool/report_files.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "report_tool/csv_table.h"
#include "report_tool/html_report.h"
#include "report_tool/summary_table.h"

namespace propsmooth {
namespace {

// Text is handed to the files in blocks of about this size.
constexpr std::size_t kFlushAt = std::size_t{1} << 16;
// Rows between two reports of progress.
constexpr std::size_t kRowsPerReport = std::size_t{1} << 16;

void FlushIfFull(std::string* block, OutputFile* file) {
  if (block->size() < kFlushAt) return;
  file->Write(*block);
  block->clear();
}

bool IsNamedInput(const InputTable& input) { return input.Format != InputFormat::kLegacy; }

std::string_view NumberText(std::int32_t value, std::string* text) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text->assign(digits, result.ptr);
  return *text;
}

// A group's title fields alone: enough for its index row.
GroupView HeadOfGroup(const EstimatedData& data, std::size_t g) {
  const GroupSpan& group = data.Plan.Groups[g];
  GroupView view;
  view.SingleGroup = data.Plan.SingleGroup;
  view.Unit = group.Unit;
  if (IsNamedInput(data.Input) && !data.Plan.SingleGroup) {
    view.Label = data.Input.GroupLabels[static_cast<std::size_t>(group.Unit)];
  }
  view.CodeIsRow = IsNamedInput(data.Input);
  return view;
}

GroupView ViewOfGroup(const EstimatedData& data, std::size_t g) {
  const InputTable& input = data.Input;
  const GroupSpan& group = data.Plan.Groups[g];
  GroupView view = HeadOfGroup(data, g);
  view.Summary = data.Summaries[g];
  if (g < data.Fits.size()) view.Fit = data.Fits[g];
  view.Regions.reserve(group.End - group.Begin);
  for (std::size_t k = group.Begin; k < group.End; ++k) {
    const std::uint32_t record = data.Plan.RecordIndices[k];
    view.Regions.push_back(input.Records[record]);
    if (!input.Ids.empty()) view.Ids.push_back(input.Ids[record]);
    if (!data.Discoveries.empty()) view.Discoveries.push_back(data.Discoveries[record]);
  }
  return view;
}

}  // namespace

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

void WritePage(const ReportSettings& settings, const EstimatedData& data, OutputFile* html) {
  const GroupPlan& plan = data.Plan;
  ReportHeader header;
  header.DataFileName =
      settings.DataFileName == kStandardStream ? "standard input" : settings.DataFileName;
  header.Fit = settings.Fit;
  header.Level = settings.Level;
  header.Estimator = settings.Estimator;
  header.RecordCount = data.Input.Records.size();
  header.GroupCount = plan.Groups.size();
  header.DetailedGroups = std::min(settings.MaxGroups, plan.Groups.size());

  std::string block;
  AppendDocumentHead(header, &block);
  AppendIndexHead(&block);
  for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
    const GroupSpan& group = plan.Groups[g];
    AppendIndexRow(GroupTitle(HeadOfGroup(data, g)), group.End - group.Begin,
                   data.Summaries[g], data.Fits[g], g < header.DetailedGroups, g, &block);
    FlushIfFull(&block, html);
  }
  AppendIndexFoot(header, &block);
  const SectionLimits limits;
  for (std::size_t g = 0; g < header.DetailedGroups; ++g) {
    AppendGroupSection(ViewOfGroup(data, g), g, settings.Fit.Eps, settings.Estimator,
                       settings.Level, settings.Threshold, limits, &block);
    FlushIfFull(&block, html);
  }
  AppendDocumentFoot(&block);
  html->Write(block);
}

void WriteIntervalTable(const EstimatedData& data, const RecordIntervals& intervals,
                        OutputFile* tsv, const RowProgress& progress) {
  const RecordTable& records = data.Input.Records;
  const bool named = IsNamedInput(data.Input);
  RecordLabels labels(data);
  std::string block = kIntervalTableHeader;
  if (named) {
    block.pop_back();
    block.append(kIntervalLabelColumns).push_back('\n');
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    const GroupPrior& prior = data.Priors[intervals.GroupOfRecord(i)];
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

CsvRowContext CsvRowContextOf(const EstimatedData& data, const RecordIntervals& posteriors,
                              std::size_t record, bool threshold) {
  CsvRowContext context;
  const GroupFit& fit = data.Fits[posteriors.GroupOfRecord(record)];
  context.Eb = EbUnderFit(data.Input.Records[record], fit);
  context.PriorName = FitChoiceText(fit.Choice);
  if (threshold) context.Threshold = data.Discoveries[record];
  return context;
}

void WriteCsvTable(const ReportSettings& settings, const EstimatedData& data,
                   const RecordIntervals& intervals, OutputFile* csv,
                   const RowProgress& progress) {
  const RecordTable& records = data.Input.Records;
  RecordLabels labels(data);
  std::string block(kCsvTableHeader);
  const bool threshold = settings.Threshold.has_value();
  if (threshold) {
    block.pop_back();
    block.append(kCsvThresholdColumns).push_back('\n');
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    CsvRowContext context = CsvRowContextOf(data, intervals, i, threshold);
    context.Percent = settings.Percent;
    context.Group = labels.Group(i);
    context.Id = labels.Id(i);
    AppendCsvRow(records[i], context, intervals[i], &block);
    FlushIfFull(&block, csv);
    if ((i + 1) % kRowsPerReport == 0 && progress) progress(i + 1, records.size());
  }
  csv->Write(block);
}

void WriteSummaryTable(const EstimatedData& data, OutputFile* csv) {
  RecordLabels labels(data);
  std::string block(kSummaryTableHeader);
  for (std::size_t g = 0; g < data.Plan.Groups.size(); ++g) {
    const GroupSpan& group = data.Plan.Groups[g];
    // Every group has a record, and every record its group's label.
    AppendSummaryRow(labels.Group(data.Plan.RecordIndices[group.Begin]), group.End - group.Begin,
                     data.Summaries[g], data.Fits[g].Fit, &block);
    FlushIfFull(&block, csv);
  }
  csv->Write(block);
}

}  // namespace propsmooth
