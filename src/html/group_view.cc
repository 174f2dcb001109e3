#include "html/group_view.h"

#include "stats/equal_proportions.h"
#include "strict_output/number_format.h"

namespace propsmooth {

GroupShape ClassifyGroup(const GroupView& group) {
  if (group.Regions.size() <= 1) return GroupShape::kSingleRegion;
  if (group.Rates) {
    const std::vector<RecordFigures>& figures = group.Rates->Figures;
    for (const RecordFigures& region : figures) {
      if (region.Raw != figures.front().Raw) return GroupShape::kPlots;
    }
    return GroupShape::kEqualProportions;
  }
  // Decided as the summary decides it, in integers.
  return ProportionsAllEqual(group.Regions) ? GroupShape::kEqualProportions : GroupShape::kPlots;
}

std::string GroupTitle(const GroupView& group) {
  if (group.Label) return group.Label->empty() ? "(empty)" : *group.Label;
  if (group.SingleGroup) return "All records";
  std::string title = "Unit ";
  AppendInt(group.Unit, &title);
  return title;
}

}  // namespace propsmooth
