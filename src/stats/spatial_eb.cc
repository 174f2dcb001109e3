#include "stats/spatial_eb.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>

#include "common/parallel.h"
#include "input/grouping.h"
#include "stats/beta_math.h"
#include "stats/group_fit.h"
#include "stats/rate_estimates.h"
#include "stats/record_figures.h"

namespace propsmooth {
namespace {

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kSmallMoments = "me (small neighbourhood)";
constexpr const char* kSmallPooling = "complete pooling (small neighbourhood)";

// The region first, then its neighbours in list order.
std::vector<std::size_t> Neighbourhood(const NeighbourIndex& neighbours, std::size_t i) {
  std::vector<std::size_t> members;
  members.reserve(neighbours[i].size() + 1);
  members.push_back(i);
  members.insert(members.end(), neighbours[i].begin(), neighbours[i].end());
  return members;
}

LocalMoments MomentsOf(std::span<const double> counts, std::span<const double> sizes,
                       const std::vector<std::size_t>& members) {
  LocalMoments moments;
  moments.Regions = members.size();
  double events = 0.0;
  double total = 0.0;
  for (const std::size_t j : members) {
    events += counts[j];
    total += sizes[j];
  }
  if (!(total > 0.0)) {
    moments.Rate = kEmpty;
    moments.Variance = kEmpty;
    moments.UnclampedVariance = kEmpty;
    moments.Estimate = kEmpty;
    return moments;
  }
  const double rate = events / total;
  double spread = 0.0;
  for (const std::size_t j : members) {
    if (sizes[j] == 0.0) continue;
    const double deviation = counts[j] / sizes[j] - rate;
    spread += sizes[j] * (deviation * deviation);
  }
  const double mean_size = total / static_cast<double>(members.size());
  const double variance = spread / total - rate / mean_size;
  moments.Rate = rate;
  moments.UnclampedVariance = variance;
  moments.Clamped = variance < 0.0;
  moments.Variance = moments.Clamped ? 0.0 : variance;
  const std::size_t i = members.front();
  if (moments.Variance == 0.0 || sizes[i] == 0.0) {
    moments.Estimate = rate;
  } else {
    const double weight = moments.Variance / (moments.Variance + rate / sizes[i]);
    moments.Estimate = rate + weight * (counts[i] / sizes[i] - rate);
  }
  return moments;
}

// The local settings: the fit's own options, no threshold (the spatial
// figures have no tails), always the likelihood fit.
EstimateSettings LocalSettings(const EstimateSettings& settings) {
  EstimateSettings local = settings;
  local.Threshold.reset();
  local.Estimator = PriorEstimator::kMle;
  return local;
}

// A prior fit that ended at the binomial or Poisson limit: ChooseFit and
// ChooseRateFit then give every region the common rate's posterior.
PriorFit PoolingLimit() {
  PriorFit fit;
  fit.Label = FitLabel::kNoFiniteMaximum;
  fit.Boundary = FitBoundary::kCompletePooling;
  return fit;
}

void SetFigures(const RecordFigures& figures, LocalFigures* local) {
  local->Eb = figures.Eb;
  local->Lower = figures.Lower;
  local->Upper = figures.Upper;
  local->Prior = std::string(figures.PriorName);
}

// A neighbourhood fitted by maximum likelihood as a group of its own.
void FitProportions(const RecordTable& records, const std::vector<std::size_t>& members,
                    const EstimateSettings& local, LocalFigures* figures) {
  RecordTable table;
  table.reserve(members.size());
  for (const std::size_t j : members) {
    RegionRecord record = records[j];
    record.Unit = 0;
    record.Code = static_cast<std::int32_t>(table.size() + 1);
    table.push_back(record);
  }
  EstimatedGroups groups;
  groups.Plan = PlanGroups(table);
  EstimateParts parts;
  parts.Fits = true;
  parts.Posteriors = true;
  const RecordEstimates estimates = EstimateRecords(local, parts, 1, {}, &table, &groups);
  const FigureSources sources = FigureSourcesOf(table, groups, estimates.Posteriors, 0, false);
  SetFigures(FiguresOf(table[0], sources, estimates.Posteriors[0]), figures);
}

// A small neighbourhood: the posterior under the beta prior of the local
// moments' mean and variance, or the common rate's where the variance is 0
// (or too large for a beta prior of that mean).
void MomentProportions(const RegionRecord& record, const LocalMoments& moments,
                       std::span<const double> counts, std::span<const double> sizes,
                       const std::vector<std::size_t>& members, double level,
                       LocalFigures* figures) {
  const double rate = moments.Rate;
  const double size = moments.Variance > 0.0 ? rate * (1.0 - rate) / moments.Variance - 1.0 : 0.0;
  GroupFit fit;
  if (IsPositive(size) && IsPositive(rate * size) && IsPositive((1.0 - rate) * size)) {
    fit.Estimator = PriorEstimator::kMe;
    fit.Alpha = rate * size;
    fit.Beta = (1.0 - rate) * size;
    figures->Prior = kSmallMoments;
  } else {
    double successes = 0.0;
    double trials = 0.0;
    for (const std::size_t j : members) {
      successes += counts[j];
      trials += sizes[j];
    }
    fit = ChooseFit(successes, trials, PoolingLimit(), GroupSummary{}, PriorEstimator::kMle);
    figures->Prior = kSmallPooling;
  }
  if (!PosteriorUnderFit(record, fit)) {
    figures->Prior.clear();
    return;
  }
  figures->Eb = PoolsCompletely(fit)
                    ? fit.PooledRate
                    : (static_cast<double>(record.Data1) + fit.Alpha) /
                          ((fit.Alpha + fit.Beta) + static_cast<double>(record.Data2));
  const CredibleBounds bounds = IntervalUnderFit(record, fit, level);
  if (bounds.Status == IntervalStatus::kOk) {
    figures->Lower = bounds.Lower;
    figures->Upper = bounds.Upper;
  }
}

// Runs `region(i)` for every region on up to `workers` threads.
void ForEachRegion(std::size_t regions, unsigned workers,
                   const std::function<void(std::size_t)>& region) {
  std::atomic<std::size_t> next{0};
  const std::size_t threads =
      std::max<std::size_t>(1, std::min<std::size_t>(workers, std::max<std::size_t>(regions, 1)));
  RunInParallel(threads, [&](std::size_t) {
    for (std::size_t i = next++; i < regions; i = next++) region(i);
  });
}

LocalFigures EmptyFigures(const LocalMoments& moments) {
  LocalFigures figures;
  figures.Neighbours = moments.Regions - 1;
  figures.EbMe = moments.Estimate;
  figures.Eb = kEmpty;
  figures.Lower = kEmpty;
  figures.Upper = kEmpty;
  return figures;
}

SpatialEstimates Tally(const std::vector<LocalMoments>& moments,
                       std::vector<LocalFigures> figures) {
  SpatialEstimates estimates;
  estimates.Figures = std::move(figures);
  for (const LocalMoments& local : moments) {
    estimates.Clamped += local.Clamped ? 1 : 0;
    estimates.SmallNeighbourhoods += local.Regions < kMinLocalFitRegions ? 1 : 0;
  }
  return estimates;
}

}  // namespace

std::vector<LocalMoments> LocalMomentEstimates(std::span<const double> counts,
                                               std::span<const double> sizes,
                                               const NeighbourIndex& neighbours) {
  std::vector<LocalMoments> moments;
  moments.reserve(neighbours.size());
  for (std::size_t i = 0; i < neighbours.size(); ++i) {
    moments.push_back(MomentsOf(counts, sizes, Neighbourhood(neighbours, i)));
  }
  return moments;
}

SpatialEstimates EstimateSpatialProportions(const RecordTable& records,
                                            const NeighbourIndex& neighbours,
                                            const EstimateSettings& settings, unsigned workers) {
  std::vector<double> counts;
  std::vector<double> sizes;
  counts.reserve(records.size());
  sizes.reserve(records.size());
  for (const RegionRecord& record : records) {
    counts.push_back(static_cast<double>(record.Data1));
    sizes.push_back(static_cast<double>(record.Data2));
  }
  const std::vector<LocalMoments> moments = LocalMomentEstimates(counts, sizes, neighbours);
  const EstimateSettings local = LocalSettings(settings);
  std::vector<LocalFigures> figures(records.size());
  ForEachRegion(records.size(), workers, [&](std::size_t i) {
    LocalFigures& figure = figures[i];
    figure = EmptyFigures(moments[i]);
    if (!std::isfinite(moments[i].Rate)) return;
    const std::vector<std::size_t> members = Neighbourhood(neighbours, i);
    if (members.size() >= kMinLocalFitRegions) {
      FitProportions(records, members, local, &figure);
    } else {
      MomentProportions(records[i], moments[i], counts, sizes, members, settings.Level, &figure);
    }
  });
  return Tally(moments, std::move(figures));
}

SpatialEstimates EstimateSpatialRates(std::span<const std::int32_t> counts,
                                      std::span<const double> expected,
                                      const NeighbourIndex& neighbours,
                                      const EstimateSettings& settings, unsigned workers) {
  std::vector<double> events(counts.begin(), counts.end());
  const std::vector<LocalMoments> moments = LocalMomentEstimates(events, expected, neighbours);
  const EstimateSettings local = LocalSettings(settings);
  std::vector<LocalFigures> figures(counts.size());
  ForEachRegion(counts.size(), workers, [&](std::size_t i) {
    LocalFigures& figure = figures[i];
    figure = EmptyFigures(moments[i]);
    if (!std::isfinite(moments[i].Rate)) return;
    const std::vector<std::size_t> members = Neighbourhood(neighbours, i);
    if (members.size() >= kMinLocalFitRegions) {
      std::vector<std::int32_t> sub_counts;
      std::vector<double> sub_expected;
      RecordTable table;
      for (const std::size_t j : members) {
        sub_counts.push_back(counts[j]);
        sub_expected.push_back(expected[j]);
        RegionRecord record;
        record.Code = static_cast<std::int32_t>(table.size() + 1);
        table.push_back(record);
      }
      const RateEstimates estimates =
          EstimateRates(sub_counts, sub_expected, PlanGroups(table), local, false, 1);
      SetFigures(estimates.Figures[0], &figure);
      return;
    }
    // A small neighbourhood: the gamma prior of the local moments, whose
    // posterior mean is the moment estimate itself, or the common rate's
    // posterior where the variance is 0.
    RateMoments prior;
    prior.Mean = moments[i].Rate;
    prior.Variance = moments[i].Variance;
    prior.UnclampedVariance = moments[i].UnclampedVariance;
    prior.VarianceClamped = moments[i].Clamped;
    double sum_events = 0.0;
    double sum_expected = 0.0;
    for (const std::size_t j : members) {
      sum_events += events[j];
      sum_expected += expected[j];
    }
    GroupFit fit;
    if (prior.Variance > 0.0 && prior.Mean > 0.0) {
      prior.Alpha = prior.Mean * prior.Mean / prior.Variance;
      prior.Beta = prior.Mean / prior.Variance;
      fit = ChooseRateFit(sum_events, sum_expected, PriorFit{}, prior, PriorEstimator::kMe);
      figure.Prior = kSmallMoments;
    } else {
      fit = ChooseRateFit(sum_events, sum_expected, PoolingLimit(), prior, PriorEstimator::kMle);
      figure.Prior = kSmallPooling;
    }
    const RecordFigures rate = RateFiguresOf(counts[i], expected[i], prior, fit, settings.Level,
                                             std::nullopt);
    const std::string prior_name = figure.Prior;
    SetFigures(rate, &figure);
    figure.Prior = rate.PriorName.empty() ? std::string() : prior_name;
  });
  return Tally(moments, std::move(figures));
}

}  // namespace propsmooth
