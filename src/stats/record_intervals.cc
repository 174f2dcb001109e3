#include "stats/record_intervals.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <utility>

#include "common/parallel.h"

namespace propsmooth {
namespace {

// Intervals a thread takes at a time: a few milliseconds of work, so that
// the threads end together and progress is told often.
constexpr std::size_t kChunk = 1024;

// Pairs handed to the posterior at once, their records fetched one block
// ahead.
constexpr std::size_t kBlock = 16;

constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

// Tables up to this many records have their distinct pairs counted
// exactly; larger ones estimated.
constexpr std::size_t kExactPairCount = std::size_t{1} << 16;

// SplitMix64's finalizer: every bit of the key moves about half of the
// result's.
std::uint64_t Mix(std::uint64_t key) {
  key = (key ^ (key >> 30)) * 0xBF58476D1CE4E5B9ull;
  key = (key ^ (key >> 27)) * 0x94D049BB133111EBull;
  return key ^ (key >> 31);
}

// Count and size in one key; both are at most 2^31 - 1, so no key is kEmpty.
std::uint64_t KeyOf(const RegionRecord& record) {
  return (std::uint64_t{static_cast<std::uint32_t>(record.Data1)} << 32) |
         static_cast<std::uint32_t>(record.Data2);
}

// Numbers each distinct key of a group from 0 in order of first sight. Its
// room grows with the distinct keys, not with the records: a group of ten
// million regions of a few hundred sizes stays small. Reused group after
// group by one thread.
class KeyNumbers {
 public:
  // Empties the table for the next group. A table grown for a large group
  // is dropped rather than wiped for each small one after it.
  void Clear() {
    if (keys_.size() > 4 * std::max<std::size_t>(size_, 64)) {
      keys_ = std::vector<std::uint64_t>();
      numbers_ = std::vector<std::uint32_t>();
    } else {
      std::fill(keys_.begin(), keys_.end(), kEmpty);
    }
    size_ = 0;
  }

  // The key's number, a new one (size() before the call) when first seen.
  std::uint32_t Number(std::uint64_t key) {
    if (2 * (size_ + 1) > keys_.size()) Grow();
    std::size_t slot = Slot(key);
    while (keys_[slot] != kEmpty) {
      if (keys_[slot] == key) return numbers_[slot];
      slot = (slot + 1) & (keys_.size() - 1);
    }
    keys_[slot] = key;
    numbers_[slot] = static_cast<std::uint32_t>(size_);
    return static_cast<std::uint32_t>(size_++);
  }

  std::size_t size() const { return size_; }

