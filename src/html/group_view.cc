#include "html/group_view.h"

#include "strict_output/number_format.h"

namespace propsmooth {

GroupShape ClassifyGroup(const GroupView& group) {
  if (group.Regions.size() <= 1) return GroupShape::kSingleRegion;
  const double first = group.Regions.front().Proportion;
  for (const RegionRecord& region : group.Regions) {
    if (region.Proportion != first) return GroupShape::kPlots;
  }
  return GroupShape::kEqualProportions;
}

std::string GroupTitle(const GroupView& group) {
  if (group.Label) return group.Label->empty() ? "(empty)" : *group.Label;
  if (group.SingleGroup) return "All records";
  std::string title = "Unit ";
  AppendInt(group.Unit, &title);
  return title;
}

}  // namespace propsmooth
