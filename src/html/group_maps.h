// A group's maps on the page: its records joined to the regions' shapes by
// id, the raw and EB proportions on one colour scale, and the exceedance
// probability with the discoveries outlined.
#ifndef PROPSMOOTH_HTML_GROUP_MAPS_H_
#define PROPSMOOTH_HTML_GROUP_MAPS_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "geo/region_shapes.h"
#include "html/group_view.h"

namespace propsmooth {

/// The regions of a run, looked up by id. Views into `shapes`, which
/// outlives the join.
struct RegionJoin {
  const RegionShapes* Shapes = nullptr;
  /// Shape index of each id; an id that two shapes share leads to the
  /// first.
  std::unordered_map<std::string_view, std::size_t> ById;
  /// Every shape is drawn on each map, those without a record as "no
  /// value": for a page of one group, whose map is the whole layer.
  bool WholeLayer = false;
};

/// The join of `shapes`, each shape under its id.
RegionJoin JoinRegions(const RegionShapes& shapes, bool whole_layer);

/// The maps of `group` (ids in group.Ids): the raw and the EB proportion
/// with classes that hold about equal numbers of both together, and with
/// a `threshold`, the probability of exceeding it with the discoveries
/// outlined; a note on records that have no shape. A note alone when the
/// data have no ids, or no record has a shape.
std::string GroupMaps(const GroupView& group, const RegionJoin& join,
                      std::optional<double> threshold);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_GROUP_MAPS_H_
