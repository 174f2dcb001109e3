#include "stats/record_estimates.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "common/parallel.h"
#include "common/platform.h"
#include "estimate/estimate_groups.h"
#include "stats/discovery.h"
#include "stats/equal_proportions.h"
#include "stats/group_fit.h"

namespace propsmooth {
namespace {

// Whether every record `indices` of `records` has one proportion.
bool GroupProportionsAllEqual(const RecordTable& records,
                              std::span<const std::uint32_t> indices) {
  EqualProportionsTest test;
  for (const std::uint32_t index : indices) test.Add(records[index].Data1, records[index].Data2);
  return test.AllEqual();
}

// propsmooth's estimates of every group; with `equal_pass`, each group's
// test of equal proportions too, which a run that fits its groups makes
// while it fits them instead.
void Estimate(const EstimateSettings& settings, unsigned workers, const StageProgress& progress,
              bool equal_pass, RecordTable* records, EstimatedGroups* data) {
  const std::size_t groups = data->Plan.Groups.size();
  data->Summaries.reserve(groups);
  AskForLargePages(data->Summaries.data(), data->Summaries.capacity() * sizeof(GroupSummary));
  EstimateGroups(
      settings.Fit, data->Plan, records,
      [&](std::size_t first, std::span<const GroupSummary> batch) {
        data->Summaries.insert(data->Summaries.end(), batch.begin(), batch.end());
        if (progress) progress(first + batch.size(), groups, "groups estimated");
        return true;
      },
      workers);
  if (!equal_pass) return;
  // Summaries stay propsmooth's own figures (the legacy TSV table and the
  // page's log lines show them); the outputs that are the front door's own
  // see equal proportions as no spread (ReportedSummary).
  // On every thread: the records of a group lie anywhere in the table, and
  // a million of them read one after another waited on memory alone.
  std::vector<char> equal(groups, 0);
  std::atomic<std::size_t> next{0};
  const auto threads = static_cast<unsigned>(std::min<std::size_t>(workers, groups));
  RunInParallel(std::max(1u, threads), [&](std::size_t) {
    VisitGroupRuns(*records, data->Plan, &next, [&](std::size_t g) {
      const GroupSpan& span = data->Plan.Groups[g];
      equal[g] = GroupProportionsAllEqual(
                     *records, std::span<const std::uint32_t>(
                                   data->Plan.RecordIndices.data() + span.Begin,
                                   span.End - span.Begin))
                     ? 1
                     : 0;
    });
  });
  data->EqualProportions.assign(equal.begin(), equal.end());
}

// Every record's interval under its group's fit, and its tails at the
// threshold when one is given.
RecordIntervals ComputePosteriors(const EstimateSettings& settings, const RecordTable& records,
                                  const EstimatedGroups& data, unsigned workers,
                                  const IntervalProgress& progress) {
  return ComputeRecordPosteriors(records, data.Plan,
                                 PosteriorsUnderFits(data.Fits, settings.Level,
                                                     settings.Threshold, workers),
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
  data->DiscoveryOfRecord.assign(posteriors.OfRecord.begin(), posteriors.OfRecord.end());
}

}  // namespace

GroupSummary ReportedSummary(const EstimatedGroups& groups, std::size_t g) {
  GroupSummary summary = groups.Summaries[g];
  SettleEqualProportions(g < groups.EqualProportions.size() && groups.EqualProportions[g],
                         &summary);
  return summary;
}

PairPosterior PosteriorsUnderFits(std::span<const GroupFit> fits, double level,
                                  std::optional<double> threshold, unsigned workers) {
  // What a group's records share, found once: the posterior source of
  // each group, and under complete pooling the one interval and tails that
  // every record in the rule has (a file of rare rates pools a third of
  // its groups, each interval a dozen microseconds).
  struct Shared {
    std::vector<PosteriorSource> Sources;
    // By pooled group, in group order; Slot finds a group's entry.
    std::vector<std::uint32_t> Slot;
    std::vector<CredibleBounds> Common;
    std::vector<std::optional<TailProbabilities>> CommonTails;
  };
  auto shared = std::make_shared<Shared>();
  shared->Sources.reserve(fits.size());
  std::vector<std::uint32_t> pooled;
  for (std::size_t g = 0; g < fits.size(); ++g) {
    shared->Sources.push_back(PosteriorSourceOf(fits[g]));
    if (shared->Sources.back().Kind == PosteriorKind::kCommon) {
      pooled.push_back(static_cast<std::uint32_t>(g));
    }
  }
  if (!pooled.empty()) {
    shared->Slot.resize(fits.size());
    for (std::size_t i = 0; i < pooled.size(); ++i) {
      shared->Slot[pooled[i]] = static_cast<std::uint32_t>(i);
    }
    shared->Common.resize(pooled.size());
    if (threshold) shared->CommonTails.resize(pooled.size());
    std::atomic<std::size_t> next{0};
    const auto threads = static_cast<unsigned>(std::min<std::size_t>(workers, pooled.size()));
    RunInParallel(std::max(1u, threads), [&](std::size_t) {
      for (std::size_t i = next++; i < pooled.size(); i = next++) {
        const PosteriorSource& source = shared->Sources[pooled[i]];
        shared->Common[i] = CommonInterval(source, level);
        if (threshold) shared->CommonTails[i] = BetaTails(source.Alpha, source.Beta, *threshold);
      }
    });
  }
  return EachPair([shared, level, threshold](const RegionRecord& record, std::size_t group,
                                    CredibleBounds* bounds,
                                    std::optional<TailProbabilities>* tails) {
    const PosteriorSource& source = shared->Sources[group];
    const bool common = source.Kind == PosteriorKind::kCommon;
    const std::size_t slot = common ? shared->Slot[group] : 0;
    *bounds = IntervalUnder(record, source, level, common ? &shared->Common[slot] : nullptr);
    if (tails == nullptr || !threshold) return;
    if (const std::optional<BetaPrior> posterior = PosteriorUnder(record, source)) {
      *tails = common ? shared->CommonTails[slot]
                      : BetaTails(posterior->Alpha, posterior->Beta, *threshold);
    }
  });
}

RecordEstimates EstimateRecords(const EstimateSettings& settings, const EstimateParts& parts,
                                unsigned workers, const StageProgress& progress,
                                RecordTable* records, EstimatedGroups* data) {
  const bool fits = parts.Fits || parts.Posteriors;
  Estimate(settings, workers, progress, !fits, records, data);
  const IntervalProgress intervals_computed = [&progress](std::size_t done, std::size_t total) {
    if (progress) progress(done, total, "intervals computed");
  };
  RecordEstimates estimates;
  if (fits) {
    // The fit reads each group's records anyway: the test of equal
    // proportions, which its summary needs, rides on that visit.
    std::vector<char> equal(data->Plan.Groups.size(), 0);
    data->Fits = FitGroups(
        *records, data->Plan,
        [&](std::size_t g, std::span<const std::uint32_t> indices) {
          equal[g] = GroupProportionsAllEqual(*records, indices) ? 1 : 0;
          GroupSummary summary = data->Summaries[g];
          SettleEqualProportions(equal[g] != 0, &summary);
          return summary;
        },
        settings.Fit, settings.Estimator, FitOutputs{parts.FitFigures, parts.SizeBound}, workers,
        parts.FigureGroups);
    data->EqualProportions.assign(equal.begin(), equal.end());
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
