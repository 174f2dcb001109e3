#include "stats/sufficient_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "estimate/eb_internal.h"
#include "estimate/mle.h"
#include "estimate/moments.h"
#include "stats/beta_binomial_likelihood.h"
#include "input/grouping.h"
#include "stats/prior_fit.h"
#include "stats/record_estimates.h"
#include "stats/record_rule.h"

namespace propsmooth {
namespace {

CountHistogram HistogramOf(std::vector<std::int64_t> values) {
  std::sort(values.begin(), values.end());
  CountHistogram histogram;
  for (std::size_t begin = 0; begin < values.size();) {
    std::size_t end = begin;
    while (end < values.size() && values[end] == values[begin]) ++end;
    histogram.Values.push_back(values[begin]);
    histogram.Rows.push_back(static_cast<std::int64_t>(end - begin));
    begin = end;
  }
  return histogram;
}

CountHistogram MergeHistograms(const CountHistogram& a, const CountHistogram& b) {
  CountHistogram merged;
  merged.Values.reserve(a.Values.size() + b.Values.size());
  merged.Rows.reserve(a.Values.size() + b.Values.size());
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.Values.size() || j < b.Values.size()) {
    if (j == b.Values.size() || (i < a.Values.size() && a.Values[i] < b.Values[j])) {
      merged.Values.push_back(a.Values[i]);
      merged.Rows.push_back(a.Rows[i++]);
    } else if (i == a.Values.size() || b.Values[j] < a.Values[i]) {
      merged.Values.push_back(b.Values[j]);
      merged.Rows.push_back(b.Rows[j++]);
    } else {
      merged.Values.push_back(a.Values[i]);
      merged.Rows.push_back(a.Rows[i++] + b.Rows[j++]);
    }
  }
  return merged;
}

// The sum of value times rows, empty when it leaves 64 bits.
std::optional<std::int64_t> WeightedTotal(const CountHistogram& histogram) {
  std::int64_t total = 0;
  for (std::size_t j = 0; j < histogram.Values.size(); ++j) {
    std::int64_t term = 0;
    if (__builtin_mul_overflow(histogram.Values[j], histogram.Rows[j], &term) ||
        __builtin_add_overflow(total, term, &total)) {
      return std::nullopt;
    }
  }
  return total;
}

std::optional<std::string> HistogramError(const CountHistogram& histogram, const char* name,
                                          std::int64_t lowest, std::int64_t highest,
                                          std::int64_t* regions) {
  const std::string what = std::string("the histogram of ") + name;
  if (histogram.Values.size() != histogram.Rows.size()) {
    return what + " has " + std::to_string(histogram.Values.size()) + " values but " +
           std::to_string(histogram.Rows.size()) + " row counts";
  }
  *regions = 0;
  for (std::size_t j = 0; j < histogram.Values.size(); ++j) {
    const std::int64_t value = histogram.Values[j];
    if (j > 0 && !(histogram.Values[j - 1] < value)) {
      return what + " is not strictly ascending at value " + std::to_string(value);
    }
    if (value < lowest || value > highest) {
      return what + " has the value " + std::to_string(value) + ", outside " +
             std::to_string(lowest) + ".." + std::to_string(highest);
    }
    if (histogram.Rows[j] < 1) {
      return what + " counts " + std::to_string(histogram.Rows[j]) + " rows at value " +
             std::to_string(value) + "; each value needs at least 1";
    }
    if (__builtin_add_overflow(*regions, histogram.Rows[j], regions)) {
      return what + " counts more rows than 64 bits hold";
    }
  }
  if (!WeightedTotal(histogram)) return what + " sums beyond 64 bits";
  return std::nullopt;
}

}  // namespace

