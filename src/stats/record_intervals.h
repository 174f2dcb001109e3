// Every record's credible interval, computed on all cores and once per
// distinct count and size within a group.
#ifndef PROPSMOOTH_STATS_RECORD_INTERVALS_H_
#define PROPSMOOTH_STATS_RECORD_INTERVALS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "common/fill_later.h"
#include "common/types.h"
#include "input/grouping.h"
#include "stats/beta_math.h"

namespace propsmooth {

/// The credible intervals of a table's records. Records of one group with
/// the same count and size share their interval.
struct RecordIntervals {
  // One per distinct (Data1, Data2) of a group: group after group in the
  // plan's order, within a group in order of first sight in the table.
  FillLaterVector<CredibleBounds> Distinct;
  FillLaterVector<std::uint32_t> GroupOf;   // by entry of Distinct: its group in the plan
  FillLaterVector<std::uint32_t> OfRecord;  // by record index: its entry of Distinct
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

/// One distinct pair to compute: the record that shows it first, its group
/// in the plan, and where its interval and (when asked for; null otherwise)
/// its tails go.
struct PairTask {
  const RegionRecord* Record = nullptr;
  std::size_t Group = 0;
  CredibleBounds* Bounds = nullptr;
  std::optional<TailProbabilities>* Tails = nullptr;
};

/// The posterior figures of a run of distinct pairs. Called on any of the
/// threads, once per run of many pairs: a call per pair through a
/// type-erased function cost more than some pairs' figures.
using PairPosterior = std::function<void(std::span<const PairTask> tasks)>;

/// A PairPosterior that hands each task to `each(record, group, bounds,
/// tails)`, called directly in the loop over the run.
template <typename Each>
PairPosterior EachPair(Each each) {
  return [each = std::move(each)](std::span<const PairTask> tasks) {
    for (const PairTask& task : tasks) each(*task.Record, task.Group, task.Bounds, task.Tails);
  };
}

/// The figures of every record of `table`, each distinct (Data1, Data2) of
/// a group in `plan` computed once by `posterior`, on up to `workers`
/// threads; DistinctTails is filled when `with_tails`. What a thread throws
/// (running out of memory) reaches the caller.
RecordIntervals ComputeRecordPosteriors(const RecordTable& table, const GroupPlan& plan,
                                        const PairPosterior& posterior, bool with_tails,
                                        unsigned workers, const IntervalProgress& progress);

/// The group in `plan` of each record of `table`, set on up to `workers`
/// threads; empty when the plan has one group or none.
FillLaterVector<std::uint32_t> GroupOfEachRecord(const RecordTable& table, const GroupPlan& plan,
                                                 unsigned workers);

/// The share of records that show a count and size first in their group:
/// how much computing once per distinct pair saves over once per record.
/// Exact for a table of up to 65536 records, estimated within a few
/// hundredths above that (on up to `workers` threads). 1 for an empty
/// table.
double ShareOfDistinctPairs(const RecordTable& table, const GroupPlan& plan, unsigned workers);

/// Whether a table finds each row's interval as the row is written rather
/// than once per distinct pair beforehand: where at least 0.9 of the rows
/// show a pair first, a pair found again for every repeat costs at most a
/// tenth more work, and no table of intervals is held (ten million of them
/// take a quarter of a GB).
bool FindIntervalsWhileWriting(const RecordTable& table, const GroupPlan& plan,
                               unsigned workers);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_RECORD_INTERVALS_H_
