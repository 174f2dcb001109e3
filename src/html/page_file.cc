#include "html/page_file.h"

#include <algorithm>

#include "html/group_maps.h"
#include "html/group_report.h"
#include "html/group_view.h"
#include "html/html_report.h"

namespace propsmooth {
namespace {

// A group's title fields alone: enough for its index row.
GroupView HeadOfGroup(const EstimatedData& data, const ColumnNames& columns, std::size_t g) {
  const GroupSpan& group = data.Plan.Groups[g];
  GroupView view;
  view.SingleGroup = data.Plan.SingleGroup;
  view.Unit = group.Unit;
  if (IsNamedInput(data.Input) && !data.Plan.SingleGroup) {
    view.Label = data.Input.GroupLabels[static_cast<std::size_t>(group.Unit)];
  }
  view.CodeIsRow = IsNamedInput(data.Input);
  view.Columns = columns;
  return view;
}

GroupView ViewOfGroup(const EstimatedData& data, const ColumnNames& columns, std::size_t g) {
  const InputTable& input = data.Input;
  const GroupSpan& group = data.Plan.Groups[g];
  GroupView view = HeadOfGroup(data, columns, g);
  view.Summary = data.Summaries[g];
  view.Fit = data.Fits[g];
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

void WritePage(const EstimateSettings& settings, std::string_view data_name,
               const ColumnChoice& columns, std::size_t max_groups,
               const EstimatedData& data, OutputFile* html,
               const RegionShapes* regions) {
  const GroupPlan& plan = data.Plan;
  ReportHeader header;
  header.DataFileName = data_name;
  header.Fit = settings.Fit;
  header.Level = settings.Level;
  header.Estimator = settings.Estimator;
  header.Threshold = settings.Threshold;
  header.Fdr = settings.Fdr;
  if (!columns.Count.empty()) header.Columns.Count = columns.Count;
  if (!columns.Size.empty()) header.Columns.Size = columns.Size;
  header.GroupColumn = columns.Group;
  header.IdColumn = columns.Id;
  header.RecordCount = data.Input.Records.size();
  header.GroupCount = plan.Groups.size();
  header.DetailedGroups = std::min(max_groups, plan.Groups.size());
  for (std::size_t g = 0; g < plan.Groups.size() && g < data.Fits.size(); ++g) {
    if (plan.Groups[g].End - plan.Groups[g].Begin == 1 && PoolsCompletely(data.Fits[g])) {
      ++header.UnsmoothedGroups;
    }
  }

  // The index stops where the sections do: a page of every group of a
  // large file is more than a browser will lay out, and the summary table
  // lists them all.
  std::string block;
  AppendDocumentHead(header, &block);
  AppendIndexHead(&block);
  for (std::size_t g = 0; g < header.DetailedGroups; ++g) {
    const GroupSpan& group = plan.Groups[g];
    AppendIndexRow(GroupTitle(HeadOfGroup(data, header.Columns, g)), group.End - group.Begin,
                   data.Summaries[g], data.Fits[g], true, g, &block);
    FlushIfFull(&block, html);
  }
  AppendIndexFoot(header, &block);
  const SectionLimits limits;
  // A page of one group maps the whole layer; one of many maps each
  // group's own regions.
  const RegionJoin join = regions != nullptr ? JoinRegions(*regions, plan.Groups.size() == 1)
                                             : RegionJoin{};
  for (std::size_t g = 0; g < header.DetailedGroups; ++g) {
    const GroupView view = ViewOfGroup(data, header.Columns, g);
    AppendGroupSection(view, g, settings.Fit.Eps, settings.Level, settings.Threshold, limits,
                       &block, GroupMaps(view, join, settings.Threshold));
    FlushIfFull(&block, html);
  }
  AppendDocumentFoot(&block);
  html->Write(block);
}

}  // namespace propsmooth
