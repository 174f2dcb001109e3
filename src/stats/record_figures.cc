#include "stats/record_figures.h"

#include <limits>

#include "stats/equal_proportions.h"
#include "stats/group_fit.h"

namespace propsmooth {

RecordFigures FiguresOf(const RegionRecord& record, const FigureSources& sources,
                        const CredibleBounds& bounds) {
  constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();
  RecordFigures figures;
  figures.Raw = record.Proportion();
  figures.EbMe = ReportedEbMe(record, sources.EqualProportions);
  const bool beta = sources.Eb.has_value();
  figures.Eb = beta ? *sources.Eb : kEmpty;
  const bool interval = beta && bounds.Status == IntervalStatus::kOk;
  figures.Lower = interval ? bounds.Lower : kEmpty;
  figures.Upper = interval ? bounds.Upper : kEmpty;
  if (beta) figures.PriorName = sources.PriorName;
  figures.PExceed = kEmpty;
  figures.Pep = kEmpty;
  figures.QValue = kEmpty;
  if (const std::optional<RegionDiscovery>& cells = sources.Threshold) {
    if (cells->Tails) {
      figures.PExceed = cells->Tails->Exceed;
      figures.Pep = cells->Tails->AtMost;
    }
    if (cells->QValue) {
      figures.QValue = *cells->QValue;
      figures.Discovery = cells->Discovery;
    }
  }
  return figures;
}

FigureSources FigureSourcesOf(const RecordTable& records, const EstimatedGroups& groups,
                              const RecordIntervals& posteriors, std::size_t record,
                              bool threshold) {
  return FigureSourcesOf(records, groups, posteriors.GroupOfRecord(record), record, threshold);
}

FigureSources FigureSourcesOf(const RecordTable& records, const EstimatedGroups& groups,
                              std::size_t group, std::size_t record, bool threshold) {
  FigureSources sources;
  const GroupFit& fit = groups.Fits[group];
  sources.Eb = EbUnderFit(records[record], fit);
  sources.EqualProportions =
      group < groups.EqualProportions.size() && groups.EqualProportions[group];
  sources.PriorName = PriorName(fit);
  if (threshold) sources.Threshold = groups.DiscoveryOf(record);
  return sources;
}

}  // namespace propsmooth
