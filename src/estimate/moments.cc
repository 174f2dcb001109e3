#include "estimate/moments.h"

namespace propsmooth {

void SetMomentEstimators(double mean, double variance, GroupSummary* summary) {
  summary->Mean = mean;
  summary->Variance = variance;
  if (variance == 0.0) {
    summary->AlphaMe = 0.0;
    summary->BetaMe = 0.0;
    return;
  }
  const double m = mean;
  const double v = variance;
  // The bracketing is part of the result: it fixes every rounding.
  summary->AlphaMe = -(((v - m) + m * m) * m) / v;
  summary->BetaMe = ((m * m) * m + (((m - v) + v * m) - 2.0 * m * m)) / v;
}

namespace {

template <typename Row>
void MomentsOf(std::span<Row> regions, GroupSummary* summary) {
  const std::size_t count = regions.size();

  double sum = 0.0;
  for (Row& region : regions) {
    sum = sum + region.Proportion();
  }
  const double mean = count == 0 ? 0.0 : sum / static_cast<double>(count);

  double variance = 0.0;
  if (count > 1) {
    double squares = 0.0;
    for (const Row& region : regions) {
      const double deviation = region.Proportion() - mean;
      squares = squares + deviation * deviation;
    }
    variance = squares / static_cast<double>(count - 1);
  }

  SetMomentEstimators(mean, variance, summary);
}

}  // namespace

void ComputeMoments(GroupWorkspace* workspace) {
  MomentsOf(std::span<Region>(workspace->Regions), &workspace->Summary);
}

void ComputeMoments(std::span<RegionRecord> records, GroupSummary* summary) {
  MomentsOf(records, summary);
}

}  // namespace propsmooth
