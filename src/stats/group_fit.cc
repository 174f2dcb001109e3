#include "stats/group_fit.h"

#include <algorithm>
#include <atomic>

#include "common/parallel.h"
#include "stats/record_rule.h"

namespace propsmooth {
namespace {

bool EndsAtBinomialLimit(const PriorFit& fit) {
  return fit.Label == FitLabel::kNoFiniteMaximum &&
         (fit.Boundary == FitBoundary::kCompletePooling ||
          fit.Boundary == FitBoundary::kNoSuccesses ||
          fit.Boundary == FitBoundary::kAllSuccesses);
}

}  // namespace

const char* FitChoiceText(FitChoice choice) {
  switch (choice) {
    case FitChoice::kNewton:
      return "newton";
    case FitChoice::kSafeguarded:
      return "safeguarded";
    case FitChoice::kCompletePooling:
      return "complete pooling";
    case FitChoice::kMe:
      return "me";
    case FitChoice::kNone:
      return "";
  }
  return "";
}

GroupFit ChooseFit(const std::vector<Region>& regions, const PriorFit& fit,
                   const GroupSummary& summary, PriorEstimator estimator) {
  // Whole sums in double: exact up to 2^53, far beyond any file's total.
  double successes = 0.0;
  double trials = 0.0;
  for (const Region& region : regions) {
    successes += static_cast<double>(region.Data1);
    trials += static_cast<double>(region.Data2);
  }
  return ChooseFit(successes, trials, fit, summary, estimator);
}

GroupFit ChooseFit(double successes, double trials, const PriorFit& fit,
                   const GroupSummary& summary, PriorEstimator estimator) {
  GroupFit chosen;
  chosen.Fit = fit;
  if (estimator == PriorEstimator::kMe) {
    const GroupPrior me = ChoosePrior(summary, estimator);
    if (PriorIsBeta(me)) {
      chosen.Choice = FitChoice::kMe;
      chosen.Alpha = me.Alpha;
      chosen.Beta = me.Beta;
    }
    return chosen;
  }
  if (fit.Prior && (fit.Label == FitLabel::kNewton || fit.Label == FitLabel::kSafeguarded)) {
    chosen.Choice = fit.Label == FitLabel::kNewton ? FitChoice::kNewton : FitChoice::kSafeguarded;
    chosen.Alpha = fit.Prior->Alpha;
    chosen.Beta = fit.Prior->Beta;
    return chosen;
  }
  if (!EndsAtBinomialLimit(fit)) return chosen;
  chosen.Choice = FitChoice::kCompletePooling;
  chosen.Alpha = successes + 0.5;
  chosen.Beta = (trials - successes) + 0.5;
  chosen.PooledRate = successes / trials;
  return chosen;
}

std::vector<GroupFit> FitGroups(const RecordTable& records, const GroupPlan& plan,
                                const std::vector<GroupSummary>& summaries,
                                const RunSettings& settings, PriorEstimator estimator,
                                bool size_bound, unsigned workers) {
  const std::size_t groups = plan.Groups.size();
  std::vector<GroupFit> fits(groups);
  std::atomic<std::size_t> next{0};
  // The groups are independent; each thread takes the next one.
  RunInParallel(std::max(1u, std::min<unsigned>(workers, static_cast<unsigned>(
                                                             std::max<std::size_t>(groups, 1)))),
                [&](std::size_t) {
                  std::vector<Region> regions;
                  for (std::size_t g = next++; g < groups; g = next++) {
                    const GroupSpan& span = plan.Groups[g];
                    regions.clear();
                    for (std::size_t k = span.Begin; k < span.End; ++k) {
                      const RegionRecord& record = records[plan.RecordIndices[k]];
                      Region region;
                      region.Data1 = record.Data1;
                      region.Data2 = record.Data2;
                      region.Proportion = record.Proportion;
                      regions.push_back(region);
                    }
                    fits[g] = ChooseFit(regions, FitPrior(regions, summaries[g], settings, size_bound),
                                        summaries[g], estimator);
                  }
                });
  return fits;
}

std::optional<BetaPrior> PosteriorUnderFit(const RegionRecord& record, const GroupFit& fit) {
  // The rule first: 0 <= Data1 <= Data2 also keeps Data2 - Data1 in range.
  if (fit.Choice == FitChoice::kNone ||
      CheckRecord(record.Data1, record.Data2) != RecordFault::kNone) {
    return std::nullopt;
  }
  if (fit.Choice == FitChoice::kCompletePooling) return BetaPrior{fit.Alpha, fit.Beta};
  const double a = static_cast<double>(record.Data1) + fit.Alpha;
  const double b = static_cast<double>(record.Data2 - record.Data1) + fit.Beta;
  if (!IsPositive(a) || !IsPositive(b)) return std::nullopt;
  return BetaPrior{a, b};
}

std::optional<double> EbUnderFit(const RegionRecord& record, const GroupFit& fit) {
  if (!PosteriorUnderFit(record, fit)) return std::nullopt;
  switch (fit.Choice) {
    case FitChoice::kNewton:
      // propsmooth's own value, bit for bit, as the legacy table shows it.
      if (record.EbPropMle) return record.EbPropMle;
      break;
    case FitChoice::kMe:
      return record.EbPropMe;
    case FitChoice::kCompletePooling:
      return fit.PooledRate;
    case FitChoice::kSafeguarded:
    case FitChoice::kNone:
      break;
  }
  // The posterior mean, summed as propsmooth sums its own.
  return (static_cast<double>(record.Data1) + fit.Alpha) /
         ((fit.Alpha + fit.Beta) + static_cast<double>(record.Data2));
}

CredibleBounds IntervalUnderFit(const RegionRecord& record, const GroupFit& fit, double level) {
  if (fit.Choice == FitChoice::kNone) {
    CredibleBounds none;
    none.Status = IntervalStatus::kNoPrior;
    return none;
  }
  // A count above its size has its own word for why there is no interval,
  // below; a record outside the rule otherwise has none either.
  const RecordFault fault = CheckRecord(record.Data1, record.Data2);
  if (fault != RecordFault::kNone && fault != RecordFault::kCountAboveSize) {
    CredibleBounds none;
    none.Status = IntervalStatus::kNotComputable;
    return none;
  }
  if (fit.Choice == FitChoice::kCompletePooling) {
    // The common rate's posterior is every region's: no counts of its own
    // are added, but a count above its size still has none.
    if (fault == RecordFault::kCountAboveSize) {
      CredibleBounds none;
      none.Status = IntervalStatus::kCountAboveSize;
      return none;
    }
    return PosteriorInterval(0, 0, fit.Alpha, fit.Beta, level);
  }
  return PosteriorInterval(record.Data1, record.Data2, fit.Alpha, fit.Beta, level);
}

}  // namespace propsmooth
