// One estimated group as the report's section shows it, and the caps that
// keep the section of a large group usable.
#ifndef PROPSMOOTH_HTML_GROUP_VIEW_H_
#define PROPSMOOTH_HTML_GROUP_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/types.h"
#include "stats/discovery.h"
#include "stats/group_fit.h"
#include "stats/rate_moments.h"
#include "stats/record_figures.h"

namespace propsmooth {

/// Caps that keep the page of a large group usable.
struct SectionLimits {
  std::size_t PlottedPoints = 4000;  // dots per scatter plot (every k-th region)
  // Rows of the region table (the first ones): a browser spends about a
  // millisecond laying out each row, so a longer table would slow the page
  // more than its plots and maps together.
  std::size_t TableRows = 500;
  // A scatter plot of more dots names only its highlighted ones on hover
  // and clips them as one group: a browser draws thousands of dots each
  // with its own clip and tooltip several times slower, and so many
  // tooltips overlap anyway.
  std::size_t NamedDots = 500;
  // A region table of more rows is laid out only when scrolled near: its
  // layout would cost more than the rest of the page.
  std::size_t EagerTableRows = 200;
};

/// What the data call a region's count and size: the CSV or TSV file's
/// header names, or Data1 and Data2 of the four-number format. Views into
/// the run's settings, which outlive the page.
struct ColumnNames {
  std::string_view Count = "Data1";
  std::string_view Size = "Data2";
};

/// What a group of rates (--model poisson) adds: what its counts are
/// measured against and every region's figures, by region as Regions
/// (whose Data2 and Proportion mean nothing for rates).
struct RateView {
  double Per = 1.0;        // rates are shown times this
  bool Exposure = false;   // person-time (--exposure) rather than expected counts
  RateMoments Moments;
  std::vector<double> Expected;
  std::vector<RecordFigures> Figures;
};

/// One estimated group as the report shows it. `Regions` are the group's
/// records in file order, with their results.
struct GroupView {
  bool SingleGroup = false;  // all records form one group (first Unit is -1)
  std::int32_t Unit = -1;
  /// The group's value in the data's group column; empty for data in the
  /// four-number format, whose Unit is the label, and for one group of all.
  std::optional<std::string> Label;
  GroupSummary Summary;
  std::vector<RegionRecord> Regions;
  /// Each region's id, when the data have an id column; else empty. Views
  /// into the data, which outlive the view.
  std::vector<std::string_view> Ids;
  /// The fit that does not give up and the posterior it gives: every figure
  /// of the section but propsmooth's log lines.
  GroupFit Fit;
  /// Each region's figures at the --threshold level; empty without one.
  std::vector<RegionDiscovery> Discoveries;
  /// The regions' Code is their row in a CSV or TSV file, not a code of
  /// the four-number format.
  bool CodeIsRow = false;
  ColumnNames Columns;
  /// Set for rates; empty for proportions.
  std::optional<RateView> Rates;
  /// With neighbours (--neighbours), each region's spatial EB estimate,
  /// shrunk towards its neighbourhood (the CSV's local_eb, unscaled like
  /// Rates->Figures), NaN where it has none; empty without neighbours.
  std::vector<double> LocalEb;
};

/// What a group's section can show.
enum class GroupShape {
  kPlots,              // two or more regions whose proportions differ
  kSingleRegion,       // one region: nothing varies
  kEqualProportions,   // several regions, all with one proportion (or rate)
};

/// The shape of `group`.
GroupShape ClassifyGroup(const GroupView& group);

/// The group's label in headings, as text: its Label ("(empty)" for an
/// empty one), "Unit U", or "All records".
std::string GroupTitle(const GroupView& group);

}  // namespace propsmooth

#endif  // PROPSMOOTH_HTML_GROUP_VIEW_H_
