// One group's part of the HTML report: its summary, the three plots and the
// table of regions with their credible intervals.
#ifndef PROPSMOOTH_REPORT_TOOL_GROUP_REPORT_H_
#define PROPSMOOTH_REPORT_TOOL_GROUP_REPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/types.h"
#include "report_tool/beta_math.h"

namespace propsmooth {

/// Which estimators of Alpha and Beta the intervals and the shrinkage plot use.
enum class PriorEstimator {
  kMle,  // maximum likelihood, the moment estimators when the fit failed
  kMe,   // moment estimators
};

/// Where the prior of a group came from.
enum class PriorSource {
  kMle,               // the converged maximum-likelihood fit
  kMe,                // the moment estimators, as asked
  kMeAfterFailedFit,  // the moment estimators, because the fit failed
};

/// The beta prior a group's intervals and shrinkage plot use.
struct GroupPrior {
  double Alpha = 0.0;
  double Beta = 0.0;
  PriorSource Source = PriorSource::kMe;
};

/// The prior of a group with `summary` under `estimator`.
GroupPrior ChoosePrior(const GroupSummary& summary, PriorEstimator estimator);

/// How the prior is named in the report and the TSV: "MLE", "ME" or
/// "ME (MLE failed)".
const char* PriorSourceText(PriorSource source);

/// The EB proportion of a region under the group's prior: EbPropMle for an
/// ML prior, else EbPropMe.
double EbUnderPrior(const RegionRecord& record, PriorSource source);

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

/// The anchor id of section `index` (from 0) in the page: "group-<index>".
std::string SectionId(std::size_t index);

/// Appends the <section> of `group`, the section number `index` (from 0)
/// of the page: its log figures, its prior, the plots (or what the group
/// is, when it has nothing to plot) and the region table, with credible
/// intervals at `level` under the prior of `estimator`. `eps` is the
/// tolerance the log figures print.
void AppendGroupSection(const GroupView& group, std::size_t index, double eps,
                        PriorEstimator estimator, double level,
                        const SectionLimits& limits, std::string* html);

}  // namespace propsmooth

#endif  // PROPSMOOTH_REPORT_TOOL_GROUP_REPORT_H_
