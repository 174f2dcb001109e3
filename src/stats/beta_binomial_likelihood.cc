#include "stats/beta_binomial_likelihood.h"

#include <cmath>
#include <limits>

#include "estimate/count_ladder.h"
#include "stats/log_gamma.h"

namespace propsmooth {
namespace {

// `tail` holds the distinct counts and the regions with each.
void AccumulateFromTop(CountTail* tail) {
  // From the top down: regions with this count or a larger one.
  for (std::size_t j = tail->AtLeast.size(); j-- > 1;) {
    tail->AtLeast[j - 1] += tail->AtLeast[j];
  }
}

CountTail MakeCountTail(const std::vector<Region>& regions, CountKind kind) {
  const CountLadder ladder = MakeCountLadder(regions, kind);
  CountTail tail;
  tail.Counts = ladder.Counts;
  tail.AtLeast.assign(ladder.Counts.size(), 0);
  for (const std::uint32_t rung : ladder.Rung) ++tail.AtLeast[rung];
  AccumulateFromTop(&tail);
  return tail;
}

CountTail MakeCountTail(const CountHistogram& histogram) {
  CountTail tail{histogram.Values, histogram.Rows};
  AccumulateFromTop(&tail);
  return tail;
}

// The sum over a histogram of log(value!), value by value.
double SumOfLogFactorials(const CountHistogram& histogram) {
  double sum = 0.0;
  for (std::size_t j = 0; j < histogram.Values.size(); ++j) {
    sum = sum + static_cast<double>(histogram.Rows[j]) *
                    LogGamma(static_cast<double>(histogram.Values[j]) + 1.0);
  }
  return sum;
}

// Weighted sums over k of the terms in d = base + k theta.
struct TailSums {
  double Log = 0.0;       // log1p(k theta / base): log d less log(base)
  double First = 0.0;     // 1/d
  double KFirst = 0.0;    // k/d
  double Second = 0.0;    // 1/d^2
  double KSecond = 0.0;   // k/d^2
  double KKSecond = 0.0;  // k^2/d^2
};

// Sums over j in [0, m) of the terms in 1 + j t, the form every segment
// takes once its first k is moved to 0.
struct UnitSums {
  double Log = 0.0;  // log1p(j t)
  double H0 = 0.0;   // 1/(1 + j t)
  double H1 = 0.0;   // j/(1 + j t)
  double S0 = 0.0;   // 1/(1 + j t)^2
  double S1 = 0.0;   // j/(1 + j t)^2
  double S2 = 0.0;   // j^2/(1 + j t)^2
};

// The terms below this j are summed one by one; above it a term's n-th
// derivative is at most (n+1)!/j^n of the term's scale, so six
// Euler-Maclaurin corrections leave an error near 1e-16 of the sum.
constexpr std::int64_t kDirectTerms = 16;
// Segments at least this long are summed by Euler-Maclaurin: their lower
// end's antiderivative is then at most 1/4 of the upper end's, so the
// difference loses no digits, and the cost no longer grows with the counts
// (a count of millions otherwise costs millions of log1p per evaluation).
constexpr std::int64_t kLongSegment = 4 * kDirectTerms;

// The antiderivatives divided by their power of j, in u = j t, each finite
// and exact at u = 0: a power series below 0.1 (terms fall by 10 each),
// the closed form above, where it loses at most two digits.
struct Antiderivatives {
  double Log = 0.0;  // psi(u) = ((1 + u) log1p(u) - u)/u:  integral = j psi
  double H0 = 0.0;   // log1p(u)/u:                          integral = j H0
  double H1 = 0.0;   // (u - log1p(u))/u^2:                  integral = j^2 H1
  double S1 = 0.0;   // (log1p(u) - u/(1 + u))/u^2:          integral = j^2 S1
  double S2 = 0.0;   // (u - 2 log1p(u) + u/(1 + u))/u^3:    integral = j^3 S2
};

Antiderivatives AntiderivativesAt(double u) {
  Antiderivatives a;
  if (u < 0.1) {
    // Summed from the smallest term up.
    constexpr int kTerms = 20;
    double powers[kTerms];  // (-u)^i
    powers[0] = 1.0;
    for (int i = 1; i < kTerms; ++i) powers[i] = powers[i - 1] * -u;
    for (int i = kTerms - 1; i >= 0; --i) {
      const double k = i;
      const double power = powers[i];
      a.Log = a.Log + power * u / ((k + 2.0) * (k + 1.0));
      a.H0 = a.H0 + power / (k + 1.0);
      a.H1 = a.H1 + power / (k + 2.0);
      a.S1 = a.S1 + power * (k + 1.0) / (k + 2.0);
      a.S2 = a.S2 + power * (k + 1.0) / (k + 3.0);
    }
    return a;
  }
  const double log1p_u = std::log1p(u);
  const double ratio = u / (1.0 + u);
  a.Log = ((1.0 + u) * log1p_u - u) / u;
  a.H0 = log1p_u / u;
  a.H1 = (u - log1p_u) / (u * u);
  a.S1 = (log1p_u - ratio) / (u * u);
  a.S2 = ((u - 2.0 * log1p_u) + ratio) / (u * u * u);
  return a;
}

// The terms' odd derivatives of order n = 1, 3, ..., 11 at j, weighted by
// the Euler-Maclaurin coefficients B(n+1)/(n+1)! and summed. With r =
// 1/(1 + j t) they are: log1p (n-1)! t^n r^n; 1/(1+jt) -n! t^n r^(n+1);
// j/(1+jt) n! t^(n-1) r^(n+1); 1/(1+jt)^2 -(n+1)! t^n r^(n+2); j/(1+jt)^2
// n! t^(n-1) r^(n+1) ((n+1) r - 1); j^2/(1+jt)^2 n! t^(n-2) r^(n+1)
// (2 - (n+1) r), for n = 1 written 2 j r^3, free of the 1/t that cancels.
UnitSums CorrectionsAt(double j, double t) {
  constexpr int kOrders = 6;
  constexpr double kCoefficient[kOrders] = {
      1.0 / 12.0,       -1.0 / 720.0,      1.0 / 30240.0,
      -1.0 / 1209600.0, 1.0 / 47900160.0, -691.0 / 1307674368000.0};
  const double r = 1.0 / (1.0 + j * t);
  const double rr = r * r;
  UnitSums c;
  double factorial = 1.0;  // (n - 1)!
  double t_n1 = 1.0;       // t^(n-1)
  double r_n1 = 1.0;       // r^(n-1)
  double t_n2 = t;         // t^(n-2), from n = 3 on
  for (int p = 0; p < kOrders; ++p) {
    const int n = 2 * p + 1;
    const double w = kCoefficient[p];
    const double h1 = n * factorial * t_n1 * r_n1 * rr;  // n! t^(n-1) r^(n+1)
    c.Log = c.Log + w * (factorial * (t_n1 * t) * (r_n1 * r));
    c.H0 = c.H0 - w * (t * h1);
    c.H1 = c.H1 + w * h1;
    c.S0 = c.S0 - w * ((n + 1) * (t * h1) * r);
    c.S1 = c.S1 + w * (h1 * ((n + 1) * r - 1.0));
    c.S2 = c.S2 + w * (n == 1 ? 2.0 * j * rr * r
                              : n * factorial * t_n2 * r_n1 * rr * (2.0 - (n + 1) * r));
    factorial = factorial * n * (n + 1);
    t_n1 = t_n1 * t * t;
    r_n1 = r_n1 * rr;
    if (p > 0) t_n2 = t_n2 * t * t;
  }
  return c;
}

// Sums over j in [0, m) of the terms in 1 + j t: the first kDirectTerms one
// by one, the rest by Euler-Maclaurin (integral, end terms, corrections).
// Without `kAll` the log1p sum, the costly one, is left at 0.
template <bool kAll>
UnitSums SumUnitTerms(std::int64_t m, double t) {
  UnitSums sums;
  for (std::int64_t j = 0; j < kDirectTerms; ++j) {
    const auto jd = static_cast<double>(j);
    const double u = jd * t;
    const double r = 1.0 / (1.0 + u);
    if constexpr (kAll) sums.Log = sums.Log + std::log1p(u);
    sums.H0 = sums.H0 + r;
    sums.H1 = sums.H1 + jd * r;
    sums.S0 = sums.S0 + r * r;
    sums.S1 = sums.S1 + jd * r * r;
    sums.S2 = sums.S2 + jd * r * (jd * r);
  }
  const auto lo = static_cast<double>(kDirectTerms);
  const auto hi = static_cast<double>(m);
  const Antiderivatives a_lo = AntiderivativesAt(lo * t);
  const Antiderivatives a_hi = AntiderivativesAt(hi * t);
  const double r_lo = 1.0 / (1.0 + lo * t);
  const double r_hi = 1.0 / (1.0 + hi * t);
  // The integrals from lo to hi.
  UnitSums rest;
  rest.Log = hi * a_hi.Log - lo * a_lo.Log;
  rest.H0 = hi * a_hi.H0 - lo * a_lo.H0;
  rest.H1 = hi * hi * a_hi.H1 - lo * lo * a_lo.H1;
  rest.S0 = hi * r_hi - lo * r_lo;
  rest.S1 = hi * hi * a_hi.S1 - lo * lo * a_lo.S1;
  rest.S2 = hi * hi * hi * a_hi.S2 - lo * lo * lo * a_lo.S2;
  // Plus (f(lo) - f(hi))/2: the sum takes f(lo), not f(hi).
  if constexpr (kAll) rest.Log = rest.Log + (std::log1p(lo * t) - std::log1p(hi * t)) / 2.0;
  rest.H0 = rest.H0 + (r_lo - r_hi) / 2.0;
  rest.H1 = rest.H1 + (lo * r_lo - hi * r_hi) / 2.0;
  rest.S0 = rest.S0 + (r_lo * r_lo - r_hi * r_hi) / 2.0;
  rest.S1 = rest.S1 + (lo * r_lo * r_lo - hi * r_hi * r_hi) / 2.0;
  rest.S2 = rest.S2 + (lo * r_lo * (lo * r_lo) - hi * r_hi * (hi * r_hi)) / 2.0;
  // Plus the corrections' differences, hi less lo.
  const UnitSums c_lo = CorrectionsAt(lo, t);
  const UnitSums c_hi = CorrectionsAt(hi, t);
  if constexpr (kAll) sums.Log = sums.Log + (rest.Log + (c_hi.Log - c_lo.Log));
  sums.H0 = sums.H0 + (rest.H0 + (c_hi.H0 - c_lo.H0));
  sums.H1 = sums.H1 + (rest.H1 + (c_hi.H1 - c_lo.H1));
  sums.S0 = sums.S0 + (rest.S0 + (c_hi.S0 - c_lo.S0));
  sums.S1 = sums.S1 + (rest.S1 + (c_hi.S1 - c_lo.S1));
  sums.S2 = sums.S2 + (rest.S2 + (c_hi.S2 - c_lo.S2));
  return sums;
}

// The segment k in [first, end) of a long ladder step: k = first + j, so
// d = b (1 + j t) with b = base + first theta and t = theta / b; every part
// is a sum of positive terms, none a difference.
template <bool kAll>
TailSums SumLongSegment(std::int64_t first, std::int64_t end, double base, double theta) {
  const auto a = static_cast<double>(first);
  const double b = base + a * theta;
  const double t = theta / b;
  const std::int64_t m = end - first;
  const UnitSums unit = SumUnitTerms<kAll>(m, t);
  const double b2 = b * b;
  TailSums segment;
  if constexpr (kAll) {
    segment.Log = static_cast<double>(m) * std::log1p(a * theta / base) + unit.Log;
  }
  segment.First = unit.H0 / b;
  segment.KFirst = a * segment.First + unit.H1 / b;
  segment.Second = unit.S0 / b2;
  segment.KSecond = a * segment.Second + unit.S1 / b2;
  segment.KKSecond = a * a * segment.Second + 2.0 * a * (unit.S1 / b2) + unit.S2 / b2;
  return segment;
}

// Each term counts once per region whose count is above k. A segment of k
// between two rungs is summed from 0.0 in k order (a long one in closed
// form, see SumLongSegment), then added with the number of regions that
// reach it, the segments in ascending order. Without `kAll`, only First
// and Second: all that the slope in mu and its derivative need.
template <bool kAll>
TailSums SweepTail(const CountTail& tail, double base, double theta) {
  TailSums total;
  std::int64_t k = 0;
  for (std::size_t j = 0; j < tail.Counts.size(); ++j) {
    TailSums segment;
    if (tail.Counts[j] - k >= kLongSegment) {
      segment = SumLongSegment<kAll>(k, tail.Counts[j], base, theta);
      k = tail.Counts[j];
    }
    for (; k < tail.Counts[j]; ++k) {
      const auto kd = static_cast<double>(k);
      const double step = kd * theta;
      const double inverse = 1.0 / (base + step);
      segment.First = segment.First + inverse;
      segment.Second = segment.Second + inverse * inverse;
      if constexpr (kAll) {
        const double k_inverse = kd * inverse;
        segment.Log = segment.Log + std::log1p(step / base);
        segment.KFirst = segment.KFirst + k_inverse;
        segment.KSecond = segment.KSecond + k_inverse * inverse;
        segment.KKSecond = segment.KKSecond + k_inverse * k_inverse;
      }
    }
    const auto weight = static_cast<double>(tail.AtLeast[j]);
    total.Log = total.Log + weight * segment.Log;
    total.First = total.First + weight * segment.First;
    total.KFirst = total.KFirst + weight * segment.KFirst;
    total.Second = total.Second + weight * segment.Second;
    total.KSecond = total.KSecond + weight * segment.KSecond;
    total.KKSecond = total.KKSecond + weight * segment.KKSecond;
  }
  return total;
}

double LogChoose(std::int64_t n, std::int64_t x) {
  // Integers: log-gamma is within a few ulps of each term, enough beside
  // the sums, and the terms do not depend on the prior.
  return LogGamma(static_cast<double>(n) + 1.0) -
         LogGamma(static_cast<double>(x) + 1.0) -
         LogGamma(static_cast<double>(n - x) + 1.0);
}

}  // namespace

BetaBinomialData MakeBetaBinomialData(const std::vector<Region>& regions) {
  BetaBinomialData data;
  data.Regions = regions.size();
  for (const Region& region : regions) {
    if (region.Data1 < 0 || region.Data1 > region.Data2) {
      data.Binomial = false;
      return data;
    }
    data.Successes += region.Data1;
    data.Failures += std::int64_t{region.Data2} - region.Data1;
    data.LogChoose = data.LogChoose + LogChoose(region.Data2, region.Data1);
  }
  data.Success = MakeCountTail(regions, CountKind::kSuccess);
  data.Failure = MakeCountTail(regions, CountKind::kFailure);
  data.Size = MakeCountTail(regions, CountKind::kSize);
  return data;
}

BetaBinomialData MakeBetaBinomialData(const CountHistogram& success,
                                      const CountHistogram& failure,
                                      const CountHistogram& size) {
  BetaBinomialData data;
  for (const std::int64_t rows : size.Rows) data.Regions += static_cast<std::size_t>(rows);
  // Every x and every n - x at least 0 is every region with 0 <= x <= n.
  if ((!success.Values.empty() && success.Values.front() < 0) ||
      (!failure.Values.empty() && failure.Values.front() < 0)) {
    data.Binomial = false;
    return data;
  }
  for (std::size_t j = 0; j < success.Values.size(); ++j) {
    data.Successes += success.Values[j] * success.Rows[j];
  }
  for (std::size_t j = 0; j < failure.Values.size(); ++j) {
    data.Failures += failure.Values[j] * failure.Rows[j];
  }
  data.LogChoose =
      (SumOfLogFactorials(size) - SumOfLogFactorials(success)) - SumOfLogFactorials(failure);
  data.Success = MakeCountTail(success);
  data.Failure = MakeCountTail(failure);
  data.Size = MakeCountTail(size);
  return data;
}

ModelPoint PointOfPrior(double alpha, double beta) {
  const double size = alpha + beta;
  return {alpha / size, beta / size, 1.0 / size};
}

ModelPoint PointOfCoordinates(double logit_mean, double log_size) {
  return {1.0 / (1.0 + std::exp(-logit_mean)), 1.0 / (1.0 + std::exp(logit_mean)),
          std::exp(-log_size)};
}

ModelPoint PooledPoint(const BetaBinomialData& data) {
  const auto successes = static_cast<double>(data.Successes);
  const auto failures = static_cast<double>(data.Failures);
  const double trials = successes + failures;
  return {successes / trials, failures / trials, 0.0};
}

LikelihoodTerms EvaluateLikelihood(const BetaBinomialData& data,
                                   const ModelPoint& point) {
  LikelihoodTerms terms;
  if ((data.Successes > 0 && !(point.Mean > 0.0)) ||
      (data.Failures > 0 && !(point.Complement > 0.0))) {
    constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
    terms = {-std::numeric_limits<double>::infinity(), kNan, kNan, kNan, kNan, kNan};
    return terms;
  }
  const TailSums success = SweepTail<true>(data.Success, point.Mean, point.Theta);
  const TailSums failure = SweepTail<true>(data.Failure, point.Complement, point.Theta);
  const TailSums size = SweepTail<true>(data.Size, 1.0, point.Theta);
  // log(mu + k theta) = log(mu) + log1p(k theta / mu): the log(mu) terms,
  // one per success, are gathered into one product.
  double loglik = data.LogChoose;
  if (data.Successes > 0) {
    loglik = loglik + static_cast<double>(data.Successes) * std::log(point.Mean);
  }
  if (data.Failures > 0) {
    loglik = loglik + static_cast<double>(data.Failures) * std::log(point.Complement);
  }
  terms.LogLik = ((loglik + success.Log) + failure.Log) - size.Log;
  terms.DMean = success.First - failure.First;
  terms.DTheta = (success.KFirst + failure.KFirst) - size.KFirst;
  terms.DMeanMean = -(success.Second + failure.Second);
  terms.DMeanTheta = -(success.KSecond - failure.KSecond);
  terms.DThetaTheta = -((success.KKSecond + failure.KKSecond) - size.KKSecond);
  return terms;
}

MeanSlope EvaluateMeanSlope(const BetaBinomialData& data, const ModelPoint& point) {
  const TailSums success = SweepTail<false>(data.Success, point.Mean, point.Theta);
  const TailSums failure = SweepTail<false>(data.Failure, point.Complement, point.Theta);
  return {success.First - failure.First, -(success.Second + failure.Second)};
}

LocalShape ShapeInLogitLogSize(const LikelihoodTerms& terms,
                               const ModelPoint& point) {
  // d mu / d logit = mu (1 - mu), its derivative mu (1 - mu)(1 - 2 mu);
  // d theta / d log size = -theta, its derivative theta.
  const double weight = point.Mean * point.Complement;
  const double theta = point.Theta;
  LocalShape shape;
  shape.LogLik = terms.LogLik;
  shape.Gradient[0] = weight * terms.DMean;
  shape.Gradient[1] = -theta * terms.DTheta;
  shape.Hessian[0][0] = weight * weight * terms.DMeanMean +
                        weight * (point.Complement - point.Mean) * terms.DMean;
  shape.Hessian[0][1] = -weight * theta * terms.DMeanTheta;
  shape.Hessian[1][0] = shape.Hessian[0][1];
  shape.Hessian[1][1] = theta * theta * terms.DThetaTheta + theta * terms.DTheta;
  return shape;
}

}  // namespace propsmooth
