// The fast step kernel against the term-by-term loops: every sum, every
// correction and every fit outcome must agree to the last bit, on every
// instruction set the kernel is compiled for and this CPU runs.
#include "estimate/step_sums.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "estimate/mle_internal.h"
#include "estimate/moments.h"
#include "estimate/same_bits.h"
#include "estimate/simd_targets.h"
#include "estimate/sweep.h"
#include "estimate/sweep_internal.h"
#include "estimate/worked_groups.h"
#include "reference/reference.h"

namespace propsmooth {
namespace {

// Unoptimised (sanitizer) builds run the term-by-term reference about ten
// times slower; there the largest counts are checked at a smaller scale.
constexpr bool IsOptimizedBuild() {
#ifdef __OPTIMIZE__
  return true;
#else
  return false;
#endif
}

// How a group's regions are drawn.
enum class Shape {
  kOrdinary,      // counts a fraction of sizes
  kZeroCounts,    // most Data1 are 0
  kCountAbove,    // Data1 > Data2 in some regions
  kCountEquals,   // Data1 == Data2 in some regions
  kRare,          // large sizes, counts of a few
  kRepeated,      // few distinct sizes, so regions share rungs
};

struct GroupKind {
  const char* Name;
  Shape Kind;
  int MinRegions;
  int MaxRegions;
  std::int32_t MaxSize;
};

std::vector<Region> DrawGroup(const GroupKind& kind, std::mt19937_64* rng) {
  std::uniform_int_distribution<int> region_count(kind.MinRegions, kind.MaxRegions);
  std::uniform_int_distribution<std::int32_t> size(1, kind.MaxSize);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Region> regions(static_cast<std::size_t>(region_count(*rng)));
  std::vector<std::int32_t> few_sizes = {size(*rng), size(*rng), size(*rng)};
  for (Region& region : regions) {
    region.Data2 = kind.Kind == Shape::kRepeated
                       ? few_sizes[static_cast<std::size_t>(unit(*rng) * 3.0)]
                       : size(*rng);
    const double share = unit(*rng);
    region.Data1 = static_cast<std::int32_t>(share * 0.4 * region.Data2);
    switch (kind.Kind) {
      case Shape::kOrdinary:
      case Shape::kRepeated:
        break;
      case Shape::kZeroCounts:
        if (share < 0.8) region.Data1 = 0;
        break;
      case Shape::kCountAbove:
        if (share < 0.5) region.Data1 = region.Data2 + static_cast<std::int32_t>(share * 50.0);
        break;
      case Shape::kCountEquals:
        if (share < 0.5) region.Data1 = region.Data2;
        break;
      case Shape::kRare:
        region.Data1 = static_cast<std::int32_t>(share * 4.0);
        break;
    }
  }
  return regions;
}

constexpr GroupKind kKinds[] = {
    // name             shape                regions   largest size
    {"ordinary",        Shape::kOrdinary,    2,  40,   3000},
    {"zero counts",     Shape::kZeroCounts,  2,  40,   2000},
    {"count above",     Shape::kCountAbove,  2,  30,   2000},
    {"count equals",    Shape::kCountEquals, 2,  30,   2000},
    {"single region",   Shape::kOrdinary,    1,  1,    5000},
    {"rare",            Shape::kRare,        2,  12,   100000},
    {"repeated sizes",  Shape::kRepeated,    5,  60,   4000},
};

// Each test runs once per target, through the library's own dispatcher.
std::vector<std::int64_t> TargetsHere() {
  std::vector<std::int64_t> targets;
  const std::int64_t usable = hwy::SupportedTargets() & CompiledSimdTargets();
  for (std::int64_t t = usable; t != 0; t &= t - 1) targets.push_back(t & -t);
  return targets;
}

class StepKernel : public testing::TestWithParam<std::int64_t> {
 protected:
  void SetUp() override {
    hwy::SetSupportedTargetsForTest(GetParam());
    ASSERT_EQ(ActiveSimdTarget(), hwy::TargetName(GetParam()));
  }
  void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
};

INSTANTIATE_TEST_SUITE_P(EveryTarget, StepKernel, testing::ValuesIn(TargetsHere()),
                         [](const testing::TestParamInfo<std::int64_t>& target) {
                           return std::string(hwy::TargetName(target.param));
                         });

// Where a step is taken: the ordinary positive parameters, and the
// starting values a moment estimator can give (zero, negative, a negative
// whole number that makes a denominator 0).
std::vector<std::pair<double, double>> DrawPoints(std::mt19937_64* rng) {
  std::uniform_real_distribution<double> log_scale(-3.0, 5.0);
  std::vector<std::pair<double, double>> points;
  for (int p = 0; p < 6; ++p) {
    points.emplace_back(std::pow(10.0, log_scale(*rng)), std::pow(10.0, log_scale(*rng)));
  }
  points.insert(points.end(), {{0.0, 3.5}, {2.5, 0.0}, {0.0, 0.0}, {-0.0, 1.0},
                               {-0.028919, -0.057839}, {-3.0, 7.25}, {4.0, -2.0},
                               {-1.5, -2.5}, {1e-300, 1e300}});
  return points;
}

// Test that every sum matches the term-by-term loops wherever the step is
// taken, with and without the helper thread: for drawn groups of every
// shape, for sweeps long enough to be split across threads, and for sweeps
// whose running sums cross many powers of two.
TEST_P(StepKernel, MatchesLiteralSumsBitForBit) {
  struct Case {
    std::string Name;
    std::vector<Region> Regions;
    std::vector<std::pair<double, double>> Points;
  };
  std::vector<Case> cases = {
      {"long sizes",  {{3, 400000}, {0, 250000}, {7, 399999}, {2, 1}}, {{0.75, 9000.0}}},
      {"tiny base",   {{90000, 100000}, {5, 70000}},                   {{1e-9, 3e-7}}},
      {"huge base",   {{1, 300000}, {0, 300000}},                      {{5e12, 2e15}}},
      {"shared rung", {{2, 200000}, {2, 200000}, {2, 200000}},         {{1.0, 1.0}}},
      // From a base of 2^-44 the first sum holds about 2^44 and its last
      // place is 2^-8: the term of k = 512 is exactly half of it, a tie,
      // and so is the term of k = 1024 in the (A + B) row.
      {"exact ties",  {{40, 90000}, {300, 5000}, {1000, 70000}},       {{0x1p-44, 0x1p-44}}},
      // Rare counts in large regions: the first sums near 8 and the
      // second sums near 1/B, as in a country's districts.
      {"rare",        {{12, 900000}, {0, 150000}, {3, 40000}, {40, 320000}},
                      {{0.2, 1668.0}}},
  };
  std::mt19937_64 rng(20240611);
  for (const GroupKind& kind : kKinds) {
    for (int draw = 0; draw < 12; ++draw) {
      cases.push_back({std::string(kind.Name) + " draw " + std::to_string(draw),
                       DrawGroup(kind, &rng), DrawPoints(&rng)});
    }
  }
  for (const Case& c : cases) {
    for (const bool threads : {false, true}) {
      StepPlan plan = MakeStepPlan(c.Regions, threads);
      for (const auto& [alpha, beta] : c.Points) {
        SCOPED_TRACE(c.Name + " at " + std::to_string(alpha) + ", " + std::to_string(beta));
        ExpectSameSums(LiteralStepSums(c.Regions, alpha, beta),
                       ComputeStepSums(plan, alpha, beta));
      }
    }
  }
}

// Test that one sweep reads off, at every count, the running sums of the
// plain loop, from bases where the sums' last places are fine and coarse
// against the terms: many counts close together, counts far apart, runs
// that meet ties and powers of two, a negative base with a zero term.
TEST_P(StepKernel, SweepReadsOffThePlainRunningSums) {
  struct Case {
    const char* Name;
    double Base;
    std::int64_t Largest;
    int Counts;
  };
  const Case cases[] = {
      {"small base",        0.2,           300000, 40},
      {"district base",     1668.16,       400000, 3000},
      {"large base",        140143.19,     400000, 25},
      {"huge base",         3e9,           200000, 5},
      {"tiny base",         0x1p-44,       100000, 200},
      {"negative base",     -7.0,          150000, 60},
      {"negative fraction", -2.5,          150000, 60},
      {"one count",         33.0,          250000, 1},
      // Small groups of rare counts: sums that cross a power of two every
      // few dozen terms, and rungs closer together than a vector's lanes.
      {"rare group",        2020.37,       1100,   10},
      {"rare whole base",   2000.0,        1087,   10},
      {"dense rungs",       21.3,          1000,   700},
      // Every count among the first terms, which are added one at a time:
      // the success counts of rare events.
      {"head only",         3.25,          39,     60},
  };
  std::mt19937_64 rng(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::uniform_int_distribution<std::int64_t> count(0, c.Largest);
    std::vector<std::int64_t> counts = {c.Largest};
    for (int i = 1; i < c.Counts; ++i) counts.push_back(count(rng));
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    std::vector<double> first;
    std::vector<double> second;
    SweepInnerSums(counts, c.Base, &first, &second);
    ASSERT_EQ(first.size(), counts.size());
    std::vector<double> plain_first;
    std::vector<double> plain_second;
    LiteralInnerSums(counts, c.Base, &plain_first, &plain_second);
    for (std::size_t j = 0; j < counts.size(); ++j) {
      ASSERT_EQ(Bits(plain_first[j]), Bits(first[j])) << "first sum at count " << counts[j];
      ASSERT_EQ(Bits(plain_second[j]), Bits(second[j])) << "second sum at count " << counts[j];
    }
  }
}

// Test that the short sweeps of many small groups read off the plain
// running sums: there a run meets a power of two of one sum or the other
// every few dozen terms, the rungs cut its chunks short of a vector, and,
// with the first sum's terms a few hundred ulps of a fraction apart, one
// term in a few hundred is a tie that sends its chunk term by term.
TEST_P(StepKernel, ShortSweepsOfSmallGroupsMatchThePlainLoop) {
  struct Case {
    const char* Name;
    double LowBase;  // bases drawn uniformly from [LowBase, HighBase)
    double HighBase;
    bool WholeBase;  // rounded to a whole number: d is exact, ties likelier
    std::int64_t LowLargest;
    std::int64_t HighLargest;
    int Rungs;
  };
  const Case cases[] = {
      {"sizes of units",      50.0,   3000.0, false, 900, 1100, 12},
      {"whole bases",         1000.0, 4096.0, true,  700, 1300, 10},
      {"rare successes",      10.0,   40.0,   false, 5,   60,   10},
      {"failures of units",   1500.0, 2500.0, false, 850, 1050, 3},
      {"dense short rungs",   100.0,  200.0,  false, 300, 400,  150},
  };
  std::mt19937_64 rng(5);
  for (const Case& c : cases) {
    std::uniform_real_distribution<double> base_of(c.LowBase, c.HighBase);
    std::uniform_int_distribution<std::int64_t> largest_of(c.LowLargest, c.HighLargest);
    for (int sweep = 0; sweep < 200; ++sweep) {
      const double base = c.WholeBase ? std::round(base_of(rng)) : base_of(rng);
      const std::int64_t largest = largest_of(rng);
      std::uniform_int_distribution<std::int64_t> count(0, largest);
      std::vector<std::int64_t> counts = {largest};
      for (int i = 1; i < c.Rungs; ++i) counts.push_back(count(rng));
      std::sort(counts.begin(), counts.end());
      counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
      std::vector<double> first;
      std::vector<double> second;
      SweepInnerSums(counts, base, &first, &second);
      std::vector<double> plain_first;
      std::vector<double> plain_second;
      LiteralInnerSums(counts, base, &plain_first, &plain_second);
      ASSERT_EQ(first.size(), counts.size()) << c.Name;
      for (std::size_t j = 0; j < counts.size(); ++j) {
        ASSERT_EQ(Bits(plain_first[j]), Bits(first[j]))
            << c.Name << ": first sum, base " << base << ", count " << counts[j];
        ASSERT_EQ(Bits(plain_second[j]), Bits(second[j]))
            << c.Name << ": second sum, base " << base << ", count " << counts[j];
      }
    }
  }
}

double PlainSum(double start, const std::vector<double>& terms) {
  double sum = start;
  for (const double term : terms) sum = sum + term;
  return sum;
}

// Sets flush-to-zero and denormals-are-zero on this thread, as a library
// built with fast-math may leave them, and restores the mode after.
class FlushToZero {
 public:
  FlushToZero() {
#if defined(__x86_64__)
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | (1u << 15) | (1u << 6));
#elif defined(__aarch64__)
    asm volatile("mrs %0, fpcr" : "=r"(saved_));
    asm volatile("msr fpcr, %0" : : "r"(saved_ | (std::uint64_t{1} << 24)));
#endif
  }
  ~FlushToZero() {
#if defined(__x86_64__)
    _mm_setcsr(saved_);
#elif defined(__aarch64__)
    asm volatile("msr fpcr, %0" : : "r"(saved_));
#endif
  }
  FlushToZero(const FlushToZero&) = delete;
  FlushToZero& operator=(const FlushToZero&) = delete;

