#include "stats/beta_quantile.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <optional>
#include <vector>

#include <boost/math/special_functions/beta.hpp>
#include <boost/math/special_functions/erf.hpp>
#include <gtest/gtest.h>

#include "stats/beta_math.h"

namespace propsmooth {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

double NormalQuantile(double p) {
  return -std::numbers::sqrt2 * boost::math::erfc_inv(2.0 * p);
}

double RelativeError(double value, double reference) {
  return std::fabs(value - reference) / std::fabs(reference);
}

struct QuantileRow {
  double A, B, Level;
  double Lower, Upper;
};

// Both bounds of the central `Level` interval of Beta(A, B), tail
// (1 - Level) / 2 computed in double: 60-digit references from
// tests/stats/beta_quantile_reference.py (continued fraction summed from the
// back until 2N terms agree with N to 1e-40, B(a, b) from mpmath.loggamma,
// Newton's method to 1e-45; its docstring gives the method). Shapes from 10
// to 1e9 both ways round, levels 0.5 to 0.999.
const QuantileRow kQuantiles[] = {
#include "beta_quantile_rows.inc"
};

// Where the quick quantile answers it is within a few units in the last
// place of the reference (the largest error seen is 2.9e-16); where it
// declines (a shape below 10, or a continued fraction whose terms change
// sign before it converges) the interval comes from Boost. Either way the
// report's bounds are within 1e-12 of the reference, the accuracy the
// report promises.
TEST(FastBetaQuantile, MatchesSixtyDigitQuantilesToAFewUlp) {
  int answered = 0;
  for (const QuantileRow& row : kQuantiles) {
    SCOPED_TRACE(::testing::Message() << "Beta(" << row.A << ", " << row.B << "), " << row.Level);
    const double p = (1.0 - row.Level) / 2.0;
    const double z = NormalQuantile(p);
    const std::optional<double> lower = FastBetaQuantile(row.A, row.B, p, z, BetaTail::kLower);
    const std::optional<double> upper = FastBetaQuantile(row.A, row.B, p, z, BetaTail::kUpper);
    // The pair shares its work and must not change a bit for it.
    const FastBetaBounds both = FastBetaInterval(row.A, row.B, p, z);
    EXPECT_EQ(both.Lower, lower);
    EXPECT_EQ(both.Upper, upper);
    if (lower) {
      ++answered;
      EXPECT_LE(RelativeError(*lower, row.Lower), 1e-15) << *lower;
    }
    if (upper) {
      ++answered;
      EXPECT_LE(RelativeError(*upper, row.Upper), 1e-15) << *upper;
    }
    // Data1 = Data2 = 0 leaves the prior itself as the posterior.
    const CredibleBounds bounds = PosteriorInterval(0, 0, row.A, row.B, row.Level);
    ASSERT_EQ(bounds.Status, IntervalStatus::kOk);
    EXPECT_LE(RelativeError(bounds.Lower, row.Lower), 1e-12);
    EXPECT_LE(RelativeError(bounds.Upper, row.Upper), 1e-12);
  }
  // Most rows are the quick method's to answer; a regression that made it
  // decline everything would otherwise pass unseen.
  EXPECT_GE(answered, 150);
}

// Both tails at one point against the same 60-digit evaluation. The tail on
// the point's side of the mean is exp(-E) times a fraction, E about
// -log(tail) and computed to a few units in its last place, so it is held
// to 1e-15 (1 + |log tail|) of itself; the other is one minus it and held to
// its absolute size only.
TEST(FastBetaTails, MatchSixtyDigitTails) {
  struct Row {
    double A, B, X;
    double Lower, Upper;
  };
  const Row rows[] = {
#include "beta_tail_rows.inc"
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "Beta(" << row.A << ", " << row.B << ") at " << row.X);
    const std::optional<BetaTailPair> tails = FastBetaTails(row.A, row.B, row.X);
    ASSERT_TRUE(tails.has_value());
    const bool below_mean = row.X <= row.A / (row.A + row.B);
    const double near_tail = below_mean ? row.Lower : row.Upper;
    EXPECT_LE(RelativeError(below_mean ? tails->Lower : tails->Upper, near_tail),
              1e-15 * (1.0 - std::log(near_tail)));
    EXPECT_NEAR(tails->Lower, row.Lower, 4e-16);
    EXPECT_NEAR(tails->Upper, row.Upper, 4e-16);
  }
}

