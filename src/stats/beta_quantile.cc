#include "stats/beta_quantile.h"

#include <cmath>
#include <numbers>
#include <optional>

namespace propsmooth {
namespace {

// t - log(1 + t) for t > -1. Near 0 the difference would cancel to t^2 / 2,
// so there it is summed from log(1 + t) = 2 atanh(r), r = t / (2 + t):
// t - 2r = r t, and the rest is -2 (r^3/3 + r^5/5 + ...). For |t| <= 1/4,
// |r| <= 1/7 and the terms left out are below 1e-30 of the sum.
double LogRemainder(double t) {
  if (std::fabs(t) > 0.25) return t - std::log1p(t);
  const double r = t / (2.0 + t);
  const double r2 = r * r;
  double series = 1.0 / 23.0;
  for (int k = 21; k >= 3; k -= 2) series = series * r2 + 1.0 / k;
  return r * t - 2.0 * r * r2 * series;
}

// log Gamma(z) - ((z - 1/2) log z - z + log sqrt(2 pi)), Stirling's series
// to the B_16 term; for z >= 10 the next term is below 2e-18.
double StirlingRemainder(double z) {
  const double w = 1.0 / (z * z);
  const double series =
      1.0 / 12.0 +
      w * (-1.0 / 360.0 +
           w * (1.0 / 1260.0 +
                w * (-1.0 / 1680.0 +
                     w * (1.0 / 1188.0 +
                          w * (-691.0 / 360360.0 + w * (1.0 / 156.0 + w * (-3617.0 / 122400.0)))))));
  return series / z;
}

// What the evaluations at one shape share.
struct Shape {
  double A, B;
  double Sum, SumLow;  // a + b = Sum + SumLow exactly
  double Scale;        // sqrt(a b / (a + b) / (2 pi)) exp(-(the Stirling remainders))
};

Shape MakeShape(double a, double b) {
  Shape shape{a, b, a + b, 0.0, 0.0};
  // Knuth's TwoSum.
  const double b_part = shape.Sum - a;
  shape.SumLow = (a - (shape.Sum - b_part)) + (b - b_part);
  const double remainders =
      StirlingRemainder(a) + StirlingRemainder(b) - StirlingRemainder(shape.Sum);
  shape.Scale = std::sqrt(a * b / shape.Sum) *
                (0.5 * std::numbers::inv_sqrtpi * std::numbers::sqrt2) * std::exp(-remainders);
  return shape;
}

// (a + b) x - a, which carries x's distance from the mean a / (a + b) into
// both the power term and the continued fraction. a + b is rarely a double,
// and its rounding alone would cost 1e-12 of a fraction that starts with
// 1 + (this value).
double Offset(const Shape& shape, double x) {
  return std::fma(shape.Sum, x, -shape.A) + shape.SumLow * x;
}

// x^a (1 - x)^b / B(a, b). With x0 = a / (a + b) and l = (a + b) x - a,
// (x / x0)^a ((1 - x) / (1 - x0))^b = exp(-(a R(l / a) + b R(-l / b))),
// R(t) = t - log(1 + t), and Stirling's formula gives
// 1 / B(a, b) = sqrt(a b / (a + b) / (2 pi)) x0^-a (1 - x0)^-b exp(-remainders).
// Only x enters, so an x near 0 keeps every digit.
double PowerTerm(const Shape& shape, double offset) {
  const double exponent =
      shape.A * LogRemainder(offset / shape.A) + shape.B * LogRemainder(-offset / shape.B);
  return shape.Scale * std::exp(-exponent);
}

constexpr int kMaxTerms = 1000;
constexpr double kFractionTolerance = 1e-15;

// h with I_x(a, b) = x^a (1 - x)^b / (a B(a, b)) h, for x at most the mean:
// gap = a - (a + b) x >= 0. h = 1 / (1 + d1 / (1 + d2 / (1 + ...))) with
// d(2m+1) = -(a + m)(a + b + m) x / ((a + 2m)(a + 2m + 1)) and
// d(2m) = m (b - m) x / ((a + 2m - 1)(a + 2m)). Near the mean of a large
// shape each 1 + d(2m+1) is a small difference of numbers near 1; written
// out it is (a (1 + gap + m (3 - x)) + m (4m + 2 - m x + gap)) over the same
// denominator, a sum of positive terms. The fraction's even part,
// h = 1 - d1 / (b0 + a1 / (b1 + a2 / (b2 + ...))) with
// bj = (1 + d(2j+1)) + d(2j+2) and aj = -d(2j) d(2j+1), then has positive
// terms throughout (while m <= b), so its convergents run forward without
// cancelling and with no division on their chain.
// x = x_high + x_low: for the upper tail x is 1 - (the quantile), which a
// double alone would round by more than the quantile's own last place.
std::optional<double> Fraction(double a, double b, double x_high, double x_low, double gap) {
  const double sum = a + b;
  // Plain products and sums: without -mfma std::fma is a library call, and
  // nothing here needs its single rounding.
  const auto times_x = [x_high, x_low](double ratio) { return ratio * x_high + ratio * x_low; };
  double num_prev = 1.0, num = (1.0 + gap) / (a + 1.0) + times_x((b - 1.0) / ((a + 1.0) * (a + 2.0)));
  double den_prev = 0.0, den = 1.0;
  double even_term = times_x((b - 1.0) / ((a + 1.0) * (a + 2.0)));
  // Past m = b the even terms turn negative, the convergents no longer
  // alternate around the value, and their agreement proves nothing. (At an
  // integer b the term m = b is 0 and ends the fraction there, exactly.)
  const double last = std::fmin(static_cast<double>(kMaxTerms), b - 1.0);
  for (int j = 1; j <= last; ++j) {
    const double m = j;
    // One division for the two denominators (a + 2m)(a + 2m + 1) and
    // (a + 2m + 1)(a + 2m + 2).
    const double odd_denominator = (a + 2.0 * m) * (a + 2.0 * m + 1.0);
    const double even_denominator = (a + 2.0 * m + 1.0) * (a + 2.0 * m + 2.0);
    const double both = 1.0 / (odd_denominator * even_denominator);
    const double odd_inverse = both * even_denominator;
    const double odd_term = times_x(-(a + m) * (sum + m) * odd_inverse);
    const double one_plus_odd =
        (a * (1.0 + gap + m * (3.0 - x_high)) + m * (4.0 * m + 2.0 - m * x_high + gap)) * odd_inverse;
    const double next_even = times_x((m + 1.0) * (b - m - 1.0) * (both * odd_denominator));
    const double partial_numerator = -even_term * odd_term;
    const double partial_denominator = one_plus_odd + next_even;
    even_term = next_even;
    const double next_num = partial_denominator * num + partial_numerator * num_prev;
    const double next_den = partial_denominator * den + partial_numerator * den_prev;
    // Successive convergents den / num, between which the value lies,
    // differ by less than the tolerance; compared without dividing (num
    // stays positive while the terms do).
    const bool converged =
        next_even == 0.0 || std::fabs(next_den * num - den * next_num) <= kFractionTolerance * next_den * num;
    num_prev = num;
    num = next_num;
    den_prev = den;
    den = next_den;
    if (converged) {
      // d1 = -(a + b) x / (a + 1).
      const double result = 1.0 + times_x(sum / (a + 1.0)) * (den / num);
      if (!std::isfinite(result) || !(result > 0.0)) return std::nullopt;
      return result;
    }
    // The convergents' parts grow or shrink geometrically (the terms can be
    // far from 1 either way); a power of two keeps the scaling exact.
    if (num > 0x1p500 || num < 0x1p-500) {
      const double scale = num > 1.0 ? 0x1p-500 : 0x1p500;
      num *= scale;
      num_prev *= scale;
      den *= scale;
      den_prev *= scale;
    }
  }
  return std::nullopt;
}

struct TailAndDensity {
  double Lower = 0.0, Upper = 0.0, Density = 0.0;
};

std::optional<TailAndDensity> Evaluate(const Shape& shape, double x) {
  const double offset = Offset(shape, x);
  const double power = PowerTerm(shape, offset);
  if (!(power > 0.0) || !std::isfinite(power)) return std::nullopt;
  // 1 - x = y + y_low exactly (Dekker's Fast2Sum: 1 >= x).
  const double y = 1.0 - x;
  const double y_low = (1.0 - y) - x;
  TailAndDensity result;
  result.Density = power / (x * y);
  // Each tail's fraction is taken where x lies on its own side of the mean.
  if (offset <= 0.0) {
    const std::optional<double> fraction = Fraction(shape.A, shape.B, x, 0.0, -offset);
    if (!fraction) return std::nullopt;
    result.Lower = power / shape.A * *fraction;
    result.Upper = 1.0 - result.Lower;
  } else {
    const std::optional<double> fraction = Fraction(shape.B, shape.A, y, y_low, offset);
    if (!fraction) return std::nullopt;
    result.Upper = power / shape.B * *fraction;
    result.Lower = 1.0 - result.Upper;
  }
  return result;
}

bool Supported(double a, double b) {
  return std::isfinite(a) && std::isfinite(b) && a >= kFastBetaMinShape && b >= kFastBetaMinShape;
}

constexpr int kMaxSteps = 12;
// The quartic step's error is about the fifth power of the Newton step in
// units of the spread, times a factor of order z^4 (a few hundred at most
// for the levels a report asks for); from a step below 2e-4 spreads that
// leaves under 1e-16 of one. Cornish-Fisher starts there for most shapes of
// real counts, so that one evaluation of the tail settles the quantile.
constexpr double kLastStep = 2e-4;
// Farther out the polynomial need not bring the step nearer; Newton's
// does, and the bracket catches it.
constexpr double kTaylorRange = 0.1;

}  // namespace

std::optional<BetaTailPair> FastBetaTails(double a, double b, double x) {
  if (!Supported(a, b) || !(x > 0.0 && x < 1.0)) return std::nullopt;
  const std::optional<TailAndDensity> value = Evaluate(MakeShape(a, b), x);
  if (!value) return std::nullopt;
  return BetaTailPair{value->Lower, value->Upper};
}

namespace {

// What both bounds of one shape share: the evaluation's constants and the
// moments of the start.
struct Start {
  Shape Constants;
  double Mean, Spread, Skew, Kurtosis;
};

Start MakeStart(double a, double b) {
  Start start{MakeShape(a, b), 0.0, 0.0, 0.0, 0.0};
  const double sum = start.Constants.Sum;
  start.Mean = a / sum;
  start.Spread = std::sqrt(a * b / (sum + 1.0)) / sum;
  start.Skew = 2.0 * (b - a) * std::sqrt(sum + 1.0) / ((sum + 2.0) * std::sqrt(a * b));
  start.Kurtosis = 6.0 * ((a - b) * (a - b) * (sum + 1.0) - a * b * (sum + 2.0)) /
                   (a * b * (sum + 2.0) * (sum + 3.0));
  return start;
}

std::optional<double> Quantile(const Start& start, double p, double z, BetaTail tail) {
  const Shape& shape = start.Constants;
  const double a = shape.A;
  const double b = shape.B;
  const double mean = start.Mean;
  const double spread = start.Spread;
  // Cornish-Fisher from the skewness and the excess kurtosis.
  const double skew = start.Skew;
  const double zs = tail == BetaTail::kLower ? z : -z;
  const double z2 = zs * zs;
  const double w = zs + skew * (z2 - 1.0) / 6.0 + start.Kurtosis * zs * (z2 - 3.0) / 24.0 -
                   skew * skew * zs * (2.0 * z2 - 5.0) / 36.0;
  double lo = 0.0, hi = 1.0;  // the root lies strictly between
  double x = mean + spread * w;
  if (!(x > 0.0 && x < 1.0)) x = tail == BetaTail::kLower ? 0.5 * mean : 0.5 * (1.0 + mean);
  const bool upper = tail == BetaTail::kUpper;
  for (int step = 0; step < kMaxSteps; ++step) {
    const std::optional<TailAndDensity> value = Evaluate(shape, x);
    if (!value) return std::nullopt;
    const double excess = (upper ? value->Upper : value->Lower) - p;
    if (excess == 0.0) return x;
    // The lower tail rises with x and the upper falls.
    if ((excess < 0.0) != upper) {
      lo = x;
    } else {
      hi = x;
    }
    const double newton = (upper ? excess : -excess) / value->Density;
    // The root of the quartic Taylor polynomial of the tail about x, by
    // series reversion: x + u - (c2 / 2) u^2 + (c2^2 / 2 - c3 / 6) u^3
    // - (5 c2^3 / 8 - 5 c2 c3 / 12 + c4 / 24) u^4, with u the Newton step and
    // c2, c3, c4 the density's derivatives over the density, the same for
    // both tails. With g = (log density)' = (a - 1) / x - (b - 1) / (1 - x):
    // c2 = g, c3 = g^2 + g', c4 = g^3 + 3 g g' + g''.
    const double y = 1.0 - x;
    const double g = (a - 1.0) / x - (b - 1.0) / y;
    const double g1 = -(a - 1.0) / (x * x) - (b - 1.0) / (y * y);
    const double g2 = 2.0 * (a - 1.0) / (x * x * x) - 2.0 * (b - 1.0) / (y * y * y);
    const double c3 = g * g + g1;
    const double c4 = g * (g * g + 3.0 * g1) + g2;
    const double u = newton;
    const double move =
        std::fabs(u) <= kTaylorRange * spread
            ? u + u * u * (-0.5 * g + u * ((0.5 * g * g - c3 / 6.0) +
                                           u * (-0.625 * g * g * g + 5.0 / 12.0 * g * c3 - c4 / 24.0)))
            : u;
    // The last step may round back onto x itself, an end of the bracket.
    if (std::fabs(u) <= kLastStep * spread) return x + move;
    const double next = x + move;
    x = next > lo && next < hi ? next : 0.5 * (lo + hi);
  }
  return std::nullopt;
}

}  // namespace

std::optional<double> FastBetaQuantile(double a, double b, double p, double z, BetaTail tail) {
  if (!Supported(a, b) || !(p > 0.0 && p <= 0.5) || !std::isfinite(z)) return std::nullopt;
  return Quantile(MakeStart(a, b), p, z, tail);
}

FastBetaBounds FastBetaInterval(double a, double b, double p, double z) {
  if (!Supported(a, b) || !(p > 0.0 && p <= 0.5) || !std::isfinite(z)) return {};
  const Start start = MakeStart(a, b);
  return {Quantile(start, p, z, BetaTail::kLower), Quantile(start, p, z, BetaTail::kUpper)};
}

}  // namespace propsmooth