 private:
#if defined(__x86_64__)
  unsigned int saved_ = 0;
#else
  std::uint64_t saved_ = 0;
#endif
};

// Test that the sums keep their subnormal terms whatever mode the caller's
// thread is in: with A + B near 2^511 every 1/(d*d) of its row is subnormal.
TEST_P(StepKernel, IgnoresCallersFlushToZero) {
  const std::vector<Region> regions = {{3, 40}, {0, 25}, {30, 300}};
  const double alpha = 0x1.2p510;
  const double beta = 0x1.8p510;
  const StepSums expected = LiteralStepSums(regions, alpha, beta);
  const double largest_term = 1.0 / ((alpha + beta) * (alpha + beta));
  ASSERT_GT(largest_term, 0.0);
  ASSERT_LT(largest_term, std::numeric_limits<double>::min());
  StepPlan plan = MakeStepPlan(regions, false);
  const std::vector<double> terms(300, 0x1p-1070);
  double sum = 0x1p-1060;
  {
    const FlushToZero flush;
    ExpectSameSums(expected, ComputeStepSums(plan, alpha, beta));
    AddInOrder(terms, &sum);
  }
  EXPECT_EQ(Bits(PlainSum(0x1p-1060, terms)), Bits(sum));
}

// Test that adding a span at once gives the sum of the plain loop where
// the shortcut must not apply: a sum reaching the next power of two, terms
// exactly halfway between two multiples of the sum's last place (rounded
// to even, so the result depends on the sum), terms just off halfway,
// negative terms at a power of two (below it the places are finer), and
// values that are not numbers.
TEST_P(StepKernel, AddInOrderMatchesPlainLoop) {
  struct Case {
    const char* Name;
    double Start;
    std::vector<double> Terms;
  };
  // As doubles: <cmath>'s INFINITY and NAN are floats.
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  const auto repeat = [](double term, std::size_t count) {
    return std::vector<double>(count, term);
  };
  std::vector<Case> cases = {
      {"reaches 2^53",          0x1p53 - 10.0, repeat(1.0, 12)},
      {"ends at 2^53",          0x1p53 - 12.0, repeat(1.0, 12)},
      {"ends below 2^53",       0x1p53 - 13.0, repeat(1.0, 12)},
      {"ties from odd",         0x1p52 + 1.0,  repeat(0.5, 40)},
      {"ties from even",        0x1p52,        repeat(0.5, 40)},
      {"just below half",       0x1p52 + 1.0,  repeat(0.5 - 0x1p-40, 40)},
      {"just above half",       0x1p52 + 1.0,  repeat(0.5 + 0x1p-40, 40)},
      {"negative at 1",         1.0,           repeat(-0.3 * 0x1p-52, 40)},
      {"negative below half",   1.0,           repeat(-0.1 - 0x1p-30, 9)},
      {"negative across zero",  1.0,           repeat(-0.3 - 0x1p-31, 9)},
      {"negative zero terms",   1.0,           repeat(-0.0, 40)},
      {"from zero",             0.0,           repeat(0.1, 600)},
      {"from negative zero",    -0.0,          repeat(0.0, 20)},
      {"subnormal start",       0x1p-1070,     repeat(0x1p-1074, 50)},
      {"huge terms",            1.0,           repeat(0x1p1000, 20)},
      {"infinite term",         1.0,           {0.5, 0.25, kInf, 0.125}},
      {"not a number",          1.0,           {0.5, kNan, 0.125}},
  };
  // Long runs of random terms from random starts, many crossing powers
  // of two, some with runs of exact halves.
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> exponent(-60.0, 4.0);
  for (int r = 0; r < 200; ++r) {
    Case c{"random", std::ldexp(1.0, static_cast<int>(exponent(rng))) * 1.5, {}};
    const double scale = std::ldexp(1.0, static_cast<int>(exponent(rng)));
    for (int k = 0; k < 1500; ++k) {
      c.Terms.push_back(r % 4 == 0 ? scale * 0.5 : scale / (1.0 + k * 0.01));
    }
    cases.push_back(c);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    double sum = c.Start;
    AddInOrder(c.Terms, &sum);
    EXPECT_EQ(Bits(PlainSum(c.Start, c.Terms)), Bits(sum));
  }
}

// The kernel of one fit, remembering the sums of its last step.
struct Recorder {
  StepSumsFunction Kernel;
  StepSums Last;
  int Calls = 0;
};

StepSumsFunction Record(Recorder* recorder) {
  return [recorder](double alpha, double beta) {
    recorder->Last = recorder->Kernel(alpha, beta);
    ++recorder->Calls;
    return recorder->Last;
  };
}

StepSumsFunction Planned(StepPlan* plan) {
  return [plan](double alpha, double beta) { return ComputeStepSums(*plan, alpha, beta); };
}

enum Outcome { kConverged, kLimitReached, kNonPositive, kUndefinedStep, kOutcomes };

Outcome Classify(const GroupSummary& summary, const Recorder& recorder) {
  if (summary.Mle) return kConverged;
  if (recorder.Calls == summary.Iterations) return kLimitReached;
  const StepSums& s = recorder.Last;
  const double det = s.HessAlpha * s.HessBeta - s.HessMixed * s.HessMixed;
  const bool defined = std::isfinite(s.GradAlpha) && std::isfinite(s.GradBeta) &&
                       std::isfinite(s.HessMixed) && std::isfinite(det) && det != 0.0;
  return defined ? kNonPositive : kUndefinedStep;
}

// Test that a whole fit on the fast kernel stores what the plain loop
// (every step up to the limit, on the term-by-term sums) stores, bit for
// bit, and that the groups reach every way a fit can end. The worked groups
// also run a grid of tolerances and limits, where the fit converges, runs
// to the limit or cuts a repeating cycle short.
TEST_P(StepKernel, FitsMatchThePlainLoop) {
  std::mt19937_64 rng(77);
  std::vector<RunSettings> all_settings = {RunSettings(), Settings(-1.0, 6, -1.0, -1.0),
                                           Settings(0.00001, 20, 0.5, 40.0),
                                           Settings(0.01, 3, -1.0, -1.0)};
  const std::size_t kRandomSettings = all_settings.size();
  for (const double eps : {0.00001, 0.0, -1.0}) {
    for (const int limit : {1, 6, 7, 41, 90}) {
      all_settings.push_back(Settings(eps, limit, -1.0, -1.0));
    }
  }

  // Fixed groups make sure of the outcomes the random ones reach rarely.
  std::vector<std::vector<Region>> groups = {
      {{12, 100}, {30, 120}, {7, 80}, {25, 90}, {16, 110}, {40, 150}},
      {{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}},
      {{1, 10}, {3, 10}},
      {{0, 10}, {9, 10}, {1, 10}},   // negative moment estimators
      {{2, 10}, {4, 20}, {6, 30}},   // no variance: a zero denominator
      {{40, 90}, {3, 70}, {55, 60}},
      {{1, 10}, {2, 20}, {3, 30}, {1, 12}},  // variance near 1e-4
  };
  const std::size_t kFixedGroups = groups.size();
  for (const GroupKind& kind : kKinds) {
    for (int draw = 0; draw < 6; ++draw) groups.push_back(DrawGroup(kind, &rng));
  }

  int seen[kOutcomes] = {};
  for (std::size_t g = 0; g < groups.size(); ++g) {
    GroupWorkspace workspace;
    workspace.Regions = groups[g];
    ComputeMoments(&workspace);
    StepPlan plan = MakeStepPlan(workspace.Regions, false);
    const std::size_t settings_count = g < kFixedGroups ? all_settings.size() : kRandomSettings;
    for (std::size_t k = 0; k < settings_count; ++k) {
      const RunSettings& settings = all_settings[k];
      SCOPED_TRACE("group " + std::to_string(g) + " eps " + std::to_string(settings.Eps) +
                   " limit " + std::to_string(settings.IterationLimit));
      Recorder literal{LiteralKernel(workspace.Regions), {}, 0};
      GroupSummary expected = workspace.Summary;
      GroupSummary actual = workspace.Summary;
      PlainFit(settings, Record(&literal), &expected);
      FitMleWith(settings, Planned(&plan), &actual);
      ExpectSameFit(expected, actual);
      ++seen[Classify(expected, literal)];
    }
  }
  EXPECT_GT(seen[kConverged], 0);
  EXPECT_GT(seen[kLimitReached], 0);
  EXPECT_GT(seen[kNonPositive], 0);
  EXPECT_GT(seen[kUndefinedStep], 0);
}

// Test counts at the top of the 32-bit range in a tiny group: one step of
// the fit (the reference costs about 2^31 terms per row, so it is taken
// once and every target is checked against it here), and the sums.
TEST(StepKernelAllTargets, MatchesAtLargestCounts) {
  constexpr std::int32_t kTop = IsOptimizedBuild()
                                    ? std::numeric_limits<std::int32_t>::max()
                                    : std::int32_t{1} << 26;
  // Data1 above Data2 keeps the Beta rows of the large region empty, so
  // the reference sweeps 2^31 terms in rows 2 and 5 only (about ten
  // seconds); a large Data2 would add four such rows.
  const std::vector<Region> regions = {{kTop, 2}, {0, 3}};
  RunSettings one_step;
  one_step.IterationLimit = 1;
  one_step.AlphaInit = 3.25;
  one_step.BetaInit = 0.5;
  StepPlan plan = MakeStepPlan(regions, true);
  Recorder literal{LiteralKernel(regions), {}, 0};
  GroupSummary expected;
  FitMleWith(one_step, Record(&literal), &expected);
  EXPECT_EQ(literal.Calls, 1);
  for (const std::int64_t target : TargetsHere()) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    Recorder fast{Planned(&plan), {}, 0};
    GroupSummary actual;
    FitMleWith(one_step, Record(&fast), &actual);
    ExpectSameFit(expected, actual);
    ExpectSameSums(literal.Last, fast.Last);
    EXPECT_EQ(fast.Calls, 1);
  }
  hwy::SetSupportedTargetsForTest(0);
}

}  // namespace
}  // namespace propsmooth
