// A missing result and every stored double, NaN and infinities among
// them, come back as they were stored, in a record no larger than before.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "common/types.h"

namespace propsmooth {
namespace {

std::uint64_t Bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// Computed at run time, as an estimate's 0 / 0 would be.
double Divide(double a, double b) { return a / b; }

TEST(PackedOptional, GivesBackWhatWasStored) {
  volatile double zero = 0.0;
  struct Case {
    const char* Name;
    std::optional<double> Stored;
  };
  const std::vector<Case> cases = {
      {"missing", std::nullopt},
      {"zero", 0.0},
      {"negative zero", -0.0},
      {"a proportion", 0.0930229747072449},
      {"the smallest subnormal", std::numeric_limits<double>::denorm_min()},
      {"infinity", std::numeric_limits<double>::infinity()},
      {"minus infinity", -std::numeric_limits<double>::infinity()},
      {"the quiet NaN", std::numeric_limits<double>::quiet_NaN()},
      {"the NaN of 0 / 0", Divide(zero, zero)},
      {"a NaN of arithmetic on a NaN", Divide(zero, zero) * 3.0 + 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const PackedOptional packed = c.Stored;
    EXPECT_EQ(packed.has_value(), c.Stored.has_value());
    EXPECT_EQ(static_cast<bool>(packed), c.Stored.has_value());
    const std::optional<double> back = packed;
    ASSERT_EQ(back.has_value(), c.Stored.has_value());
    if (c.Stored) {
      EXPECT_EQ(Bits(*packed), Bits(*c.Stored));
      EXPECT_EQ(Bits(*back), Bits(*c.Stored));
      EXPECT_EQ(Bits(packed.value_or(7.0)), Bits(*c.Stored));
    } else {
      EXPECT_EQ(packed.value_or(7.0), 7.0);
    }
    // Equal as std::optional is: missing to missing, NaN to nothing.
    EXPECT_EQ(packed == PackedOptional(c.Stored), c.Stored == c.Stored);
    EXPECT_EQ(packed == PackedOptional(std::nullopt), !c.Stored.has_value());
    EXPECT_EQ(packed == c.Stored, c.Stored == c.Stored);
    EXPECT_EQ(c.Stored == packed, c.Stored == c.Stored);
    EXPECT_EQ(packed == std::optional<double>(), !c.Stored.has_value());
  }
}

TEST(PackedOptional, KeepsRecordsSmall) {
  struct Case {
    const char* Name;
    std::size_t Size;
    std::size_t Expected;
  };
  // Four 32-bit numbers, EbPropMe and EbPropMle: 4 * 4 + 8 + 8 bytes.
  const Case cases[] = {
      {"PackedOptional", sizeof(PackedOptional), sizeof(double)},
      {"RegionRecord", sizeof(RegionRecord), 32},
      {"Region", sizeof(Region), 24},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Size, c.Expected) << c.Name;
}

}  // namespace
}  // namespace propsmooth
