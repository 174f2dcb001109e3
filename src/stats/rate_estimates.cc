#include "stats/rate_estimates.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "common/parallel.h"
#include "stats/discovery.h"
#include "stats/gamma_math.h"
#include "stats/poisson_gamma_likelihood.h"
#include "stats/rate_fit.h"

namespace propsmooth {

GroupFit ChooseRateFit(double events, double exposure, const PriorFit& fit,
                       const RateMoments& moments, PriorEstimator estimator) {
  GroupFit chosen;
  chosen.Fit = fit;
  chosen.Estimator = estimator;
  if (estimator == PriorEstimator::kMe) {
    if (IsPositive(moments.Alpha) && IsPositive(moments.Beta)) {
      chosen.Alpha = moments.Alpha;
      chosen.Beta = moments.Beta;
    }
    return chosen;
  }
  if (UsesFittedPrior(chosen)) {
    chosen.Alpha = fit.Prior->Alpha;
    chosen.Beta = fit.Prior->Beta;
    return chosen;
  }
  if (!PoolsCompletely(chosen)) return chosen;
  // Jeffreys' prior on the common rate: Gamma(1/2, 0) updated by the group.
  chosen.Alpha = events + 0.5;
  chosen.Beta = exposure;
  chosen.PooledRate = events / exposure;
  return chosen;
}

std::optional<BetaPrior> RatePosteriorUnderFit(std::int32_t count, double expected,
                                               const GroupFit& fit) {
  if (!HasPosterior(fit) || count < 0 || !IsPositive(expected)) return std::nullopt;
  if (PoolsCompletely(fit)) return BetaPrior{fit.Alpha, fit.Beta};
  const double shape = static_cast<double>(count) + fit.Alpha;
  const double rate = expected + fit.Beta;
  if (!IsPositive(shape) || !IsPositive(rate)) return std::nullopt;
  return BetaPrior{shape, rate};
}

std::optional<double> EbRateUnderFit(std::int32_t count, double expected,
                                     const RateMoments& moments, const GroupFit& fit) {
  const std::optional<BetaPrior> posterior = RatePosteriorUnderFit(count, expected, fit);
  if (!posterior) return std::nullopt;
  if (UsesMomentPrior(fit)) return MomentRate(moments, count, expected);
  if (PoolsCompletely(fit)) return fit.PooledRate;
  return posterior->Alpha / posterior->Beta;
}

RecordFigures RateFiguresOf(std::int32_t count, double expected, const RateMoments& moments,
                            const GroupFit& fit, double level, std::optional<double> threshold) {
  constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();
  RecordFigures figures;
  figures.Raw = static_cast<double>(count) / expected;
  figures.EbMe = MomentRate(moments, count, expected);
  figures.Eb = kEmpty;
  figures.Lower = kEmpty;
  figures.Upper = kEmpty;
  figures.PExceed = kEmpty;
  figures.Pep = kEmpty;
  figures.QValue = kEmpty;
  const std::optional<BetaPrior> posterior = RatePosteriorUnderFit(count, expected, fit);
  if (!posterior) return figures;
  figures.Eb = *EbRateUnderFit(count, expected, moments, fit);
  figures.PriorName = PriorName(fit);
  const CredibleBounds bounds = GammaInterval(posterior->Alpha, posterior->Beta, level);
  if (bounds.Status == IntervalStatus::kOk) {
    figures.Lower = bounds.Lower;
    figures.Upper = bounds.Upper;
  }
  if (threshold) {
    if (const std::optional<TailProbabilities> tails =
            GammaTails(posterior->Alpha, posterior->Beta, *threshold)) {
      figures.PExceed = tails->Exceed;
      figures.Pep = tails->AtMost;
    }
  }
  return figures;
}

RateEstimates EstimateRates(std::span<const std::int32_t> counts,
                            std::span<const double> expected, const GroupPlan& plan,
                            const EstimateSettings& settings, bool size_bound, unsigned workers) {
  const std::size_t groups = plan.Groups.size();
  RateEstimates estimates;
  estimates.Moments.resize(groups);
  estimates.Fits.resize(groups);
  estimates.Figures.resize(counts.size());
  std::atomic<std::size_t> next{0};
  // The groups are independent; each thread takes the next one.
  const auto threads = static_cast<unsigned>(
      std::max<std::size_t>(1, std::min<std::size_t>(workers, std::max<std::size_t>(groups, 1))));
  RunInParallel(threads, [&](std::size_t) {
    std::vector<std::int32_t> group_counts;
    std::vector<double> group_expected;
    for (std::size_t g = next++; g < groups; g = next++) {
      const GroupSpan& span = plan.Groups[g];
      group_counts.clear();
      group_expected.clear();
      for (std::size_t k = span.Begin; k < span.End; ++k) {
        group_counts.push_back(counts[plan.RecordIndices[k]]);
        group_expected.push_back(expected[plan.RecordIndices[k]]);
      }
      const RateMoments moments = ComputeRateMoments(group_counts, group_expected);
      const PoissonGammaData data = MakePoissonGammaData(group_counts, group_expected);
      const PriorFit fit = FitRatePrior(data, moments, settings.Fit, size_bound);
      const GroupFit chosen = ChooseRateFit(static_cast<double>(data.TotalEvents),
                                            data.TotalExpected, fit, moments, settings.Estimator);
      for (std::size_t k = span.Begin; k < span.End; ++k) {
        const std::size_t i = plan.RecordIndices[k];
        estimates.Figures[i] = RateFiguresOf(counts[i], expected[i], moments, chosen,
                                             settings.Level, settings.Threshold);
      }
      estimates.Moments[g] = moments;
      estimates.Fits[g] = chosen;
    }
  });
  if (settings.Threshold) {
    std::vector<std::optional<double>> peps(counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) {
      if (!std::isnan(estimates.Figures[i].Pep)) peps[i] = estimates.Figures[i].Pep;
    }
    const std::vector<std::optional<double>> q_values = QValues(peps);
    const std::vector<bool> marked = Discoveries(q_values, settings.Fdr);
    for (std::size_t i = 0; i < counts.size(); ++i) {
      if (!q_values[i]) continue;
      estimates.Figures[i].QValue = *q_values[i];
      estimates.Figures[i].Discovery = marked[i];
    }
  }
  return estimates;
}

}  // namespace propsmooth