 private:
  // Fibonacci hashing: the top bits of the product spread nearby keys.
  std::size_t Slot(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  void Grow() {
    std::vector<std::uint64_t> old_keys(keys_.empty() ? 64 : 2 * keys_.size(), kEmpty);
    std::vector<std::uint32_t> old_numbers(old_keys.size());
    // The new, empty room takes the place of the old.
    old_keys.swap(keys_);
    old_numbers.swap(numbers_);
    shift_ = 64;
    for (std::size_t slots = keys_.size(); slots > 1; slots >>= 1) --shift_;
    for (std::size_t i = 0; i < old_keys.size(); ++i) {
      if (old_keys[i] == kEmpty) continue;
      std::size_t slot = Slot(old_keys[i]);
      while (keys_[slot] != kEmpty) slot = (slot + 1) & (keys_.size() - 1);
      keys_[slot] = old_keys[i];
      numbers_[slot] = old_numbers[i];
    }
  }

  std::vector<std::uint64_t> keys_;
  std::vector<std::uint32_t> numbers_;
  std::size_t size_ = 0;
  int shift_ = 64;
};

// Runs task(g) for every group of `plan`, in runs (VisitGroupRuns).
void ForEachGroup(const RecordTable& table, const GroupPlan& plan, unsigned workers,
                  const std::function<void(std::size_t, KeyNumbers*)>& task) {
  std::atomic<std::size_t> next{0};
  RunInParallel(std::max(1u, workers), [&](std::size_t) {
    KeyNumbers numbers;
    VisitGroupRuns(table, plan, &next, [&](std::size_t g) { task(g, &numbers); });
  });
}

}  // namespace

RecordIntervals ComputeRecordPosteriors(const RecordTable& table, const GroupPlan& plan,
                                        const PairPosterior& posterior, bool with_tails,
                                        unsigned workers, const IntervalProgress& progress) {
  RecordIntervals intervals;
  const std::size_t groups = plan.Groups.size();

  // Each record's number within its group, and each group's count of
  // them. The record that shows a group's pair j first is kept at the
  // group's plan position Begin + j, which a group of fewer pairs than
  // records always has. Every record is in one group, so the threads set
  // every entry, and the pages are had on all of them at once.
  FillLaterVector<std::uint32_t> number_of = FillLaterVector<std::uint32_t>(table.size());
  FillLaterVector<std::uint32_t> shown_at = FillLaterVector<std::uint32_t>(table.size());
  std::vector<std::size_t> first(groups + 1, 0);
  ForEachGroup(table, plan, workers, [&](std::size_t g, KeyNumbers* numbers) {
    numbers->Clear();
    const GroupSpan& group = plan.Groups[g];
    for (std::size_t k = group.Begin; k < group.End; ++k) {
      const std::uint32_t record = plan.RecordIndices[k];
      const std::size_t known = numbers->size();
      const std::uint32_t number = numbers->Number(KeyOf(table[record]));
      number_of[record] = number;
      if (number == known) shown_at[group.Begin + number] = record;
    }
    first[g + 1] = numbers->size();
  });
  for (std::size_t g = 0; g < groups; ++g) first[g + 1] += first[g];
  const std::size_t distinct = first[groups];

  // The entries are numbered group after group, so that each group's
  // pairs are computed together, and the numbers are made global on a
  // second pass on the threads. Numbering them in order of first sight in
  // the table, as they are written, took a pass on one thread that read
  // and wrote anywhere in memory; the writers fetch their entries ahead.
  intervals.GroupOf = FillLaterVector<std::uint32_t>(distinct);
  if (groups > 1) {
    ForEachGroup(table, plan, workers, [&](std::size_t g, KeyNumbers*) {
      const GroupSpan& group = plan.Groups[g];
      const auto base = static_cast<std::uint32_t>(first[g]);
      for (std::size_t k = group.Begin; k < group.End; ++k) {
        number_of[plan.RecordIndices[k]] += base;
      }
      std::fill(intervals.GroupOf.data() + first[g], intervals.GroupOf.data() + first[g + 1],
                static_cast<std::uint32_t>(g));
    });
  } else {
    std::fill(intervals.GroupOf.begin(), intervals.GroupOf.end(), 0u);
  }
  intervals.OfRecord = std::move(number_of);

  // Set below, on the threads, just before each pair's posterior.
  intervals.Distinct = FillLaterVector<CredibleBounds>(distinct);
  if (with_tails) intervals.DistinctTails.resize(distinct);
  // Computed group by group, in the order of the numbers: what the
  // posterior reads of a group is then read once after another rather
  // than for each pair from anywhere in memory (a table of many small
  // groups waited there on memory for most of a pair's time), and the
  // records, scattered, are fetched a chunk ahead.
  std::atomic<std::size_t> next_chunk{0};
  std::atomic<std::size_t> done{0};
  RunInParallel(std::max(1u, workers), [&](std::size_t thread) {
    std::vector<PairTask> tasks;
    tasks.reserve(kChunk);
    for (std::size_t begin = next_chunk.fetch_add(kChunk); begin < distinct;
         begin = next_chunk.fetch_add(kChunk)) {
      const std::size_t end = std::min(distinct, begin + kChunk);
      // The group of number `begin`: the last whose first number is at most it.
      std::size_t group =
          static_cast<std::size_t>(std::upper_bound(first.begin(), first.end(), begin) -
                                   first.begin()) -
          1;
      tasks.clear();
      for (std::size_t number = begin; number < end; ++number) {
        while (number >= first[group + 1]) ++group;
        intervals.Distinct[number] = CredibleBounds{};
        const std::size_t shown_by = shown_at[plan.Groups[group].Begin + (number - first[group])];
        tasks.push_back({&table[shown_by], group, &intervals.Distinct[number],
                         with_tails ? &intervals.DistinctTails[number] : nullptr});
      }
      // The records, scattered through the table, are asked for a block
      // ahead of their computing: near enough to be in the cache still,
      // few enough for the requests in flight.
      const std::span<const PairTask> all(tasks);
      for (std::size_t k = 0; k < all.size() && k < kBlock; ++k) __builtin_prefetch(all[k].Record);
      for (std::size_t block = 0; block < all.size(); block += kBlock) {
        const std::size_t ahead_end = std::min(all.size(), block + 2 * kBlock);
        for (std::size_t k = block + kBlock; k < ahead_end; ++k) __builtin_prefetch(all[k].Record);
        posterior(all.subspan(block, std::min(kBlock, all.size() - block)));
      }
      const std::size_t total_done = done += end - begin;
      if (thread == 0 && progress) progress(total_done, distinct);
    }
  });
  if (progress) progress(distinct, distinct);
  return intervals;
}

FillLaterVector<std::uint32_t> GroupOfEachRecord(const RecordTable& table, const GroupPlan& plan,
                                                 unsigned workers) {
  if (plan.Groups.size() <= 1) return {};
  FillLaterVector<std::uint32_t> group_of = FillLaterVector<std::uint32_t>(table.size());
  ForEachGroup(table, plan, workers, [&](std::size_t g, KeyNumbers*) {
    const GroupSpan& group = plan.Groups[g];
    for (std::size_t k = group.Begin; k < group.End; ++k) {
      group_of[plan.RecordIndices[k]] = static_cast<std::uint32_t>(g);
    }
  });
  return group_of;
}

double ShareOfDistinctPairs(const RecordTable& table, const GroupPlan& plan, unsigned workers) {
  if (table.empty()) return 1.0;
  // Counted exactly where that is cheap, group by group.
  if (table.size() <= kExactPairCount) {
    KeyNumbers numbers;
    std::size_t distinct = 0;
    for (const GroupSpan& group : plan.Groups) {
      numbers.Clear();
      for (std::size_t k = group.Begin; k < group.End; ++k) {
        numbers.Number(KeyOf(table[plan.RecordIndices[k]]));
      }
      distinct += numbers.size();
    }
    return static_cast<double>(distinct) / static_cast<double>(table.size());
  }
  // Else estimated by HyperLogLog over (unit, count, size), a group being
  // one unit: 2^12 registers, each the most leading zeros (plus one) seen
  // among the hashes whose top 12 bits name it; the standard error is
  // 1.04 / 64, under 2%. One pass through the records in their order, a
  // slice per thread, the registers merged by their maximum.
  constexpr int kIndexBits = 12;
  constexpr std::size_t kRegisters = std::size_t{1} << kIndexBits;
  const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(workers, 64));
  std::vector<std::array<std::uint8_t, kRegisters>> registers(threads);
  RunInParallel(threads, [&](std::size_t thread) {
    std::array<std::uint8_t, kRegisters>& mine = registers[thread];
    mine.fill(0);
    const std::size_t begin = table.size() * thread / threads;
    const std::size_t end = table.size() * (thread + 1) / threads;
    for (std::size_t i = begin; i < end; ++i) {
      const std::uint64_t unit = static_cast<std::uint32_t>(table[i].Unit);
      const std::uint64_t hash = Mix(KeyOf(table[i]) ^ Mix(unit + 0x9E3779B97F4A7C15ull));
      const std::size_t slot = hash >> (64 - kIndexBits);
      // The rest of the hash, a guard bit below it so that the count stops.
      const std::uint64_t rest = (hash << kIndexBits) | (std::uint64_t{1} << (kIndexBits - 1));
      const auto rank = static_cast<std::uint8_t>(std::countl_zero(rest) + 1);
      mine[slot] = std::max(mine[slot], rank);
    }
  });
  double sum = 0.0;
  std::size_t zeros = 0;
  for (std::size_t j = 0; j < kRegisters; ++j) {
    std::uint8_t rank = 0;
    for (const auto& part : registers) rank = std::max(rank, part[j]);
    sum += std::ldexp(1.0, -rank);
    if (rank == 0) ++zeros;
  }
  const auto m = static_cast<double>(kRegisters);
  double estimate = 0.7213 / (1.0 + 1.079 / m) * m * m / sum;
  // Few distinct keys: linear counting of the empty registers.
  if (estimate <= 2.5 * m && zeros > 0) estimate = m * std::log(m / static_cast<double>(zeros));
  return std::min(1.0, estimate / static_cast<double>(table.size()));
}

bool FindIntervalsWhileWriting(const RecordTable& table, const GroupPlan& plan,
                               unsigned workers) {
  return ShareOfDistinctPairs(table, plan, workers) >= 0.9;
}

}  // namespace propsmooth
