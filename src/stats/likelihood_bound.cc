#include "stats/likelihood_bound.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "stats/log_gamma.h"
#include "stats/tail_sums.h"

// Why the answer is EvaluateLikelihood's. Write u = 2^-53 for the unit
// roundoff. EvaluateLikelihood returns fl(fl(fl(C + S) + F) - N), C the
// base (LogLikelihoodBase, whose bits we compute the same way) and S, F, N
// the computed ladder sums of log1p(k theta / b) at b = mu, 1 - mu and 1.
// Each ladder's exact real sum T = sum_k w_k log1p(k theta / b) is a sum of
// terms >= 0 over regions, so per distinct count c (rows regions)
//   T = sum_c rows_c G(c),  G(c) = lgamma(z + c) - lgamma(z) - c log z,
// with z = b / theta: the product of (z + k)/z over k < c.
//
// 1. The estimate. We evaluate G at z' = fl(b / theta) = z (1 + d), |d| <=
//    u. G grows with r = 1/z and r dG/dr = sum k r / (1 + k r) <= G (as
//    y/(1+y) <= log1p(y)), so moving z to z' moves G by at most 2u G. Each
//    G(c) is fl(fl(A - B) - fl(c fl(log z'))), A = LogGamma(fl(z' + c)),
//    B = LogGamma(z'). We take the C library's lgamma and log to within
//    8 ulp (16 u) of the value plus 16 u absolute (glibc documents a few
//    ulp for both); rounding z' + c moves lgamma by |psi(w)| w u <=
//    (w |log w| + 1) u, as log w - 1/w < psi(w) < log w, and w |log w| <=
//    |lgamma(w)| + 1.5 w + 1 (Stirling's lower bound for w >= 1, at most
//    1/e below). The two subtractions, the product by rows and the
//    sum over counts add at most (2 + 1 + counts) u of the magnitudes
//    involved. So with M = sum_c rows_c (2 |A| + |B| + |c log z'| + |G| +
//    2 w + 3), |estimate - T| <= (64 + 2 counts) u M =: E, the 64
//    covering 16 + 16 + 1 + 5 + 2 + 2 with room.
// 2. The exact code's sum. A ladder segment shorter than
//    kEulerMaclaurinShortest (64) takes its < 64 terms, each log1p of an
//    argument within 2u of k theta / b, as the log1p of their product
//    (log_of_product.h): within 140 u of the segment's sum, the argument's
//    error included (it moves log1p by at most 2u of it, again by
//    y/(1+y) <= log1p(y)). A longer segment is Euler-Maclaurin's (its
//    first 16 terms taken the same way): every intermediate (the
//    integrals j psi(j t), the end terms, six corrections) is at most twice
//    the segment's sum in size, the antiderivative's closed form loses at
//    most a factor 70 (at u = 0.1, where (1 + u) log1p(u) - u cancels most),
//    and the remainder after six corrections is below |B12|/12! 10! (1/16)^10
//    t, under 1e-20 of the segment's sum; all told far below 2^-36 of it.
//    Adding the segments with their weights costs (counts + 4) u more.
//    So |S - T| <= (2^-36 + 2 (counts + 4) u) T, and T <= estimate + E.
// 3. The three additions to C move the result by at most 3u (1 + 3u) of
//    |C| + S + F + N, and the test itself is evaluated in rounded
//    arithmetic too; the slack is twice the sum of all of these, so a
//    margin beyond it proves the sign of the exact code's value against the
//    level, strictly (and with it its finiteness). Inside the slack we
//    claim nothing: the caller evaluates the sums.

namespace propsmooth {
namespace {

constexpr double kUnitRoundoff = std::numeric_limits<double>::epsilon() / 2.0;
constexpr double kSweepRelative = 0x1p-36;

struct LadderEstimate {
  double Value = 0.0;  // the estimate of the exact real sum T
  double Error = 0.0;  // bound on |Value - T|
  double Sweep = 0.0;  // bound on |the exact code's sum - T|
  bool Usable = true;
};

LadderEstimate EstimateLadderLog(const CountTail& tail, double base, double theta) {
  LadderEstimate e;
  const double z = base / theta;
  // Far outside these the magnitudes swamp any margin, or lgamma meets
  // its poles and overflows.
  if (!(z > 0x1p-900 && z < 0x1p+80)) {
    e.Usable = false;
    return e;
  }
  const double log_gamma_z = LogGamma(z);
  const double log_z = std::log(z);
  double magnitude = 0.0;
  const std::size_t counts = tail.Counts.size();
  for (std::size_t j = 0; j < counts; ++j) {
    // A count of 0 adds no term at all.
    if (tail.Counts[j] == 0) continue;
    const auto rows =
        static_cast<double>(tail.AtLeast[j] - (j + 1 < counts ? tail.AtLeast[j + 1] : 0));
    const auto c = static_cast<double>(tail.Counts[j]);
    const double w = z + c;
    const double a = LogGamma(w);
    const double c_log_z = c * log_z;
    const double g = (a - log_gamma_z) - c_log_z;
    e.Value = e.Value + rows * g;
    magnitude = magnitude + rows * (((2.0 * std::fabs(a) + std::fabs(log_gamma_z)) +
                                     (std::fabs(c_log_z) + std::fabs(g))) +
                                    (2.0 * w + 3.0));
  }
  const auto n = static_cast<double>(counts);
  e.Error = (64.0 + 2.0 * n) * kUnitRoundoff * magnitude;
  e.Sweep = (kSweepRelative + 2.0 * (n + 4.0) * kUnitRoundoff) *
            (std::fabs(e.Value) + e.Error);
  e.Usable = std::isfinite(e.Value) && std::isfinite(e.Error) && std::isfinite(e.Sweep);
  return e;
}

}  // namespace

LevelOrder CompareLogLikelihood(const BetaBinomialData& data, const ModelPoint& point,
                                double level) {
  if (!(point.Theta > 0.0) || !(point.Mean > 0.0) || !(point.Complement > 0.0) ||
      !std::isfinite(level)) {
    return LevelOrder::kUnproven;
  }
  const double base = LogLikelihoodBase(data, point);
  const LadderEstimate s = EstimateLadderLog(data.Success, point.Mean, point.Theta);
  const LadderEstimate f = EstimateLadderLog(data.Failure, point.Complement, point.Theta);
  const LadderEstimate n = EstimateLadderLog(data.Size, 1.0, point.Theta);
  if (!std::isfinite(base) || !s.Usable || !f.Usable || !n.Usable) return LevelOrder::kUnproven;
  const double estimate = ((base + s.Value) + f.Value) - n.Value;
  const double strays = (s.Error + s.Sweep) + (f.Error + f.Sweep) + (n.Error + n.Sweep);
  const double sizes = std::fabs(base) + ((std::fabs(s.Value) + std::fabs(f.Value)) +
                                          (std::fabs(n.Value) + strays));
  const double margin = estimate - level;
  const double slack =
      2.0 * (strays + 8.0 * kUnitRoundoff * (sizes + std::fabs(estimate) + std::fabs(level)));
  if (!std::isfinite(margin) || !std::isfinite(slack)) return LevelOrder::kUnproven;
  if (margin > slack) return LevelOrder::kAbove;
  if (margin < -slack) return LevelOrder::kBelow;
  return LevelOrder::kUnproven;
}

}  // namespace propsmooth
