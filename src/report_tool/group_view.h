// One estimated group as the report's section shows it, and the caps that
// keep the section of a large group usable.
#ifndef PROPSMOOTH_REPORT_TOOL_GROUP_VIEW_H_
#define PROPSMOOTH_REPORT_TOOL_GROUP_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/types.h"

namespace propsmooth {

/// Caps that keep the page of a large group usable.
struct SectionLimits {
  std::size_t PlottedPoints = 4000;  // dots per scatter plot (every k-th region)
  std::size_t TableRows = 1000;      // rows of the region table (the first ones)
};

/// One estimated group as the report shows it. `Regions` are the group's
/// records in file order, with their results.
struct GroupView {
  bool SingleGroup = false;  // all records form one group (first Unit is -1)
  std::int32_t Unit = -1;
  GroupSummary Summary;
  std::vector<RegionRecord> Regions;
};

/// What a group's section can show.
enum class GroupShape {
  kPlots,              // two or more regions whose proportions differ
  kSingleRegion,       // one region: nothing varies
  kEqualProportions,   // several regions, all with one proportion
};

/// The shape of `group`.
GroupShape ClassifyGroup(const GroupView& group);

/// The group's label in headings: "Unit U", or "All records".
std::string GroupTitle(const GroupView& group);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_GROUP_VIEW_H_
