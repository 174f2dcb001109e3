#include "stats/beta_quantile.h"

#include <cmath>
#include <cstddef>
#include <numbers>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// How many fractions run side by side: a pair's lower and upper bound.
constexpr std::size_t kLanes = 2;

// The lanes' numbers: one double, or a vector of two whose arithmetic is
// the same IEEE operations lane by lane (GCC's and Clang's vector
// extension; a scalar operand is applied to each lane).
using DoublePair = double __attribute__((vector_size(16)));
template <std::size_t N>
struct LanesOf;
template <>
struct LanesOf<1> {
  using Type = double;
};
template <>
struct LanesOf<2> {
  using Type = DoublePair;
};

double Get(double value, std::size_t) { return value; }
double Get(const DoublePair& value, std::size_t lane) { return value[lane]; }
void Set(double* value, std::size_t, double part) { *value = part; }
void Set(DoublePair* value, std::size_t lane, double part) { (*value)[lane] = part; }
template <typename V>
V Splat(double part) {
  V value;
  for (std::size_t l = 0; l < sizeof(V) / sizeof(double); ++l) Set(&value, l, part);
  return value;
}
double Abs(double value) { return std::fabs(value); }
DoublePair Abs(DoublePair value) {
  for (std::size_t l = 0; l < 2; ++l) value[l] = std::fabs(value[l]);
  return value;
}
// A comparison's result is a bool for one lane and -1 or 0 per lane for
// two; as bits, lane l's is bit l.
using PairMask = decltype(DoublePair{} < DoublePair{});
unsigned Bits(bool value) { return value ? 1u : 0u; }
unsigned Bits(PairMask mask) {
#if defined(__SSE2__)
  // One instruction for the sign bits, where a lane-by-lane test takes
  // several moves out of the vector.
  return static_cast<unsigned>(_mm_movemask_pd(reinterpret_cast<__m128d>(mask)));
#else
  return (mask[0] != 0 ? 1u : 0u) | (mask[1] != 0 ? 2u : 0u);
#endif
}

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
//
// The recurrence is a chain of dependent products and sums with a division
// per term, so one fraction leaves the core waiting on each result; N
// fractions (lanes) run in lockstep in one vector share those waits. Each
// lane is still exactly its own fraction, bit for bit what N = 1 gives:
// packed operations round each lane as the scalar ones do, every lane
// performs the same operations in the same order as alone (one expression
// serves both widths), -ffp-contract=off fuses no product into a sum, no
// lane reads another, and each stops at its own convergence test or its
// own last term. A lane that has stopped carries a copy of a running one,
// so that its numbers stay ordinary (no overflow, no subnormals) while it
// waits.
template <std::size_t N>
void Fractions(const BetaFractionArgs* args, const bool* wanted, std::optional<double>* out) {
  using V = typename LanesOf<N>::Type;
  bool live[N];
  int running = 0;
  std::size_t model = N;  // a running lane, whose numbers stopped lanes copy
  for (std::size_t l = 0; l < N; ++l) {
    out[l].reset();
    live[l] = wanted[l];
    if (live[l]) {
      ++running;
      if (model == N) model = l;
    }
  }
  if (running == 0) return;
  V a{}, b{}, x_high{}, x_low{}, gap{};
  for (std::size_t l = 0; l < N; ++l) {
    const BetaFractionArgs& in = args[live[l] ? l : model];
    Set(&a, l, in.A);
    Set(&b, l, in.B);
    Set(&x_high, l, in.XHigh);
    Set(&x_low, l, in.XLow);
    Set(&gap, l, in.Gap);
  }
  V sum = a + b;
  // Plain products and sums: without -mfma std::fma is a library call, and
  // nothing here needs its single rounding.
  const V first_even = (b - 1.0) / ((a + 1.0) * (a + 2.0));
  V num_prev = Splat<V>(1.0);
  V num = (1.0 + gap) / (a + 1.0) + (first_even * x_high + first_even * x_low);
  V den_prev = Splat<V>(0.0);
  V den = Splat<V>(1.0);
  V even_term = first_even * x_high + first_even * x_low;
  // Past m = b the even terms turn negative, the convergents no longer
  // alternate around the value, and their agreement proves nothing. (At an
  // integer b the term m = b is 0 and ends the fraction there, exactly.)
  double last[N];
  for (std::size_t l = 0; l < N; ++l) last[l] = std::fmin(static_cast<double>(kMaxTerms), Get(b, l) - 1.0);
  // The first term at which a live lane passes its last.
  const auto next_limit = [&last, &live] {
    double limit = kMaxTerms + 1;
    for (std::size_t l = 0; l < N; ++l) {
      if (live[l]) limit = std::fmin(limit, std::floor(last[l]) + 1.0);
    }
    return limit;
  };
  double limit = next_limit();
  for (int j = 1;; ++j) {
    const double m = j;
    bool stopped = false;
    if (m >= limit) {
      for (std::size_t l = 0; l < N; ++l) {
        if (live[l] && !(j <= last[l])) {
          live[l] = false;
          --running;
          stopped = true;
        }
      }
      if (running == 0) return;
    }
    // One division for the two denominators (a + 2m)(a + 2m + 1) and
    // (a + 2m + 1)(a + 2m + 2).
    const V odd_denominator = (a + 2.0 * m) * (a + 2.0 * m + 1.0);
    const V even_denominator = (a + 2.0 * m + 1.0) * (a + 2.0 * m + 2.0);
    const V both = 1.0 / (odd_denominator * even_denominator);
    const V odd_inverse = both * even_denominator;
    const V odd_ratio = -(a + m) * (sum + m) * odd_inverse;
    const V odd_term = odd_ratio * x_high + odd_ratio * x_low;
    const V one_plus_odd =
        (a * (1.0 + gap + m * (3.0 - x_high)) + m * (4.0 * m + 2.0 - m * x_high + gap)) * odd_inverse;
    const V even_ratio = (m + 1.0) * (b - m - 1.0) * (both * odd_denominator);
    const V next_even = even_ratio * x_high + even_ratio * x_low;
    const V partial_numerator = -even_term * odd_term;
    const V partial_denominator = one_plus_odd + next_even;
    even_term = next_even;
    const V next_num = partial_denominator * num + partial_numerator * num_prev;
    const V next_den = partial_denominator * den + partial_numerator * den_prev;
    // Successive convergents den / num, between which the value lies,
    // differ by less than the tolerance; compared without dividing (num
    // stays positive while the terms do).
    const unsigned done =
        Bits(next_even == 0.0) |
        Bits(Abs(next_den * num - den * next_num) <= kFractionTolerance * next_den * num);
    num_prev = num;
    num = next_num;
    den_prev = den;
    den = next_den;
    const unsigned out_of_range = Bits(num > 0x1p500) | Bits(num < 0x1p-500);
    // Most terms neither end a lane nor need rescaling: one test for both.
    if (!stopped && (done | out_of_range) == 0) continue;
    for (std::size_t l = 0; l < N; ++l) {
      if (!live[l] || ((done >> l) & 1u) == 0) continue;
      live[l] = false;
      --running;
      stopped = true;
      // d1 = -(a + b) x / (a + 1).
      const double d1_ratio = Get(sum, l) / (Get(a, l) + 1.0);
      const double result = 1.0 + (d1_ratio * Get(x_high, l) + d1_ratio * Get(x_low, l)) *
                                      (Get(den, l) / Get(num, l));
      if (std::isfinite(result) && result > 0.0) out[l] = result;
    }
    if (running == 0) return;
    // The convergents' parts grow or shrink geometrically (the terms can be
    // far from 1 either way); a power of two keeps the scaling exact, and a
    // lane that needs none is multiplied by 1, which changes no bit.
    if (out_of_range != 0) {
      V scale = num;
      for (std::size_t l = 0; l < N; ++l) {
        const double part = Get(num, l);
        Set(&scale, l, part > 0x1p500 ? 0x1p-500 : part < 0x1p-500 ? 0x1p500 : 1.0);
      }
      num *= scale;
      num_prev *= scale;
      den *= scale;
      den_prev *= scale;
    }
    if (stopped && running > 0) {
      limit = next_limit();
      std::size_t source = 0;
      while (!live[source]) ++source;
      for (std::size_t l = 0; l < N; ++l) {
        if (live[l]) continue;
        last[l] = last[source];
        for (V* value : {&a, &b, &sum, &x_high, &x_low, &gap, &num_prev, &num, &den_prev, &den,
                         &even_term}) {
          Set(value, l, Get(*value, source));
        }
      }
    }
  }
}

