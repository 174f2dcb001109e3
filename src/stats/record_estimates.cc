#include "stats/record_estimates.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "estimate/estimate_groups.h"
#include "stats/discovery.h"
#include "stats/equal_proportions.h"
#include "stats/group_fit.h"

namespace propsmooth {
namespace {

void Estimate(const EstimateSettings& settings, unsigned workers, const StageProgress& progress,
              RecordTable* records, EstimatedGroups* data) {
  const std::size_t groups = data->Plan.Groups.size();
  data->Summaries.reserve(groups);
  EstimateGroups(
      settings.Fit, data->Plan, records,
      [&](std::size_t first, std::span<const GroupSummary> batch) {
        data->Summaries.insert(data->Summaries.end(), batch.begin(), batch.end());
        if (progress) progress(first + batch.size(), groups, "groups estimated");
        return true;
      },
      workers);
  // Summaries stay propsmooth's own figures (the legacy TSV table and the
  // page's log lines show them); the outputs that are the front door's own
  // see equal proportions as no spread (ReportedSummary).
  data->EqualProportions.assign(groups, false);
  for (std::size_t g = 0; g < groups; ++g) {
    const GroupSpan& span = data->Plan.Groups[g];
    EqualProportionsTest test;
    for (std::size_t k = span.Begin; k < span.End; ++k) {
      const RegionRecord& record = (*records)[data->Plan.RecordIndices[k]];
      test.Add(record.Data1, record.Data2);
    }
    data->EqualProportions[g] = test.AllEqual();
  }
}

// Every record's interval under its group's fit, and its tails at the
// threshold when one is given.
RecordIntervals ComputePosteriors(const EstimateSettings& settings, const RecordTable& records,
                                  const EstimatedGroups& data, unsigned workers,
                                  const IntervalProgress& progress) {
  return ComputeRecordPosteriors(records, data.Plan,
                                 PosteriorsUnderFits(data.Fits, settings.Level,
                                                     settings.Threshold),
                                 settings.Threshold.has_value(), workers, progress);
}

// The q-values are over the whole file: every record's PEP counts, in
// every group. A PEP is its pair's, so the means run over the pairs'
// distinct PEPs, each counted once per record, in ascending order: the sums
// of the records one by one, without a figure per record.
void MarkDiscoveries(const EstimateSettings& settings, const RecordIntervals& posteriors,
                     EstimatedGroups* data) {
  const std::size_t pairs = posteriors.Distinct.size();
  std::vector<std::int64_t> records_of(pairs, 0);
  for (const std::uint32_t pair : posteriors.OfRecord) ++records_of[pair];
  std::vector<std::uint32_t> order;
  for (std::size_t i = 0; i < pairs; ++i) {
    const std::optional<TailProbabilities>& tails = posteriors.DistinctTails[i];
    if (tails && std::isfinite(tails->AtMost)) order.push_back(static_cast<std::uint32_t>(i));
  }
  const auto pep = [&posteriors](std::uint32_t i) { return posteriors.DistinctTails[i]->AtMost; };
  std::sort(order.begin(), order.end(),
            [&pep](std::uint32_t a, std::uint32_t b) { return pep(a) < pep(b); });
  std::vector<double> values;
  std::vector<std::int64_t> regions;
  for (const std::uint32_t i : order) {
    if (values.empty() || pep(i) != values.back()) {
      values.push_back(pep(i));
      regions.push_back(0);
    }
    regions.back() += records_of[i];
  }
  const std::vector<double> run_q = QValuesOfDistinct(values, regions);
  data->Discoveries.assign(pairs, RegionDiscovery());
  for (std::size_t i = 0; i < pairs; ++i) data->Discoveries[i].Tails = posteriors.DistinctTails[i];
  std::size_t run = 0;
  for (std::size_t j = 0; j < order.size(); ++j) {
    if (j > 0 && pep(order[j]) != pep(order[j - 1])) ++run;
    RegionDiscovery& discovery = data->Discoveries[order[j]];
    discovery.QValue = run_q[run];
    discovery.Discovery = run_q[run] <= settings.Fdr;
  }
  data->DiscoveryOfRecord = posteriors.OfRecord;
}

}  // namespace

GroupSummary ReportedSummary(const EstimatedGroups& groups, std::size_t g) {
  GroupSummary summary = groups.Summaries[g];
  SettleEqualProportions(g < groups.EqualProportions.size() && groups.EqualProportions[g],
                         &summary);
  return summary;
}

PairPosterior PosteriorsUnderFits(std::span<const GroupFit> fits, double level,
                                  std::optional<double> threshold) {
  return [fits, level, threshold](const RegionRecord& record, std::size_t group,
                                  CredibleBounds* bounds,
                                  std::optional<TailProbabilities>* tails) {
    const GroupFit& fit = fits[group];
    *bounds = IntervalUnderFit(record, fit, level);
    if (tails == nullptr || !threshold) return;
    if (const std::optional<BetaPrior> posterior = PosteriorUnderFit(record, fit)) {
      *tails = BetaTails(posterior->Alpha, posterior->Beta, *threshold);
    }
  };
}

RecordEstimates EstimateRecords(const EstimateSettings& settings, const EstimateParts& parts,
                                unsigned workers, const StageProgress& progress,
                                RecordTable* records, EstimatedGroups* data) {
  Estimate(settings, workers, progress, records, data);
  const IntervalProgress intervals_computed = [&progress](std::size_t done, std::size_t total) {
    if (progress) progress(done, total, "intervals computed");
  };
  RecordEstimates estimates;
  if (parts.Fits || parts.Posteriors) {
    std::vector<GroupSummary> reported;
    reported.reserve(data->Summaries.size());
    for (std::size_t g = 0; g < data->Summaries.size(); ++g) {
      reported.push_back(ReportedSummary(*data, g));
    }
    data->Fits = FitGroups(*records, data->Plan, reported, settings.Fit,
                           settings.Estimator, parts.SizeBound, workers);
  }
  if (parts.Posteriors) {
    estimates.Posteriors = ComputePosteriors(settings, *records, *data, workers,
                                             intervals_computed);
    if (settings.Threshold) {
      MarkDiscoveries(settings, estimates.Posteriors, data);
    }
  }
  return estimates;
}

}  // namespace propsmooth