// The continued fractions run two at a time, each pair in lockstep, and
// each must come out bit for bit as it does alone. The rows go in pairs
// whose term counts differ widely (from 3 to about 900 terms, counted with
// a throwaway counter in the loop), some rescaling their convergents up to
// 22 times, one ending exactly on a zero term (integer b), two declining
// (b = 12.5 passes its last usable term; Beta(1e8, 1e8) at its mean runs
// out of terms), one with a low part of x (an upper tail's 1 - q), and an
// odd row out that runs alone: a lane stopped at its partner's end would
// miss its own value by far more than an ulp, and one rescaled past its
// range would overflow. Where a row converges its value is held to an independent one:
// I_x(a, b) a / (x (1 - x) f(x)), f the density, from Boost in long
// double, to 1e-12 (skipped at a = 1e8, where long double's own logarithms
// of x^a lose 1e-11).
TEST(BetaFractions, EachLaneIsItsFractionAloneBitForBit) {
  struct Row {
    double A, B, XHigh, XLow;
    bool Converges;
  };
  const Row rows[] = {
      {12.5, 12.5, 0.0097096621545398887, 0.0, true},       // 3 terms
      {1e8, 1e6, 0.99009900990099009, 0.0, true},           // 887 terms, 22 rescales
      {1e6, 1e6, 0.5, 0.0, true},                           // 545 terms, 7 rescales
      {30.0, 1000.0, 0.0029405204458216039, 0.0, true},     // 5 terms
      {10.0, 11.0, 0.47619047619047616, 0.0, true},         // ends on a zero term
      {1e5, 1e4, 0.90909090909090906, 0.0, true},           // 176 terms, 2 rescales
      {30.0, 12.5, 0.70588235294117652, 0.0, false},        // past its last term
      {1e6, 100.0, 0.99990000999900008, 0.0, true},         // 39 terms, 1 rescale
      {1e8, 1e8, 0.5, 0.0, false},                          // out of terms
      {12.5, 10.0, 0.043038217761730557, 0.0, true},        // 4 terms
      {1000.0, 30.0, 0.96, (1.0 - 0.96) - 0.04, true},      // x = 1 - 0.04 in two parts
      {1e5, 1e8, 0.00099742222892586544, 0.0, true},        // alone: 192 terms
  };
  std::vector<BetaFractionArgs> args;
  for (const Row& row : rows) {
    const long double x = static_cast<long double>(row.XHigh) + static_cast<long double>(row.XLow);
    const auto a = static_cast<long double>(row.A);
    const auto gap = static_cast<double>(a - (a + static_cast<long double>(row.B)) * x);
    args.push_back({row.A, row.B, row.XHigh, row.XLow, gap});
  }
  std::vector<std::optional<double>> together(args.size());
  BetaFractions(args, together);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(::testing::Message() << "row " << i << ": a " << row.A << ", b " << row.B);
    const std::optional<double> alone = BetaFraction(args[i]);
    ASSERT_EQ(alone.has_value(), row.Converges);
    ASSERT_EQ(together[i].has_value(), row.Converges);
    if (!row.Converges) continue;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*together[i]), std::bit_cast<std::uint64_t>(*alone))
        << *together[i] << " together, " << *alone << " alone";
    if (row.A >= 1e8) continue;
    const auto a = static_cast<long double>(row.A);
    const auto b = static_cast<long double>(row.B);
    const long double x = static_cast<long double>(row.XHigh) + static_cast<long double>(row.XLow);
    const long double expected =
        boost::math::ibeta(a, b, x) * a / (x * (1.0L - x) * boost::math::ibeta_derivative(a, b, x));
    EXPECT_LE(RelativeError(*alone, static_cast<double>(expected)), 1e-12) << *alone;
  }
}

