// The cap on the kernel's instruction sets: what each name admits, as seen
// through the dispatcher's own choice.
#include "estimate/simd_targets.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <hwy/highway.h>
#include <hwy/targets.h>

namespace propsmooth {
namespace {

std::string Fallback() {
  const std::int64_t fallback = CompiledSimdTargets() & (HWY_SCALAR | HWY_EMU128);
  return hwy::TargetName(fallback & -fallback);
}

// Every target compiled in counts as supported, so that each name's cap is
// seen whatever this CPU has; the real CPU's dispatch is restored after.
class SimdCap : public testing::Test {
 protected:
  void SetUp() override { hwy::SetSupportedTargetsForTest(CompiledSimdTargets()); }
  void TearDown() override {
    hwy::DisableTargets(0);
    hwy::SetSupportedTargetsForTest(0);
  }
};

TEST_F(SimdCap, NameSelectsBestTargetAtOrBelowIt) {
  struct Case {
    const char* Name;
    std::string Expected;  // the dispatcher's choice under that cap
  };
  const std::string best = ActiveSimdTarget();
  const Case cases[] = {
      {"auto", best},
      {"", best},
      {"scalar", Fallback()},
#if HWY_ARCH_X86_64
      {"ssse3", "SSSE3"},
      {"sse4", "SSE4"},
      {"avx2", "AVX2"},
      {"avx512", (CompiledSimdTargets() & HWY_AVX3) ? "AVX3" : "AVX2"},
      // A name of the other architecture leaves the portable code.
      {"neon", Fallback()},
      {"sve2", Fallback()},
#elif HWY_ARCH_ARM_A64
      {"neon", "NEON"},
      {"sve", (CompiledSimdTargets() & HWY_SVE_256) ? "SVE_256" : "SVE"},
      {"sve2", (CompiledSimdTargets() & HWY_SVE2_128) ? "SVE2_128" : "SVE2"},
      {"avx2", Fallback()},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    hwy::DisableTargets(0);
    ASSERT_TRUE(CapSimdTargets(c.Name));
    EXPECT_EQ(ActiveSimdTarget(), c.Expected);
    EXPECT_EQ(AvailableSimdTargets().front(), c.Expected);
    // Asking what is available must leave the dispatch capped.
    EXPECT_EQ(ActiveSimdTarget(), c.Expected);
  }
}

// Without the test's mock: on the CPU's own targets, asking which are
// available must not undo the cap (this Highway version's SupportedTargets
// would point the dispatch back at the best one).
TEST(SimdCapOnThisCpu, HoldsAfterListingTargets) {
  const std::int64_t usable = hwy::SupportedTargets() & CompiledSimdTargets();
  if ((usable & (usable - 1)) == 0) GTEST_SKIP() << "one target only";
  const std::int64_t below_best = usable & (usable - 1);  // all but the best
  const std::string second = hwy::TargetName(below_best & -below_best);
  hwy::DisableTargets(usable & -usable);
  EXPECT_EQ(ActiveSimdTarget(), second);
  EXPECT_EQ(AvailableSimdTargets().front(), second);
  EXPECT_EQ(ActiveSimdTarget(), second);
  hwy::DisableTargets(0);
}

TEST_F(SimdCap, UnknownNameChangesNothing) {
  const std::string best = ActiveSimdTarget();
  for (const char* name : {"AVX2", "avx", "sse2", "avx2 ", "scalar,avx2", "fast"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(CapSimdTargets(name));
    EXPECT_EQ(ActiveSimdTarget(), best);
  }
}

}  // namespace
}  // namespace propsmooth
