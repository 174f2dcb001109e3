// Canaries: fail when the build fuses or reorders floating-point operations.
#include "common/arithmetic.h"

#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// x * x = 1 + 2^-29 + 2^-60 exactly; rounded to double the 2^-60 is lost,
// so the unfused result is 0, while a fused multiply-add keeps 2^-60.
TEST(FloatOrder, MultiplyAndAddRoundSeparately) {
  const double x = 1.0 + 0x1p-30;
  EXPECT_EQ(MulAdd(x, x, -(1.0 + 0x1p-29)), 0.0);
}

// (1e16 + 1) rounds back to 1e16, so the sum in written order is 0; any
// reassociation that adds 1e16 and -1e16 first gives 1.
TEST(FloatOrder, SumsRunLeftToRight) {
  EXPECT_EQ(SumOfThree(1e16, 1.0, -1e16), 0.0);
  EXPECT_EQ(SumOfThree(1e16, -1e16, 1.0), 1.0);
}

}  // namespace
}  // namespace propsmooth
