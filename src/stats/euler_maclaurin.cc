#include "stats/euler_maclaurin.h"

#include <cmath>

#include "stats/log_of_product.h"

namespace propsmooth {
namespace {

constexpr std::int64_t kDirectTerms = kEulerMaclaurinDirectTerms;
// Below this u the antiderivatives are power series, above it closed forms.
constexpr double kSeriesBelow = 0.1;

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

// With log1p_u = log1p(u), which the closed forms need. Without
// `kLog`, Log is left 0: the other fields are the same bits.
template <bool kLog>
Antiderivatives AntiderivativesAt(double u, double log1p_u) {
  Antiderivatives a;
  if (u < kSeriesBelow) {
    constexpr int kTerms = 20;
    double powers[kTerms];  // (-u)^i
    powers[0] = 1.0;
    for (int i = 1; i < kTerms; ++i) powers[i] = powers[i - 1] * -u;
    // The terms first, then their sums: the divisions, independent of one
    // another, can then pair up in vector instructions rather than wait on
    // the chain of additions.
    double log_terms[kTerms], h0[kTerms], h1[kTerms], s1[kTerms], s2[kTerms];
    for (int i = 0; i < kTerms; ++i) {
      const double k = i;
      if constexpr (kLog) log_terms[i] = powers[i] * u / ((k + 2.0) * (k + 1.0));
      h0[i] = powers[i] / (k + 1.0);
      h1[i] = powers[i] / (k + 2.0);
      s1[i] = powers[i] * (k + 1.0) / (k + 2.0);
      s2[i] = powers[i] * (k + 1.0) / (k + 3.0);
    }
    // Summed from the smallest term up.
    for (int i = kTerms - 1; i >= 0; --i) {
      if constexpr (kLog) a.Log = a.Log + log_terms[i];
      a.H0 = a.H0 + h0[i];
      a.H1 = a.H1 + h1[i];
      a.S1 = a.S1 + s1[i];
      a.S2 = a.S2 + s2[i];
    }
    return a;
  }
  const double ratio = u / (1.0 + u);
  if constexpr (kLog) a.Log = ((1.0 + u) * log1p_u - u) / u;
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
template <bool kLog>
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
    if constexpr (kLog) c.Log = c.Log + w * (factorial * (t_n1 * t) * (r_n1 * r));
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

}  // namespace

template <bool kAll>
UnitSums SumUnitTerms(std::int64_t m, double t) {
  UnitSums sums;
  LogOfProduct logs;
  for (std::int64_t j = 0; j < kDirectTerms; ++j) {
    const auto jd = static_cast<double>(j);
    const double u = jd * t;
    const double r = 1.0 / (1.0 + u);
    if constexpr (kAll) logs.Add(u);
    sums.H0 = sums.H0 + r;
    sums.H1 = sums.H1 + jd * r;
    sums.S0 = sums.S0 + r * r;
    sums.S1 = sums.S1 + jd * r * r;
    sums.S2 = sums.S2 + jd * r * (jd * r);
  }
  if constexpr (kAll) sums.Log = logs.Sum();
  const auto lo = static_cast<double>(kDirectTerms);
  const auto hi = static_cast<double>(m);
  // Each end's log1p serves its antiderivative and, for the log sum, its
  // end term: one evaluation for both.
  const auto log1p_at = [](double u) { return kAll || !(u < kSeriesBelow) ? std::log1p(u) : 0.0; };
  const double log1p_lo = log1p_at(lo * t);
  const double log1p_hi = log1p_at(hi * t);
  const Antiderivatives a_lo = AntiderivativesAt<kAll>(lo * t, log1p_lo);
  const Antiderivatives a_hi = AntiderivativesAt<kAll>(hi * t, log1p_hi);
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
  if constexpr (kAll) rest.Log = rest.Log + (log1p_lo - log1p_hi) / 2.0;
  rest.H0 = rest.H0 + (r_lo - r_hi) / 2.0;
  rest.H1 = rest.H1 + (lo * r_lo - hi * r_hi) / 2.0;
  rest.S0 = rest.S0 + (r_lo * r_lo - r_hi * r_hi) / 2.0;
  rest.S1 = rest.S1 + (lo * r_lo * r_lo - hi * r_hi * r_hi) / 2.0;
  rest.S2 = rest.S2 + (lo * r_lo * (lo * r_lo) - hi * r_hi * (hi * r_hi)) / 2.0;
  // Plus the corrections' differences, hi less lo.
  const UnitSums c_lo = CorrectionsAt<kAll>(lo, t);
  const UnitSums c_hi = CorrectionsAt<kAll>(hi, t);
  if constexpr (kAll) sums.Log = sums.Log + (rest.Log + (c_hi.Log - c_lo.Log));
  sums.H0 = sums.H0 + (rest.H0 + (c_hi.H0 - c_lo.H0));
  sums.H1 = sums.H1 + (rest.H1 + (c_hi.H1 - c_lo.H1));
  sums.S0 = sums.S0 + (rest.S0 + (c_hi.S0 - c_lo.S0));
  sums.S1 = sums.S1 + (rest.S1 + (c_hi.S1 - c_lo.S1));
  sums.S2 = sums.S2 + (rest.S2 + (c_hi.S2 - c_lo.S2));
  return sums;
}

template UnitSums SumUnitTerms<true>(std::int64_t m, double t);
template UnitSums SumUnitTerms<false>(std::int64_t m, double t);

}  // namespace propsmooth
