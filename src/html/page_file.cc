#include "html/page_file.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

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

// The spatial estimate of `record` as the maps read it.
void AddLocalEb(const SpatialEstimates* spatial, std::uint32_t record, GroupView* view) {
  if (spatial != nullptr) view->LocalEb.push_back(spatial->Figures[record].Eb);
}

GroupView ViewOfGroup(const EstimatedData& data, const ColumnNames& columns,
                      const SpatialEstimates* spatial, std::size_t g) {
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
    if (!data.Discoveries.empty()) view.Discoveries.push_back(data.DiscoveryOf(record));
    AddLocalEb(spatial, record, &view);
  }
  return view;
}

// A group of rates: its fit and every region's figures.
GroupView ViewOfRateGroup(const EstimatedData& data, const RateEstimates& estimates,
                          const ColumnNames& columns, double per, bool exposure,
                          const SpatialEstimates* spatial, std::size_t g) {
  const InputTable& input = data.Input;
  const GroupSpan& group = data.Plan.Groups[g];
  GroupView view = HeadOfGroup(data, columns, g);
  view.Fit = estimates.Fits[g];
  RateView rates;
  rates.Per = per;
  rates.Exposure = exposure;
  rates.Moments = estimates.Moments[g];
  const std::size_t count = group.End - group.Begin;
  view.Regions.reserve(count);
  rates.Expected.reserve(count);
  rates.Figures.reserve(count);
  for (std::size_t k = group.Begin; k < group.End; ++k) {
    const std::uint32_t record = data.Plan.RecordIndices[k];
    const RecordFigures& figures = estimates.Figures[record];
    view.Regions.push_back(input.Records[record]);
    if (!input.Ids.empty()) view.Ids.push_back(input.Ids[record]);
    rates.Expected.push_back(input.Expected[record]);
    rates.Figures.push_back(figures);
    AddLocalEb(spatial, record, &view);
    // The region table and the ranked plot read a threshold's figures as
    // those of proportions; a region without them has NaN.
    if (figures.Discovery.has_value() || !std::isnan(figures.PExceed)) {
      RegionDiscovery discovery;
      if (!std::isnan(figures.PExceed) && !std::isnan(figures.Pep)) {
        discovery.Tails = TailProbabilities{figures.PExceed, figures.Pep};
      }
      if (!std::isnan(figures.QValue)) discovery.QValue = figures.QValue;
      discovery.Discovery = figures.Discovery.value_or(false);
      view.Discoveries.push_back(discovery);
    }
  }
  view.Rates = std::move(rates);
  return view;
}

ReportHeader HeaderOf(const EstimateSettings& settings, std::string_view data_name,
                      const ColumnChoice& columns, std::size_t max_groups,
                      const EstimatedData& data, const std::vector<GroupFit>& fits) {
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
  for (std::size_t g = 0; g < plan.Groups.size() && g < fits.size(); ++g) {
    if (plan.Groups[g].End - plan.Groups[g].Begin == 1 && PoolsCompletely(fits[g])) {
      ++header.UnsmoothedGroups;
    }
  }
  return header;
}

// The page around its groups: `row(g, block)` appends group g's index row,
// `view(g)` gives its section's view.
template <typename IndexRow, typename ViewOf>
void WriteGroups(const ReportHeader& header, const EstimateSettings& settings,
                 const IndexRow& row, const ViewOf& view, const RegionShapes* regions,
                 OutputFile* html) {
  // The index stops where the sections do: a page of every group of a
  // large file is more than a browser will lay out, and the summary table
  // lists them all.
  std::string block;
  AppendDocumentHead(header, &block);
  AppendIndexHead(header, &block);
  for (std::size_t g = 0; g < header.DetailedGroups; ++g) {
    row(g, &block);
    FlushIfFull(&block, html);
  }
  AppendIndexFoot(header, &block);
  const SectionLimits limits;
  // A page of one group maps the whole layer; one of many maps each
  // group's own regions.
  const RegionJoin join = regions != nullptr ? JoinRegions(*regions, header.GroupCount == 1)
                                             : RegionJoin{};
  for (std::size_t g = 0; g < header.DetailedGroups; ++g) {
    const GroupView group = view(g);
    AppendGroupSection(group, g, settings.Fit.Eps, settings.Level, settings.Threshold, limits,
                       &block, GroupMaps(group, join, settings.Threshold));
    FlushIfFull(&block, html);
  }
  AppendDocumentFoot(&block);
  html->Write(block);
}

}  // namespace

void WritePage(const EstimateSettings& settings, std::string_view data_name,
               const ColumnChoice& columns, std::size_t max_groups,
               const EstimatedData& data, OutputFile* html,
               const RegionShapes* regions, const SpatialEstimates* spatial) {
  const ReportHeader header = HeaderOf(settings, data_name, columns, max_groups, data, data.Fits);
  const GroupPlan& plan = data.Plan;
  WriteGroups(
      header, settings,
      [&](std::size_t g, std::string* block) {
        const GroupSpan& group = plan.Groups[g];
        AppendIndexRow(GroupTitle(HeadOfGroup(data, header.Columns, g)),
                       group.End - group.Begin, data.Summaries[g], data.Fits[g], true, g, block);
      },
      [&](std::size_t g) { return ViewOfGroup(data, header.Columns, spatial, g); }, regions,
      html);
}

void WriteRatePage(const EstimateSettings& settings, std::string_view data_name,
                   const ColumnChoice& columns, std::size_t max_groups, double per,
                   bool exposure, const EstimatedData& data, const RateEstimates& estimates,
                   OutputFile* html, const RegionShapes* regions,
                   const SpatialEstimates* spatial) {
  ColumnChoice named = columns;
  named.Size = columns.Expected;
  ReportHeader header = HeaderOf(settings, data_name, named, max_groups, data, estimates.Fits);
  header.Rates = true;
  header.Exposure = exposure;
  header.Per = per;
  const GroupPlan& plan = data.Plan;
  WriteGroups(
      header, settings,
      [&](std::size_t g, std::string* block) {
        const GroupSpan& group = plan.Groups[g];
        AppendRateIndexRow(GroupTitle(HeadOfGroup(data, header.Columns, g)),
                           group.End - group.Begin, estimates.Moments[g], per,
                           estimates.Fits[g], true, g, block);
      },
      [&](std::size_t g) {
        return ViewOfRateGroup(data, estimates, header.Columns, per, exposure, spatial, g);
      },
      regions, html);
}

}  // namespace propsmooth
