// The figures of one record as every table shows them: its raw and EB
// proportions, its interval and, at a threshold, its tails and q-value.
// The CSV table, the page and the Python module all take them from here.
#ifndef PROPSMOOTH_STATS_RECORD_FIGURES_H_
#define PROPSMOOTH_STATS_RECORD_FIGURES_H_

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/types.h"
#include "stats/beta_math.h"
#include "stats/discovery.h"
#include "stats/record_estimates.h"
#include "stats/record_intervals.h"

namespace propsmooth {

/// What a record's figures come from beyond the record itself.
struct FigureSources {
  std::optional<double> Eb;    // the EB proportion; empty: no posterior
  std::string_view PriorName;  // how eb, lower and upper were found
  bool EqualProportions = false;  // the group's: eb_me is the raw proportion
  // The threshold figures, when a threshold is given.
  std::optional<RegionDiscovery> Threshold;
};

/// The numbers of a record's row, as proportions; NaN stands for an empty
/// cell.
struct RecordFigures {
  double Raw = 0.0;
  double EbMe = 0.0;
  double Eb = 0.0;     // NaN without a posterior
  double Lower = 0.0;  // NaN without a posterior or an interval
  double Upper = 0.0;
  std::string_view PriorName;  // empty without a posterior
  // NaN, and no Discovery, without a threshold or a posterior.
  double PExceed = 0.0;
  double Pep = 0.0;
  double QValue = 0.0;
  std::optional<bool> Discovery;
};

/// The figures of `record` from `sources` and its interval `bounds`.
RecordFigures FiguresOf(const RegionRecord& record, const FigureSources& sources,
                        const CredibleBounds& bounds);

/// Where the figures of `record` come from: its group's fit in `groups`,
/// its posterior in `posteriors` (EstimateRecords' Posteriors) and, with
/// `threshold`, its discovery figures.
FigureSources FigureSourcesOf(const RecordTable& records, const EstimatedGroups& groups,
                              const RecordIntervals& posteriors, std::size_t record,
                              bool threshold);

/// The same for `record` of group `group` of the plan, as its group is
/// known without the posteriors.
FigureSources FigureSourcesOf(const RecordTable& records, const EstimatedGroups& groups,
                              std::size_t group, std::size_t record, bool threshold);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RECORD_FIGURES_H_
