// Bitwise comparison of step sums and fit summaries, for the checks that
// the fast code does what the plain loops do to the last bit.
#ifndef PROPSMOOTH_TESTS_ESTIMATE_SAME_BITS_H_
#define PROPSMOOTH_TESTS_ESTIMATE_SAME_BITS_H_

#include <bit>
#include <cstdint>

#include <gtest/gtest.h>

#include "common/types.h"
#include "estimate/step_sums.h"

namespace propsmooth {

inline std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// Bitwise, so that -0.0 differs from 0.0 and every NaN payload counts.
inline void ExpectSameSums(const StepSums& expected, const StepSums& actual) {
  EXPECT_EQ(Bits(expected.GradAlpha), Bits(actual.GradAlpha)) << "gA";
  EXPECT_EQ(Bits(expected.GradBeta), Bits(actual.GradBeta)) << "gB";
  EXPECT_EQ(Bits(expected.HessAlpha), Bits(actual.HessAlpha)) << "HAA";
  EXPECT_EQ(Bits(expected.HessBeta), Bits(actual.HessBeta)) << "HBB";
  EXPECT_EQ(Bits(expected.HessMixed), Bits(actual.HessMixed)) << "HAB";
}

/// Every field the fit sets.
inline void ExpectSameFit(const GroupSummary& expected, const GroupSummary& actual) {
  EXPECT_EQ(Bits(expected.AlphaStart), Bits(actual.AlphaStart)) << "AlphaStart";
  EXPECT_EQ(Bits(expected.BetaStart), Bits(actual.BetaStart)) << "BetaStart";
  ASSERT_EQ(expected.Mle.has_value(), actual.Mle.has_value()) << "Mle";
  if (expected.Mle) {
    EXPECT_EQ(Bits(expected.Mle->Alpha), Bits(actual.Mle->Alpha)) << "Mle->Alpha";
    EXPECT_EQ(Bits(expected.Mle->Beta), Bits(actual.Mle->Beta)) << "Mle->Beta";
  }
  EXPECT_EQ(Bits(expected.ErrAlpha), Bits(actual.ErrAlpha)) << "ErrAlpha";
  EXPECT_EQ(Bits(expected.ErrBeta), Bits(actual.ErrBeta)) << "ErrBeta";
  EXPECT_EQ(expected.Iterations, actual.Iterations);
}

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_ESTIMATE_SAME_BITS_H_