SufficientStatistics StatisticsOfRegions(std::span<const std::int32_t> counts,
                                         std::span<const std::int32_t> sizes) {
  const std::size_t regions = std::min(counts.size(), sizes.size());
  std::vector<std::int64_t> x(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(regions));
  std::vector<std::int64_t> n(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(regions));
  std::vector<std::int64_t> n_minus_x(regions);
  for (std::size_t i = 0; i < regions; ++i) n_minus_x[i] = n[i] - x[i];

  // Two passes, as ComputeMoments takes them: the mean, then the squares.
  SufficientStatistics statistics;
  ProportionMoments& moments = statistics.Proportions;
  moments.Count = static_cast<std::int64_t>(regions);
  double sum = 0.0;
  for (std::size_t i = 0; i < regions; ++i) {
    sum = sum + static_cast<double>(x[i]) / static_cast<double>(n[i]);
  }
  moments.Mean = regions == 0 ? 0.0 : sum / static_cast<double>(regions);
  double squares = 0.0;
  for (std::size_t i = 0; i < regions; ++i) {
    const double deviation = static_cast<double>(x[i]) / static_cast<double>(n[i]) - moments.Mean;
    squares = squares + deviation * deviation;
  }
  moments.M2 = squares;
  for (std::size_t i = 0; i < regions; ++i) statistics.Fraction.Add(x[i], n[i]);

  statistics.Success = HistogramOf(std::move(x));
  statistics.Failure = HistogramOf(std::move(n_minus_x));
  statistics.Size = HistogramOf(std::move(n));
  return statistics;
}

ProportionMoments MergeMoments(const ProportionMoments& a, const ProportionMoments& b) {
  if (a.Count == 0) return b;
  if (b.Count == 0) return a;
  const auto count_a = static_cast<double>(a.Count);
  const auto count_b = static_cast<double>(b.Count);
  const double count = count_a + count_b;
  const double delta = b.Mean - a.Mean;
  ProportionMoments merged;
  merged.Count = a.Count + b.Count;
  merged.Mean = a.Mean + delta * (count_b / count);
  merged.M2 = (a.M2 + b.M2) + delta * delta * (count_a * count_b / count);
  return merged;
}

SufficientStatistics MergeStatistics(const SufficientStatistics& a,
                                     const SufficientStatistics& b) {
  SufficientStatistics merged;
  merged.Success = MergeHistograms(a.Success, b.Success);
  merged.Failure = MergeHistograms(a.Failure, b.Failure);
  merged.Size = MergeHistograms(a.Size, b.Size);
  merged.Proportions = MergeMoments(a.Proportions, b.Proportions);
  merged.Fraction = a.Fraction;
  merged.Fraction.Merge(b.Fraction);
  return merged;
}

std::optional<std::string> StatisticsError(const SufficientStatistics& statistics) {
  // The record rule's bounds on x and n, in 32 bits. A count above its size
  // is let through, as the four-number reader lets it through and the fit
  // of all regions takes it: n - x reaches down to 1 - (2^31 - 1).
  constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
  std::int64_t successes = 0;
  std::int64_t failures = 0;
  std::int64_t sizes = 0;
  if (auto error = HistogramError(statistics.Success, "counts", kLeastCount, kHigh, &successes)) {
    return error;
  }
  if (auto error = HistogramError(statistics.Failure, "size minus count", kLeastSize - kHigh,
                                  kHigh - kLeastCount, &failures)) {
    return error;
  }
  if (auto error = HistogramError(statistics.Size, "sizes", kLeastSize, kHigh, &sizes)) {
    return error;
  }
  if (successes != sizes || failures != sizes || statistics.Proportions.Count != sizes) {
    return "the statistics disagree on the number of rows: " + std::to_string(successes) +
           " counts, " + std::to_string(failures) + " differences, " + std::to_string(sizes) +
           " sizes, " + std::to_string(statistics.Proportions.Count) + " proportions";
  }
  const EqualProportionsTest& fraction = statistics.Fraction;
  if (fraction.Regions != sizes ||
      (fraction.Regions > 0 && (fraction.FirstX < kLeastCount || fraction.FirstX > kHigh ||
                                fraction.FirstN < kLeastSize || fraction.FirstN > kHigh))) {
    return "the first proportion " + std::to_string(fraction.FirstX) + "/" +
           std::to_string(fraction.FirstN) + " of " + std::to_string(fraction.Regions) +
           " rows cannot be that of the regions";
  }
  return std::nullopt;
}

