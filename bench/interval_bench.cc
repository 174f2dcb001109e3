// Posterior credible intervals per distinct (x, n) pair of the units and
// rare-rate files: the report's PosteriorInterval against Boost's general
// inverse, which it used for every pair before. The prior of each unit is
// its moment estimate, near where the report's fit ends.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/math/special_functions/beta.hpp>

#include "datasets.h"
#include "estimate/moments.h"
#include "stats/beta_math.h"

namespace propsmooth {
namespace {

struct Pair {
  std::int32_t Data1, Data2;
  double Alpha, Beta;
};

// The distinct (x, n) pairs of each unit with a beta prior, in table order.
std::vector<Pair> MakePairs(Dataset dataset) {
  RecordTable table = MakeDataset(dataset);
  std::stable_sort(table.begin(), table.end(),
                   [](const RegionRecord& x, const RegionRecord& y) { return x.Unit < y.Unit; });
  std::vector<Pair> pairs;
  for (std::size_t begin = 0; begin < table.size();) {
    std::size_t end = begin;
    while (end < table.size() && table[end].Unit == table[begin].Unit) ++end;
    GroupSummary summary;
    ComputeMoments(std::span<RegionRecord>(table.data() + begin, end - begin), &summary);
    if (summary.AlphaMe > 0.0 && summary.BetaMe > 0.0) {
      std::map<std::pair<std::int32_t, std::int32_t>, bool> seen;
      for (std::size_t i = begin; i < end; ++i) {
        if (seen.emplace(std::make_pair(table[i].Data1, table[i].Data2), true).second) {
          pairs.push_back({table[i].Data1, table[i].Data2, summary.AlphaMe, summary.BetaMe});
        }
      }
    }
    begin = end;
  }
  return pairs;
}

const std::vector<Pair>& Pairs(Dataset dataset) {
  static const std::vector<Pair> units = MakePairs(Dataset::kUnits);
  static const std::vector<Pair> rare = MakePairs(Dataset::kRare);
  return dataset == Dataset::kUnits ? units : rare;
}

Dataset Chosen(const benchmark::State& state) {
  return state.range(0) == 0 ? Dataset::kUnits : Dataset::kRare;
}

constexpr double kLevel = 0.95;

void BM_PosteriorInterval(benchmark::State& state) {
  const std::vector<Pair>& pairs = Pairs(Chosen(state));
  for (auto _ : state) {
    for (const Pair& pair : pairs) {
      benchmark::DoNotOptimize(
          PosteriorInterval(pair.Data1, pair.Data2, pair.Alpha, pair.Beta, kLevel));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}

// What PosteriorInterval did before: Boost's inverse for both bounds.
void BM_BoostInverse(benchmark::State& state) {
  namespace bmp = boost::math::policies;
  using Policy = bmp::policy<bmp::promote_double<false>, bmp::domain_error<bmp::errno_on_error>,
                             bmp::evaluation_error<bmp::errno_on_error>>;
  const std::vector<Pair>& pairs = Pairs(Chosen(state));
  const double tail = (1.0 - kLevel) / 2.0;
  for (auto _ : state) {
    for (const Pair& pair : pairs) {
      const double a = pair.Data1 + pair.Alpha;
      const double b = static_cast<double>(pair.Data2 - pair.Data1) + pair.Beta;
      benchmark::DoNotOptimize(boost::math::ibeta_inv(a, b, tail, Policy()));
      benchmark::DoNotOptimize(boost::math::ibetac_inv(a, b, tail, Policy()));
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pairs.size()));
}

BENCHMARK(BM_PosteriorInterval)->ArgNames({"rare"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostInverse)->ArgNames({"rare"})->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace propsmooth

BENCHMARK_MAIN();
