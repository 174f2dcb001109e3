#include "estimate/eb.h"

#include <cmath>

#include "estimate/eb_internal.h"
#include "estimate/mle.h"
#include "estimate/moments.h"

namespace propsmooth {
namespace {

double EbProportion(const Region& region, double alpha, double beta) {
  const double denominator = (alpha + beta) + static_cast<double>(region.Data2);
  const double value = (static_cast<double>(region.Data1) + alpha) / denominator;
  if (denominator == 0.0 || !std::isfinite(value)) return region.Proportion;
  return value;
}

}  // namespace

void ComputeEbProportions(GroupWorkspace* workspace) {
  const GroupSummary& summary = workspace->Summary;
  for (Region& region : workspace->Regions) {
    region.EbPropMe = EbProportion(region, summary.AlphaMe, summary.BetaMe);
    region.EbPropMle = summary.Mle ? std::optional(EbProportion(region, summary.Mle->Alpha,
                                                                summary.Mle->Beta))
                                   : std::nullopt;
  }
}

void EstimateGroup(const RunSettings& settings, bool allow_threads,
                   GroupWorkspace* workspace) {
  ComputeMoments(workspace);
  FitMle(settings, allow_threads, workspace);
  ComputeEbProportions(workspace);
}

}  // namespace propsmooth