// Outside the shapes it certifies the quick method declines rather than
// guess, so that the caller's general method answers instead.
TEST(FastBetaQuantile, DeclinesWhatItCannotCertify) {
  struct Row {
    const char* Why;
    double A, B, P;
    double X;  // where the tails are asked for
  };
  const Row rows[] = {
      {"a below 10", 9.999, 100.0, 0.025, 0.05},
      {"b below 10", 100.0, 9.5, 0.025, 0.95},
      {"a not finite", kNan, 100.0, 0.025, 0.5},
      {"b infinite", 100.0, std::numeric_limits<double>::infinity(), 0.025, 0.5},
      {"p above one half, x at 0", 100.0, 100.0, 0.75, 0.0},
      {"p zero, x at 1", 100.0, 100.0, 0.0, 1.0},
      {"p not a number, x not a number", 100.0, 100.0, kNan, kNan},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Why);
    const double z = std::isnan(row.P) || row.P <= 0.0 || row.P >= 1.0 ? 0.0 : NormalQuantile(row.P);
    EXPECT_FALSE(FastBetaQuantile(row.A, row.B, row.P, z, BetaTail::kLower).has_value());
    EXPECT_FALSE(FastBetaQuantile(row.A, row.B, row.P, z, BetaTail::kUpper).has_value());
    EXPECT_FALSE(FastBetaTails(row.A, row.B, row.X).has_value());
  }
}

// Against Boost's long double inverse on a grid of posterior shapes, a and b from 10 to
// 1e9 in quarter decades, levels 0.5 to 0.999, wherever the quick method
// answers (and it answers for nearly all of them). The bounds are Boost's
// own errors, not ours: the 60-digit references above put Boost's double
// inverse 6.7e-11 off on the upper quartile of Beta(10, 1e7) and 8e-9 off on
// that of Beta(10, 1e9), and its long double inverse 3.9e-12 off on the
// latter, where the quick value is within 1e-16 of the reference. On
// ordinary shapes the two agree to a few ulp.
TEST(FastBetaQuantile, AgreesWithBoostOnAGridOfShapes) {
  int asked = 0;
  int answered = 0;
  int within_ulps = 0;
  for (double log_a = 1.0; log_a <= 9.0; log_a += 0.25) {
    for (double log_b = 1.0; log_b <= 9.0; log_b += 0.25) {
      const double a = std::pow(10.0, log_a);
      const double b = std::pow(10.0, log_b);
      for (const double level : {0.5, 0.9, 0.95, 0.99, 0.999}) {
        const double p = (1.0 - level) / 2.0;
        const double z = NormalQuantile(p);
        for (const BetaTail tail : {BetaTail::kLower, BetaTail::kUpper}) {
          ++asked;
          const std::optional<double> quick = FastBetaQuantile(a, b, p, z, tail);
          if (!quick) continue;
          ++answered;
          const bool lower = tail == BetaTail::kLower;
          const auto wide_a = static_cast<long double>(a);
          const auto wide_b = static_cast<long double>(b);
          const auto wide_p = static_cast<long double>(p);
          const auto in_long_double =
              static_cast<double>(lower ? boost::math::ibeta_inv(wide_a, wide_b, wide_p)
                                        : boost::math::ibetac_inv(wide_a, wide_b, wide_p));
          ASSERT_LE(RelativeError(*quick, in_long_double), 1e-11)
              << "Beta(" << a << ", " << b << "), " << level << (lower ? " lower" : " upper");
          if (RelativeError(*quick, in_long_double) <= 1e-15) ++within_ulps;
        }
      }
    }
  }
  EXPECT_GE(answered, asked * 99 / 100);
  EXPECT_GE(within_ulps, answered * 99 / 100);
}

}  // namespace
}  // namespace propsmooth
