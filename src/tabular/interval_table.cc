#include "tabular/interval_table.h"

#include "strict_output/number_format.h"

namespace propsmooth {

LegacyPrior ChooseLegacyPrior(const GroupSummary& summary, PriorEstimator estimator) {
  if (estimator == PriorEstimator::kMe) {
    return {summary.AlphaMe, summary.BetaMe, LegacyPriorSource::kMe};
  }
  if (summary.Mle) return {summary.Mle->Alpha, summary.Mle->Beta, LegacyPriorSource::kMle};
  return {summary.AlphaMe, summary.BetaMe, LegacyPriorSource::kMeAfterFailedFit};
}

const char* LegacyPriorText(LegacyPriorSource source) {
  switch (source) {
    case LegacyPriorSource::kMle:
      return "MLE";
    case LegacyPriorSource::kMe:
      return "ME";
    case LegacyPriorSource::kMeAfterFailedFit:
      return "ME (MLE failed)";
  }
  return "";
}

PairPosterior LegacyPosterior(std::span<const LegacyPrior> priors, double level) {
  return EachPair([priors, level](const RegionRecord& record, std::size_t group,
                                  CredibleBounds* bounds, std::optional<TailProbabilities>*) {
    const LegacyPrior& prior = priors[group];
    *bounds = PosteriorInterval(record.Data1, record.Data2, prior.Alpha, prior.Beta, level);
  });
}

RecordIntervals ComputeLegacyIntervals(const RecordTable& table, const GroupPlan& plan,
                                       std::span<const LegacyPrior> priors, double level,
                                       unsigned workers, const IntervalProgress& progress) {
  return ComputeRecordPosteriors(table, plan, LegacyPosterior(priors, level), false, workers,
                                 progress);
}

void AppendIntervalRow(const RegionRecord& record, LegacyPriorSource source,
                       const CredibleBounds& bounds, std::string* out) {
  AppendResultFields(record, out);
  out->push_back('\t');
  out->append(LegacyPriorText(source));
  out->push_back('\t');
  if (bounds.Status == IntervalStatus::kOk) {
    AppendFixed6(100.0 * bounds.Lower, out);
    out->push_back('\t');
    AppendFixed6(100.0 * bounds.Upper, out);
    out->push_back('\t');
  } else {
    out->append("\t\t");
    out->append(IntervalStatusText(bounds.Status));
  }
}

void AppendTsvText(std::string_view text, std::string* out) {
  for (const char c : text) {
    switch (c) {
      case '\\': out->append("\\\\"); break;
      case '\t': out->append("\\t"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      default: out->push_back(c); break;
    }
  }
}

}  // namespace propsmooth
