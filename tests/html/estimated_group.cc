#include "estimated_group.h"

#include "estimate/eb.h"
#include "estimate/worked_groups.h"
#include "stats/prior_fit.h"

namespace propsmooth {

GroupView ViewOf(const std::vector<std::pair<int, int>>& counts) {
  GroupView view;
  view.Unit = 2;
  for (const auto& [data1, data2] : counts) {
    RegionRecord record;
    record.Unit = 2;
    record.Code = static_cast<std::int32_t>(view.Regions.size() + 1);
    record.Data1 = data1;
    record.Data2 = data2;
    view.Regions.push_back(record);
  }
  return view;
}

GroupView EstimatedGroup(const std::vector<std::pair<int, int>>& counts,
                         PriorEstimator estimator) {
  GroupWorkspace workspace = MakeGroup(counts);
  EstimateGroup(RunSettings{}, false, &workspace);
  // As a report run fits it: propsmooth's estimate, then the fit that does
  // not give up.
  const PriorFit fit = FitPrior(workspace.Regions, workspace.Summary, RunSettings{});
  GroupView view = ViewOf(counts);
  view.Summary = workspace.Summary;
  for (std::size_t i = 0; i < workspace.Regions.size(); ++i) {
    view.Regions[i].EbPropMe = workspace.Regions[i].EbPropMe;
    view.Regions[i].EbPropMle = workspace.Regions[i].EbPropMle;
  }
  view.Fit = ChooseFit(workspace.Regions, fit, workspace.Summary, estimator);
  return view;
}

}  // namespace propsmooth
