#include "estimated_group.h"

#include "estimate/eb.h"
#include "estimate/worked_groups.h"
#include "stats/prior_fit.h"

namespace propsmooth {

GroupView EstimatedGroup(const std::vector<std::pair<int, int>>& counts,
                         PriorEstimator estimator) {
  GroupWorkspace workspace = MakeGroup(counts);
  EstimateGroup(RunSettings{}, false, &workspace);
  // As a report run fits it: propsmooth's estimate, then the fit that does
  // not give up.
  const PriorFit fit = FitPrior(workspace.Regions, workspace.Summary, RunSettings{});
  GroupView view;
  view.Unit = 2;
  view.Summary = workspace.Summary;
  for (std::size_t i = 0; i < workspace.Regions.size(); ++i) {
    const Region& region = workspace.Regions[i];
    RegionRecord record;
    record.Unit = 2;
    record.Code = static_cast<std::int32_t>(i + 1);
    record.Data1 = region.Data1;
    record.Data2 = region.Data2;
    record.Proportion = region.Proportion;
    record.EbPropMe = region.EbPropMe;
    record.EbPropMle = region.EbPropMle;
    view.Regions.push_back(record);
  }
  view.Fit = ChooseFit(workspace.Regions, fit, workspace.Summary, estimator);
  return view;
}

}  // namespace propsmooth
