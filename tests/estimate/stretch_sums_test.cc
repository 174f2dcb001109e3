// Sums taken a stretch at a time against the plain loop, one term at a
// time in double, on the cases where a stretch must not be taken whole:
// ties that round by the sum's parity, sums that reach their next power of
// two inside a stretch, and second terms that stop adding anything.
#include "estimate/stretch_sums.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include "estimate/same_bits.h"
#include "estimate/simd_targets.h"
#include "reference/reference.h"

namespace propsmooth {
namespace {

// The plain loop, continued from k = from with the sums given.
void PlainContinued(double base, std::int64_t from, double sum1, double sum2,
                    const std::vector<std::int64_t>& counts, std::vector<double>* first,
                    std::vector<double>* second) {
  std::int64_t k = from;
  for (const std::int64_t count : counts) {
    for (; k < count; ++k) {
      const double d = base + static_cast<double>(k);
      sum1 = sum1 + 1.0 / d;
      sum2 = sum2 + 1.0 / (d * d);
    }
    first->push_back(sum1);
    second->push_back(sum2);
  }
}

struct Continued {
  const char* Name;
  double Base;
  std::int64_t From;
  double Sum1;
  double Sum2;
  std::vector<std::int64_t> Counts;
};

// 1 / fl(2^59 / 7) is exactly 7 * 2^-59 (checked in Python: 1.0 / (2.0**59
// / 7) == 7 * 2.0**-59), and d = fl(base + k) stays at the base for several
// k (its ulp is 8): on a sum of ulp 2^-58, a stretch of terms of exactly
// 3.5 ulps, each rounding to the even neighbour. Likewise 1 / 2^54 is 0.5
// ulps of a sum in [1/2, 1). Starting from an odd and an even number of
// ulps covers both ways the first tie can go.
const double kTieBase = 0x1p59 / 7.0;

// Ties at an end inside a batch of stretch ends, which no vector may take:
// 2^11 / 7 rounds to the double D with 1.0 / D == 7 * 2^-11, 3.5 ulps of a
// sum of ulp 2^-10, and the double D2 = 482.71822929001644 has
// 1.0 / (D2 * D2) == 4.5 * 2^-20 (both checked in Python, which rounds as
// the loop does). The bases below are D - 116 and D2 - 113, exactly (also
// checked: base + 116 == D, base + 113 == D2): the sweeps start at about
// 5.8 and 7.7 ulps a term, reach the tie after a few stretches of about
// 30 and 50 terms, and go on until their terms round away.
const double kFirstTieBase = 176.57142857142856;
const double kSecondTieBase = 369.71822929001644;

const Continued kContinued[] = {
    {"a first-sum tie inside a batch, even sum", kFirstTieBase, 0, 0x1p42, 1.0,
     {100, 116, 117, 3000}},
    {"a first-sum tie inside a batch, odd sum", kFirstTieBase, 0, 0x1p42 + 0x1p-10, 1.0, {3000}},
    {"a second-sum tie inside a batch, even sum", kSecondTieBase, 0, 1.0, 0x1p32,
     {113, 114, 4000}},
    {"a second-sum tie inside a batch, odd sum", kSecondTieBase, 0, 1.0, 0x1p32 + 0x1p-20,
     {4000}},
    {"ties of 3.5 ulps from an even sum", kTieBase, 0, 0x1p-6, 0x1p-100, {3, 40, 41}},
    {"ties of 3.5 ulps from an odd sum", kTieBase, 0, 0x1p-6 + 0x1p-58, 0x1p-100, {1, 40}},
    {"ties of half an ulp, odd", 0x1p54, 0, 0.5 + 0x1p-53, 0.5, {2, 3, 30}},
    {"ties of half an ulp, even", 0x1p54, 0, 0.5, 0.5, {30}},
    // Terms of about 2730 ulps in stretches of about 6e8 terms: both sums
    // reach their next power of two a few dozen terms in.
    {"power of two inside a stretch", 0x1.8p40, 0, 2.0 - 100000 * 0x1p-52,
     0x1p-60 - 50 * 0x1p-81, {1000000}},
    // Terms of about 5.6e6 ulps in stretches of about 18 terms, taken many
    // at once: the first sum reaches 16 about 200,000 terms in.
    {"power of two inside stretches taken at once", 100.25, 100000000, 16.0 - 0x1p-9,
     0.01, {100300000, 101000000}},
    // The second terms fall below half an ulp of a sum of 1 near d = 2^26.5
    // (their quotient is 2^52 / d^2).
    {"second terms rounding away", 3.75, 50000000, 17.0, 1.0, {90000000, 110000000}},
    {"rungs inside stretches", 1000.5, 90000000, 11.5, 0x1p-10,
     {90000000, 90000001, 90500000, 90500000, 95000017}},
    {"sums off any grid", 2.5, 1000, 0.0, 0x1p1000, {1500, 3000}},
};

// Runs `check` once on each target compiled in that this CPU has, with the
// dispatch pointed at it alone.
template <class Check>
void OnEveryTarget(const Check& check) {
  const std::int64_t usable = hwy::SupportedTargets() & CompiledSimdTargets();
  for (std::int64_t targets = usable; targets != 0; targets &= targets - 1) {
    const std::int64_t target = targets & -targets;
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    check();
  }
  hwy::SetSupportedTargetsForTest(0);
}

TEST(StretchSums, ContinueAsThePlainLoop) {
  for (const Continued& row : kContinued) {
    SCOPED_TRACE(row.Name);
    std::vector<double> expected1;
    std::vector<double> expected2;
    PlainContinued(row.Base, row.From, row.Sum1, row.Sum2, row.Counts, &expected1, &expected2);
    OnEveryTarget([&] {
      std::vector<double> first(row.Counts.size());
      std::vector<double> second(row.Counts.size());
      ContinueInStretches(row.Base, row.From, row.Sum1, row.Sum2, row.Counts, first, second);
      for (std::size_t j = 0; j < row.Counts.size(); ++j) {
        EXPECT_EQ(Bits(expected1[j]), Bits(first[j])) << "first sum at " << row.Counts[j];
        EXPECT_EQ(Bits(expected2[j]), Bits(second[j])) << "second sum at " << row.Counts[j];
      }
    });
  }
}

struct FromZero {
  const char* Name;
  double Base;
  std::vector<std::int64_t> Counts;
};

// Whole sweeps that hand over from the kernel to the stretches, on every
// target the kernel has here.
const FromZero kFromZero[] = {
    {"base of a size sweep", 1000.5, {7, 100000000, 200000001, 300000000}},
    {"small base", 0.375, {150000000, 150000001}},
};

TEST(StretchSums, SweepAsThePlainLoop) {
  for (const FromZero& row : kFromZero) {
    SCOPED_TRACE(row.Name);
    ASSERT_GT(StretchStart(row.Base, row.Counts.back()), 0) << "the stretches are not taken";
    std::vector<double> expected1;
    std::vector<double> expected2;
    LiteralInnerSums(row.Counts, row.Base, &expected1, &expected2);
    OnEveryTarget([&] {
      std::vector<double> first;
      std::vector<double> second;
      SweepInnerSumsInStretches(row.Counts, row.Base, &first, &second);
      for (std::size_t j = 0; j < row.Counts.size(); ++j) {
        EXPECT_EQ(Bits(expected1[j]), Bits(first[j])) << "first sum at " << row.Counts[j];
        EXPECT_EQ(Bits(expected2[j]), Bits(second[j])) << "second sum at " << row.Counts[j];
      }
    });
  }
}

}  // namespace
}  // namespace propsmooth