StatisticsFit FitStatistics(const SufficientStatistics& statistics, const RunSettings& settings,
                            PriorEstimator estimator, bool size_bound) {
  StatisticsFit result;
  const ProportionMoments& moments = statistics.Proportions;
  // As ComputeMoments: no region has mean 0, one region variance 0.
  const double mean = moments.Count == 0 ? 0.0 : moments.Mean;
  const double variance =
      moments.Count > 1 ? moments.M2 / static_cast<double>(moments.Count - 1) : 0.0;
  SetMomentEstimators(mean, variance, &result.Summary);
  FitMleOfHistograms(settings, statistics.Success, statistics.Failure, statistics.Size,
                     &result.Summary);
  // propsmooth's Newton above started from its own figures, as for the regions.
  SettleEqualProportions(statistics.Fraction.AllEqual(), &result.Summary);
  const PriorFit fit = FitPrior(
      MakeBetaBinomialData(statistics.Success, statistics.Failure, statistics.Size),
      result.Summary, settings, size_bound);
  // Exact in double up to 2^53, as the regions' own sums are.
  const auto successes = static_cast<double>(WeightedTotal(statistics.Success).value_or(0));
  const auto trials = static_cast<double>(WeightedTotal(statistics.Size).value_or(0));
  result.Fit = ChooseFit(successes, trials, fit, result.Summary, estimator);
  return result;
}

void FiguresUnderFit(std::span<const std::int32_t> counts, std::span<const std::int32_t> sizes,
                     const StatisticsFit& fit, double level, std::optional<double> threshold,
                     const RowFiguresSink& row) {
  const std::size_t regions = std::min(counts.size(), sizes.size());
  // The EB proportions as propsmooth sets them for a group, under the
  // whole table's summary.
  GroupWorkspace workspace;
  workspace.Summary = fit.Summary;
  workspace.Regions.resize(regions);
  for (std::size_t i = 0; i < regions; ++i) {
    Region& region = workspace.Regions[i];
    region.Data1 = counts[i];
    region.Data2 = sizes[i];
  }
  ComputeEbProportions(&workspace);
  RecordTable records(regions);
  for (std::size_t i = 0; i < regions; ++i) {
    const Region& region = workspace.Regions[i];
    RegionRecord& record = records[i];
    record.Unit = -1;
    record.Code = static_cast<std::int32_t>(i + 1);
    record.Data1 = region.Data1;
    record.Data2 = region.Data2;
    record.EbPropMe = region.EbPropMe;
    record.EbPropMle = region.EbPropMle;
  }
  workspace = GroupWorkspace();

  // One group, whose fit is the table's: the intervals and tails once per
  // distinct (x, n), as the report computes them.
  const GroupPlan plan = PlanGroups(records);
  const std::span<const GroupFit> fits(&fit.Fit, 1);
  const RecordIntervals posteriors = ComputeRecordPosteriors(
      records, plan, PosteriorsUnderFits(fits, level, threshold), threshold.has_value(), 1,
      IntervalProgress());
  FigureSources context;
  context.PriorName = PriorName(fit.Fit);
  for (std::size_t i = 0; i < regions; ++i) {
    context.Eb = EbUnderFit(records[i], fit.Fit);
    if (threshold) {
      RegionDiscovery cells;
      cells.Tails = posteriors.DistinctTails[posteriors.OfRecord[i]];
      context.Threshold = cells;
    }
    row(i, FiguresOf(records[i], context, posteriors[i]));
  }
}

}  // namespace propsmooth
