// Canaries: fail when the build fuses or reorders floating-point operations,
// which would change printed digits. The tests share the program's warning
// and floating-point flags (propsmooth_options), so a flag set that lets the
// compiler do either fails here.
#include <gtest/gtest.h>

namespace propsmooth {
namespace {

// Read through a volatile, so that the compiler must emit the operations
// the flags allow instead of folding them away; the constants beside it
// stay visible, as they would in the program.
double Opaque(double value) {
  volatile double kept = value;
  return kept;
}

// x * x = 1 + 2^-29 + 2^-60 exactly; rounded to double the 2^-60 is lost,
// so the unfused result is 0, while a fused multiply-add keeps 2^-60.
TEST(FloatOrder, MultiplyAndAddRoundSeparately) {
  const double x = Opaque(1.0 + 0x1p-30);
  EXPECT_EQ(x * x - (1.0 + 0x1p-29), 0.0);
}

// (1e16 + 1) rounds back to 1e16, so the sum in written order is 0; a
// reassociation that adds the two constants first gives 1.
TEST(FloatOrder, SumsRunLeftToRight) {
  const double one = Opaque(1.0);
  EXPECT_EQ((1e16 + one) - 1e16, 0.0);
}

}  // namespace
}  // namespace propsmooth
