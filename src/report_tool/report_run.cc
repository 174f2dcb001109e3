#include "report_tool/report_run.h"

#include <algorithm>
#include <string>

#include "app/job_files.h"
#include "report_tool/beta_math.h"
#include "report_tool/html_report.h"
#include "report_tool/version.h"

namespace propsmooth {
namespace {

// Text is handed to the files in blocks of about this size.
constexpr std::size_t kFlushAt = std::size_t{1} << 16;

void FlushIfFull(std::string* block, OutputFile* file) {
  if (block->size() < kFlushAt) return;
  file->Write(*block);
  block->clear();
}

GroupView ViewOfGroup(const RecordTable& table, const GroupPlan& plan,
                      const GroupSpan& group, const GroupSummary& summary) {
  GroupView view;
  view.SingleGroup = plan.SingleGroup;
  view.Unit = group.Unit;
  view.Summary = summary;
  view.Regions.reserve(group.End - group.Begin);
  for (std::size_t k = group.Begin; k < group.End; ++k) {
    view.Regions.push_back(table[plan.RecordIndices[k]]);
  }
  return view;
}

}  // namespace

void WriteReport(const ReportSettings& settings, const RecordTable& table,
                 const GroupPlan& plan, const std::vector<GroupSummary>& summaries,
                 OutputFile* html, OutputFile* tsv) {
  ReportHeader header;
  header.DataFileName = settings.DataFileName;
  header.Fit = settings.Fit;
  header.Level = settings.Level;
  header.Estimator = settings.Estimator;
  header.RecordCount = table.size();
  header.GroupCount = plan.Groups.size();
  header.DetailedGroups = std::min(settings.MaxGroups, plan.Groups.size());

  std::string block;
  AppendDocumentHead(header, &block);
  AppendIndexHead(&block);
  for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
    const GroupSpan& group = plan.Groups[g];
    AppendIndexRow(plan.SingleGroup, group.Unit, group.End - group.Begin, summaries[g],
                   g < header.DetailedGroups, g, &block);
    FlushIfFull(&block, html);
  }
  AppendIndexFoot(header, &block);
  const SectionLimits limits;
  for (std::size_t g = 0; g < header.DetailedGroups; ++g) {
    const GroupView view = ViewOfGroup(table, plan, plan.Groups[g], summaries[g]);
    AppendGroupSection(view, g, settings.Fit.Eps, settings.Estimator, settings.Level,
                       limits, &block);
    FlushIfFull(&block, html);
  }
  AppendDocumentFoot(&block);
  html->Write(block);
  block.clear();
  if (tsv == nullptr) return;

  // Each record's prior is its group's.
  std::vector<std::uint32_t> group_of(table.size(), 0);
  for (std::size_t g = 0; g < plan.Groups.size(); ++g) {
    for (std::size_t k = plan.Groups[g].Begin; k < plan.Groups[g].End; ++k) {
      group_of[plan.RecordIndices[k]] = static_cast<std::uint32_t>(g);
    }
  }
  block = kIntervalTableHeader;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const RegionRecord& record = table[i];
    const GroupPrior prior = ChoosePrior(summaries[group_of[i]], settings.Estimator);
    const CredibleBounds bounds = PosteriorInterval(record.Data1, record.Data2, prior.Alpha,
                                                    prior.Beta, settings.Level);
    AppendIntervalRow(record, prior.Source, bounds, &block);
    FlushIfFull(&block, tsv);
  }
  tsv->Write(block);
}

ExitStatus RunReport(std::span<const std::string_view> args, std::FILE* console) {
  Print(console, std::string("propsmooth-report ") + kReportToolVersion +
                     ": HTML report of EB estimates for the Binomial-Beta model\n\n");
  ReportSettings settings;
  std::string text;
  switch (ReadReportCommandLine(args, &settings, &text)) {
    case CommandLineOutcome::kRun:
      break;
    case CommandLineOutcome::kShown:
      Print(console, text);
      return ExitStatus::kSuccess;
    case CommandLineOutcome::kOptionError:
    case CommandLineOutcome::kUsageError:
      Print(console, text);
      return ExitStatus::kBadInput;
  }
  const bool with_tsv = !settings.TsvFileName.empty();
  Print(console, " DataFileName  : " + settings.DataFileName + "\n");
  Print(console, " ReportFileName: " + settings.ReportFileName + "\n");
  if (with_tsv) Print(console, " TsvFileName   : " + settings.TsvFileName + "\n");

  // Never write over the data, nor write one file twice.
  std::vector<NamePair> pairs = {
      {&settings.ReportFileName, &settings.DataFileName}};
  if (with_tsv) {
    pairs.push_back({&settings.TsvFileName, &settings.DataFileName});
    pairs.push_back({&settings.TsvFileName, &settings.ReportFileName});
  }
  if (RefuseSameFiles(pairs, console)) return ExitStatus::kFileError;

  RecordTable table;
  const ExitStatus loaded = LoadDataFile(settings.DataFileName, &table, console);
  if (loaded != ExitStatus::kSuccess) return loaded;

  const GroupPlan plan = PlanGroups(table);
  const std::vector<GroupSummary> summaries = EstimateAllGroups(settings.Fit, plan, &table);

  OutputFile html;
  OutputFile tsv;
  if (!CreateOutputFile(settings.ReportFileName, &html, console) ||
      (with_tsv && !CreateOutputFile(settings.TsvFileName, &tsv, console))) {
    return ExitStatus::kFileError;
  }
  WriteReport(settings, table, plan, summaries, &html, with_tsv ? &tsv : nullptr);
  if (!CloseOutputFile(settings.ReportFileName, &html, console) ||
      (with_tsv && !CloseOutputFile(settings.TsvFileName, &tsv, console))) {
    return ExitStatus::kFileError;
  }
  Print(console, " Groups: " + std::to_string(plan.Groups.size()) + ", drawn: " +
                     std::to_string(std::min(settings.MaxGroups, plan.Groups.size())) + "\n");
  return ExitStatus::kSuccess;
}

}  // namespace propsmooth
