#include "estimate/eb.h"

#include <cmath>

#include "estimate/eb_internal.h"
#include "estimate/mle.h"
#include "estimate/moments.h"

namespace propsmooth {
namespace {

template <typename Row>
double EbProportion(const Row& region, double alpha, double beta) {
  const double denominator = (alpha + beta) + static_cast<double>(region.Data2);
  const double value = (static_cast<double>(region.Data1) + alpha) / denominator;
  if (denominator == 0.0 || !std::isfinite(value)) return region.Proportion();
  return value;
}

template <typename Row>
void EbProportionsOf(const GroupSummary& summary, std::span<Row> regions) {
  for (Row& region : regions) {
    region.EbPropMe = EbProportion(region, summary.AlphaMe, summary.BetaMe);
    region.EbPropMle = summary.Mle ? std::optional(EbProportion(region, summary.Mle->Alpha,
                                                                summary.Mle->Beta))
                                   : std::nullopt;
  }
}

}  // namespace

void ComputeEbProportions(GroupWorkspace* workspace) {
  EbProportionsOf(workspace->Summary, std::span<Region>(workspace->Regions));
}

void EstimateGroup(const RunSettings& settings, bool allow_threads,
                   GroupWorkspace* workspace) {
  ComputeMoments(workspace);
  FitMle(settings, allow_threads, workspace);
  ComputeEbProportions(workspace);
}

void EstimateGroupInPlace(const RunSettings& settings, bool allow_threads,
                          std::span<RegionRecord> records, GroupSummary* summary) {
  ComputeMoments(records, summary);
  FitMle(settings, allow_threads, std::span<const RegionRecord>(records), summary);
  EbProportionsOf(*summary, records);
}

}  // namespace propsmooth
