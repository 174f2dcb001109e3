// Every record's credible interval, computed on all cores and once per
// distinct count and size within a group.
#ifndef PROPSMOOTH_STATS_RECORD_INTERVALS_H_
#define PROPSMOOTH_STATS_RECORD_INTERVALS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/types.h"
#include "input/grouping.h"
#include "stats/beta_math.h"
#include "stats/group_prior.h"

namespace propsmooth {

/// The credible intervals of a table's records. Records of one group with
/// the same count and size share their interval.
struct RecordIntervals {
  std::vector<CredibleBounds> Distinct;  // one per distinct (Data1, Data2) of a group
  std::vector<std::uint32_t> GroupOf;    // by entry of Distinct: its group in the plan
  std::vector<std::uint32_t> OfRecord;   // by record index: its entry of Distinct
  // By entry of Distinct, when the tails at a threshold are asked for.
  std::vector<std::optional<TailProbabilities>> DistinctTails;

  const CredibleBounds& operator[](std::size_t record) const {
    return Distinct[OfRecord[record]];
  }
  /// The group of a record, by record index.
  std::size_t GroupOfRecord(std::size_t record) const { return GroupOf[OfRecord[record]]; }
};

/// Told now and then, on the calling thread, how many of the distinct
/// intervals are computed.
using IntervalProgress = std::function<void(std::size_t done, std::size_t total)>;

/// The interval at `level` of every record of `table`, under the prior of
/// its group in `plan` (`priors`, by group): what PosteriorInterval(Data1,
/// Data2, Alpha, Beta, level) gives, bit for bit, since it is called with
/// those very arguments, once per distinct (Data1, Data2) of a group, on up
/// to `workers` threads. What a thread throws (running out of memory)
/// reaches the caller.
RecordIntervals ComputeRecordIntervals(const RecordTable& table, const GroupPlan& plan,
                                       std::span<const GroupPrior> priors, double level,
                                       unsigned workers, const IntervalProgress& progress);

/// The posterior figures of one distinct pair, from the record that shows
/// it first and its group in the plan: its interval, and its tails when
/// asked for (`tails` null otherwise). Called on any of the threads.
using PairPosterior = std::function<void(const RegionRecord& record, std::size_t group,
                                         CredibleBounds* bounds,
                                         std::optional<TailProbabilities>* tails)>;

/// As ComputeRecordIntervals, each distinct pair's figures from `posterior`;
/// DistinctTails is filled when `with_tails`.
RecordIntervals ComputeRecordPosteriors(const RecordTable& table, const GroupPlan& plan,
                                        const PairPosterior& posterior, bool with_tails,
                                        unsigned workers, const IntervalProgress& progress);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RECORD_INTERVALS_H_
