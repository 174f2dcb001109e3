#include "estimate/binade_grid.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace propsmooth {
namespace {

constexpr std::uint64_t kExponentBias = 1023;

// An estimated second term q1*q1 is within 5 * 2^-53 < 2^-50.6 of the
// rounded 1/(d*d), relative; three times that is the margin from halfway
// that proves it rounds to the same whole number of ulps.
constexpr double kSecondMargin = 0x1p-49;
// Estimated second terms are used up to this many ulps a term: then about
// one chunk in 64 has a term within the margin of halfway.
constexpr double kLargestEstimate = 0x1p36;
// Terms checked at a time: a chunk with a term that fails the check is
// added term by term. The longest chunks where terms rarely fail, for as
// few checks as possible; shorter ones where they fail often, for as
// little to redo as possible: about one chunk in 32 fails.
constexpr int kShortestChunk = 16;
constexpr double kChunkFailures = 0x1p-5;
// The longest run, and the shortest worth starting: nearer than this to
// the next power of two of either sum, the block path crosses it.
constexpr std::int64_t kLongestRun = std::int64_t{1} << 16;
constexpr std::int64_t kShortestRun = 16;

// A longer run than the first term's bound allows, where the terms fall
// fast: the sums of 1/(d0 + j) and 1/(d0 + j)^2 over j < L are at most
// their first terms plus the integrals from d0 to d0 + L - 1. Returns 0
// where that gives nothing.
double LengthUnderIntegrals(double d0, double u1, double u2, double q1, double q2,
                            double room1, double room2) {
  constexpr double kRoomFactor = 1.0 - 0x1p-40;
  constexpr double kLengthFactor = 1.0 - 0x1p-30;
  const double rest1 = u1 * ((room1 - static_cast<double>(kLongestRun)) * kRoomFactor - q1);
  if (!(rest1 > 0.0)) return 0.0;
  // exp(x) - 1 from below by its series to x^6: no call, and within 3% of
  // it up to x = 2.6, a sum's room in [4, 8) from 5.4.
  const double grown =
      rest1 *
      (1.0 + rest1 * (1.0 / 2 +
                      rest1 * (1.0 / 6 +
                               rest1 * (1.0 / 24 + rest1 * (1.0 / 120 + rest1 * (1.0 / 720))))));
  const double length1 = 1.0 + d0 * grown * kLengthFactor;
  const double rest2 = u2 * ((room2 - static_cast<double>(kLongestRun)) * kRoomFactor - q2);
  if (!(rest2 > 0.0)) return 0.0;
  // 1/(d0 + L - 1) >= 1/d0 - rest2, rounded up: q1 * u1 is 1/d0 within
  // 2^-52 of it, which the difference may lose to cancellation.
  const double inverse_end = (q1 * u1 - rest2) * (1.0 + 0x1p-40) + q1 * u1 * 0x1p-50;
  const double length2 =
      inverse_end <= 0x1p-100 ? 0x1p62 : 1.0 + (1.0 / inverse_end - d0) * kLengthFactor;
  const double length = std::min(length1, length2);
  return std::isfinite(length) ? length : 0.0;
}

}  // namespace

bool MakeGrid(double sum, Grid* grid) {
  if (!(sum >= 0x1p-960 && sum < 0x1p960)) return false;
  const std::uint64_t biased = std::bit_cast<std::uint64_t>(sum) >> 52;
  grid->Unit = std::bit_cast<double>((biased - 52) << 52);
  grid->Inverse = std::bit_cast<double>((2 * kExponentBias + 52 - biased) << 52);
  grid->Steps = sum * grid->Inverse;
  return true;
}

RunStart PlanRun(double base, std::int64_t from, std::int64_t last, double sum1,
                 double sum2, RunPlan* plan) {
  Grid grid1;
  Grid grid2;
  if (!MakeGrid(sum1, &grid1) || !MakeGrid(sum2, &grid2)) return RunStart::kNotTried;
  const double unit = grid1.Unit;
  // The bounds below keep every scaled and unscaled value of the run
  // normal, where scaling by a power of two commutes with rounding.
  if (!(unit >= 0x1p-400 && unit <= 0x1p400)) return RunStart::kNotTried;
  const double scaled_base = base * unit;
  if (scaled_base != 0.0 && !(std::abs(scaled_base) >= 0x1p-900)) {
    return RunStart::kNotTried;
  }
  const double second_scale = unit * unit * grid2.Inverse;
  if (!(second_scale >= 0x1p-900 && second_scale <= 0x1p900)) return RunStart::kNotTried;
  const double low = scaled_base + static_cast<double>(from) * unit;  // d * u1
  if (!(low >= 0x1p-60)) return RunStart::kNotTried;
  // The first term is the largest: the run stops before either sum could
  // reach its next power of two.
  const double q1 = 1.0 / low;
  const double q2 = q1 * q1 * second_scale;
  // min(room1 / (q1 + 1), room2 / (q2 + 1)) with one division; the run
  // stops a term short of it, more than its few roundings could take.
  const double per_term1 = q1 + 1.0;
  const double per_term2 = q2 + 1.0;
  const double room1 = kTwo53 - grid1.Steps;
  const double room2 = kTwo53 - grid2.Steps;
  double length = std::min(room1 * per_term2, room2 * per_term1) / (per_term1 * per_term2);
  const double d0 = low / unit;
  if (length * 8.0 > d0 && length < static_cast<double>(last - from)) {
    length = std::max(length, LengthUnderIntegrals(d0, unit, grid2.Unit, q1, q2, room1, room2));
  }
  if (!(length >= static_cast<double>(kShortestRun + 1))) return RunStart::kTooShort;
  const auto reach = from + static_cast<std::int64_t>(length) - 1;
  const std::int64_t to = std::min({last, from + kLongestRun, reach});
  // The last second quotient, u1^2/u2 / high^2, at least 2^-900: checked
  // as a product, with a factor of two for its roundings.
  const double high = scaled_base + static_cast<double>(to) * unit;
  if (!(high <= 0x1p400 && second_scale >= high * high * 0x1p-899)) {
    return RunStart::kNotTried;
  }
  // Where the second sum's ulps are fine against its terms, too many
  // estimated terms would come within the margin of halfway: there the
  // second terms are divided exactly as well, and only ties fail. A term
  // fails about as often as it falls exactly halfway (one in 2^52 / q) or,
  // estimated, within the margin of halfway.
  const bool estimate_second = q2 < kLargestEstimate;
  const double failures =
      q1 * 0x1p-52 + (estimate_second ? q2 * (2.0 * kSecondMargin) : q2 * 0x1p-52);
  plan->First = grid1;
  plan->Second = grid2;
  plan->To = to;
  plan->ScaledBase = scaled_base;
  plan->Unit = unit;
  plan->SecondScale = second_scale;
  plan->EstimateSecond = estimate_second;
  plan->SecondMargin = estimate_second ? q2 * kSecondMargin : 0.0;
  int chunk = kLongRunChunk;
  while (chunk > kShortestChunk && failures * chunk > kChunkFailures) chunk /= 2;
  plan->Chunk = chunk;
  plan->EndsNearPowerOfTwo = to == reach;
  return RunStart::kReady;
}

}  // namespace propsmooth