struct TailAndDensity {
  double Lower = 0.0, Upper = 0.0, Density = 0.0;
};

// The tails and the density of Beta(shapes[l]) at x[l] for each lane l
// with live[l], their fractions side by side; out[l] is empty where the
// power term or the fraction fails, and for lanes not live.
template <std::size_t N>
void Evaluate(const Shape* const* shapes, const double* x, const bool* live,
              std::optional<TailAndDensity>* out) {
  BetaFractionArgs args[N];
  bool wanted[N];
  double power[N] = {};
  bool lower_side[N] = {};
  TailAndDensity values[N];
  for (std::size_t l = 0; l < N; ++l) {
    out[l].reset();
    wanted[l] = false;
    args[l] = BetaFractionArgs{};
    if (!live[l]) continue;
    const Shape& shape = *shapes[l];
    const double offset = Offset(shape, x[l]);
    power[l] = PowerTerm(shape, offset);
    if (!(power[l] > 0.0) || !std::isfinite(power[l])) continue;
    // 1 - x = y + y_low exactly (Dekker's Fast2Sum: 1 >= x).
    const double y = 1.0 - x[l];
    const double y_low = (1.0 - y) - x[l];
    values[l].Density = power[l] / (x[l] * y);
    // Each tail's fraction is taken where x lies on its own side of the
    // mean.
    lower_side[l] = offset <= 0.0;
    args[l] = lower_side[l] ? BetaFractionArgs{shape.A, shape.B, x[l], 0.0, -offset}
                            : BetaFractionArgs{shape.B, shape.A, y, y_low, offset};
    wanted[l] = true;
  }
  std::optional<double> fractions[N];
  Fractions<N>(args, wanted, fractions);
  for (std::size_t l = 0; l < N; ++l) {
    if (!wanted[l] || !fractions[l]) continue;
    const Shape& shape = *shapes[l];
    if (lower_side[l]) {
      values[l].Lower = power[l] / shape.A * *fractions[l];
      values[l].Upper = 1.0 - values[l].Lower;
    } else {
      values[l].Upper = power[l] / shape.B * *fractions[l];
      values[l].Lower = 1.0 - values[l].Upper;
    }
    out[l] = values[l];
  }
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
  const Shape shape = MakeShape(a, b);
  const Shape* const shapes[1] = {&shape};
  const bool live[1] = {true};
  std::optional<TailAndDensity> value;
  Evaluate<1>(shapes, &x, live, &value);
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

// One quantile's search: where it stands and the bracket around the root.
struct Search {
  double X = 0.0;
  double Lo = 0.0, Hi = 1.0;  // the root lies strictly between
  bool Upper = false;
};

// The Cornish-Fisher start, from the skewness and the excess kurtosis.
double StartOf(const Start& start, double z, BetaTail tail) {
  const double skew = start.Skew;
  const double zs = tail == BetaTail::kLower ? z : -z;
  const double z2 = zs * zs;
  const double w = zs + skew * (z2 - 1.0) / 6.0 + start.Kurtosis * zs * (z2 - 3.0) / 24.0 -
                   skew * skew * zs * (2.0 * z2 - 5.0) / 36.0;
  const double x = start.Mean + start.Spread * w;
  if (x > 0.0 && x < 1.0) return x;
  return tail == BetaTail::kLower ? 0.5 * start.Mean : 0.5 * (1.0 + start.Mean);
}

// One step of the search from the tails at its point: true with *result
// set when the quantile is settled, false with the next point in *search.
bool Advance(const Start& start, double p, const TailAndDensity& value, Search* search,
             double* result) {
  const double a = start.Constants.A;
  const double b = start.Constants.B;
  const double spread = start.Spread;
  const bool upper = search->Upper;
  const double x = search->X;
  const double excess = (upper ? value.Upper : value.Lower) - p;
  if (excess == 0.0) {
    *result = x;
    return true;
  }
  // The lower tail rises with x and the upper falls.
  if ((excess < 0.0) != upper) {
    search->Lo = x;
  } else {
    search->Hi = x;
  }
  const double newton = (upper ? excess : -excess) / value.Density;
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
  if (std::fabs(u) <= kLastStep * spread) {
    *result = x + move;
    return true;
  }
  const double next = x + move;
  search->X = next > search->Lo && next < search->Hi ? next : 0.5 * (search->Lo + search->Hi);
  return false;
}

// The p quantiles of the tails[l] of each lane's shape, the lanes' searches
// side by side: each takes its own steps and ends on its own test, so its
// result is what it would be alone. out[l] is empty where a step fails or
// the steps run out.
template <std::size_t N>
void Quantiles(const Start* const* starts, double p, double z, const BetaTail* tails,
               std::optional<double>* out) {
  Search searches[N];
  const Shape* shapes[N];
  double x[N];
  bool live[N];
  int running = N;
  for (std::size_t l = 0; l < N; ++l) {
    out[l].reset();
    // Set field by field: a structure returned whole was written in
    // halves and read back in one piece, and the read waited on the writes.
    searches[l].X = StartOf(*starts[l], z, tails[l]);
    searches[l].Lo = 0.0;
    searches[l].Hi = 1.0;
    searches[l].Upper = tails[l] == BetaTail::kUpper;
    shapes[l] = &starts[l]->Constants;
    live[l] = true;
  }
  for (int step = 0; step < kMaxSteps && running > 0; ++step) {
    for (std::size_t l = 0; l < N; ++l) x[l] = searches[l].X;
    std::optional<TailAndDensity> values[N];
    Evaluate<N>(shapes, x, live, values);
    for (std::size_t l = 0; l < N; ++l) {
      if (!live[l]) continue;
      double result = 0.0;
      if (!values[l]) {
        live[l] = false;
        --running;
      } else if (Advance(*starts[l], p, *values[l], &searches[l], &result)) {
        out[l] = result;
        live[l] = false;
        --running;
      }
    }
  }
}

}  // namespace

