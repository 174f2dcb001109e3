#include "stats/group_fit.h"

#include <algorithm>
#include <atomic>
#include <span>

#include "common/parallel.h"
#include "common/platform.h"
#include "stats/beta_binomial_likelihood.h"
#include "stats/record_rule.h"

namespace propsmooth {
namespace {

// The CSV's names of the two posteriors that are no fitted prior.
constexpr std::string_view kCompletePoolingName = "complete pooling";
constexpr std::string_view kMomentPriorName = "me";

bool EndsAtBinomialLimit(const PriorFit& fit) {
  return fit.Label == FitLabel::kNoFiniteMaximum &&
         (fit.Boundary == FitBoundary::kCompletePooling ||
          fit.Boundary == FitBoundary::kNoSuccesses ||
          fit.Boundary == FitBoundary::kAllSuccesses);
}

}  // namespace

bool UsesFittedPrior(const GroupFit& fit) {
  return fit.Estimator == PriorEstimator::kMle && fit.Fit.Prior &&
         (fit.Fit.Label == FitLabel::kNewton || fit.Fit.Label == FitLabel::kSafeguarded);
}

bool UsesMomentPrior(const GroupFit& fit) {
  return fit.Estimator == PriorEstimator::kMe && IsPositive(fit.Alpha) && IsPositive(fit.Beta);
}

bool PoolsCompletely(const GroupFit& fit) {
  return fit.Estimator == PriorEstimator::kMle && EndsAtBinomialLimit(fit.Fit);
}

bool HasPosterior(const GroupFit& fit) {
  return UsesFittedPrior(fit) || UsesMomentPrior(fit) || PoolsCompletely(fit);
}

std::string_view PriorName(const GroupFit& fit) {
  if (UsesFittedPrior(fit)) return FitLabelText(fit.Fit.Label);
  if (UsesMomentPrior(fit)) return kMomentPriorName;
  if (PoolsCompletely(fit)) return kCompletePoolingName;
  return std::string_view();
}

std::array<std::string_view, 4> PriorNames() {
  return {FitLabelText(FitLabel::kNewton), FitLabelText(FitLabel::kSafeguarded),
          kCompletePoolingName, kMomentPriorName};
}

std::optional<GroupFit> FitOfPriorName(std::string_view name, double alpha, double beta,
                                       double pooled_rate) {
  GroupFit fit;
  fit.Alpha = alpha;
  fit.Beta = beta;
  fit.PooledRate = pooled_rate;
  if (name == kMomentPriorName) {
    fit.Estimator = PriorEstimator::kMe;
  } else if (name == kCompletePoolingName) {
    fit.Fit.Label = FitLabel::kNoFiniteMaximum;
    fit.Fit.Boundary = FitBoundary::kCompletePooling;
  } else if (name == FitLabelText(FitLabel::kNewton) ||
             name == FitLabelText(FitLabel::kSafeguarded)) {
    fit.Fit.Label = name == FitLabelText(FitLabel::kNewton) ? FitLabel::kNewton
                                                              : FitLabel::kSafeguarded;
    fit.Fit.Prior = BetaPrior{alpha, beta};
  } else if (!name.empty()) {
    return std::nullopt;
  }
  // A name read back must name the same fit, figures and all.
  if (PriorName(fit) != name) return std::nullopt;
  return fit;
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
  chosen.Estimator = estimator;
  if (estimator == PriorEstimator::kMe) {
    // Moment estimators that form no beta prior give no posterior.
    if (IsPositive(summary.AlphaMe) && IsPositive(summary.BetaMe)) {
      chosen.Alpha = summary.AlphaMe;
      chosen.Beta = summary.BetaMe;
    }
    return chosen;
  }
  if (UsesFittedPrior(chosen)) {
    chosen.Alpha = fit.Prior->Alpha;
    chosen.Beta = fit.Prior->Beta;
    return chosen;
  }
  if (!PoolsCompletely(chosen)) return chosen;
  chosen.Alpha = successes + 0.5;
  chosen.Beta = (trials - successes) + 0.5;
  chosen.PooledRate = successes / trials;
  return chosen;
}

std::vector<GroupFit> FitGroups(const RecordTable& records, const GroupPlan& plan,
                                const std::vector<GroupSummary>& summaries,
                                const RunSettings& settings, PriorEstimator estimator,
                                const FitOutputs& outputs, unsigned workers,
                                std::size_t figure_groups) {
  return FitGroups(
      records, plan,
      [&summaries](std::size_t g, std::span<const std::uint32_t>) { return summaries[g]; },
      settings, estimator, outputs, workers, figure_groups);
}

std::vector<GroupFit> FitGroups(const RecordTable& records, const GroupPlan& plan,
                                const SummaryOfGroup& summary_of, const RunSettings& settings,
                                PriorEstimator estimator, const FitOutputs& outputs,
                                unsigned workers, std::size_t figure_groups) {
  const std::size_t groups = plan.Groups.size();
  std::vector<GroupFit> fits;
  // Two hundred bytes a group: a hundred thousand groups met five thousand
  // page faults in small pages.
  fits.reserve(groups);
  AskForLargePages(fits.data(), fits.capacity() * sizeof(GroupFit));
  fits.resize(groups);
  std::atomic<std::size_t> next{0};
  // The groups are independent; each thread takes the next one.
  RunInParallel(
      std::max(1u, std::min<unsigned>(
                       workers, static_cast<unsigned>(std::max<std::size_t>(groups, 1)))),
      [&](std::size_t) {
        // A hundred thousand groups of ten regions spent more on allocating
        // their count tails than on building them.
        BetaBinomialData data;
        std::vector<std::int64_t> scratch;
        VisitGroupRuns(records, plan, &next, [&](std::size_t g) {
          const GroupSpan& span = plan.Groups[g];
          // The records are read where they lie: a group of ten million
          // would otherwise be copied whole.
          const std::span<const std::uint32_t> indices(plan.RecordIndices.data() + span.Begin,
                                                       span.End - span.Begin);
          const GroupSummary summary = summary_of(g, indices);
          double successes = 0.0;
          double trials = 0.0;
          for (const std::uint32_t index : indices) {
            successes += static_cast<double>(records[index].Data1);
            trials += static_cast<double>(records[index].Data2);
          }
          FillBetaBinomialData(records, indices, &data, &scratch);
          fits[g] = ChooseFit(
              successes, trials,
              FitPrior(data, summary, settings,
                       g < figure_groups ? outputs : FitOutputs{false, false}),
              summary, estimator);
        });
      });
  return fits;
}

PosteriorSource PosteriorSourceOf(const GroupFit& fit) {
  PosteriorSource source;
  if (!HasPosterior(fit)) return source;
  source.Kind = PoolsCompletely(fit) ? PosteriorKind::kCommon : PosteriorKind::kAddCounts;
  source.Alpha = fit.Alpha;
  source.Beta = fit.Beta;
  return source;
}

std::optional<BetaPrior> PosteriorUnder(const RegionRecord& record,
                                        const PosteriorSource& source) {
  // The rule first: 0 <= Data1 <= Data2 also keeps Data2 - Data1 in range.
  if (source.Kind == PosteriorKind::kNone ||
      CheckRecord(record.Data1, record.Data2) != RecordFault::kNone) {
    return std::nullopt;
  }
  if (source.Kind == PosteriorKind::kCommon) return BetaPrior{source.Alpha, source.Beta};
  const double a = static_cast<double>(record.Data1) + source.Alpha;
  const double b = static_cast<double>(record.Data2 - record.Data1) + source.Beta;
  if (!IsPositive(a) || !IsPositive(b)) return std::nullopt;
  return BetaPrior{a, b};
}

std::optional<BetaPrior> PosteriorUnderFit(const RegionRecord& record, const GroupFit& fit) {
  return PosteriorUnder(record, PosteriorSourceOf(fit));
}

std::optional<double> EbUnderFit(const RegionRecord& record, const GroupFit& fit) {
  if (!PosteriorUnderFit(record, fit)) return std::nullopt;
  // propsmooth's own value, bit for bit, as the legacy table shows it.
  if (UsesFittedPrior(fit) && fit.Fit.Label == FitLabel::kNewton && record.EbPropMle) {
    return record.EbPropMle;
  }
  if (UsesMomentPrior(fit)) return record.EbPropMe;
  if (PoolsCompletely(fit)) return fit.PooledRate;
  // The posterior mean, summed as propsmooth sums its own.
  return (static_cast<double>(record.Data1) + fit.Alpha) /
         ((fit.Alpha + fit.Beta) + static_cast<double>(record.Data2));
}

CredibleBounds CommonInterval(const PosteriorSource& source, double level) {
  return PosteriorInterval(0, 0, source.Alpha, source.Beta, level);
}

CredibleBounds IntervalUnder(const RegionRecord& record, const PosteriorSource& source,
                             double level, const CredibleBounds* common) {
  if (source.Kind == PosteriorKind::kNone) {
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
  if (source.Kind == PosteriorKind::kCommon) {
    // The common rate's posterior is every region's: no counts of its own
    // are added, but a count above its size still has none.
    if (fault == RecordFault::kCountAboveSize) {
      CredibleBounds none;
      none.Status = IntervalStatus::kCountAboveSize;
      return none;
    }
    return common != nullptr ? *common : CommonInterval(source, level);
  }
  return PosteriorInterval(record.Data1, record.Data2, source.Alpha, source.Beta, level);
}

CredibleBounds IntervalUnderFit(const RegionRecord& record, const GroupFit& fit, double level) {
  return IntervalUnder(record, PosteriorSourceOf(fit), level);
}

}  // namespace propsmooth