std::optional<double> FastBetaQuantile(double a, double b, double p, double z, BetaTail tail) {
  if (!Supported(a, b) || !(p > 0.0 && p <= 0.5) || !std::isfinite(z)) return std::nullopt;
  const Start start = MakeStart(a, b);
  const Start* const starts[1] = {&start};
  std::optional<double> quantile;
  Quantiles<1>(starts, p, z, &tail, &quantile);
  return quantile;
}

FastBetaBounds FastBetaInterval(double a, double b, double p, double z) {
  if (!Supported(a, b) || !(p > 0.0 && p <= 0.5) || !std::isfinite(z)) return {};
  const Start start = MakeStart(a, b);
  const Start* const starts[kLanes] = {&start, &start};
  const BetaTail tails[kLanes] = {BetaTail::kLower, BetaTail::kUpper};
  std::optional<double> bounds[kLanes];
  Quantiles<kLanes>(starts, p, z, tails, bounds);
  return {bounds[0], bounds[1]};
}

std::optional<double> BetaFraction(const BetaFractionArgs& args) {
  const bool wanted[1] = {true};
  std::optional<double> fraction;
  Fractions<1>(&args, wanted, &fraction);
  return fraction;
}

void BetaFractions(std::span<const BetaFractionArgs> args, std::span<std::optional<double>> out) {
  for (std::size_t begin = 0; begin < args.size(); begin += kLanes) {
    BetaFractionArgs lanes[kLanes];
    bool wanted[kLanes];
    std::optional<double> fractions[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l) {
      wanted[l] = begin + l < args.size();
      lanes[l] = wanted[l] ? args[begin + l] : BetaFractionArgs{};
    }
    Fractions<kLanes>(lanes, wanted, fractions);
    for (std::size_t l = 0; l < kLanes && begin + l < args.size(); ++l) out[begin + l] = fractions[l];
  }
}

}  // namespace propsmooth
