// Highway compiles this file once for each instruction set: the ends of
// the stretches are found a vector of them at a time.
#include "estimate/stretch_sums.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "common/float_env.h"
#include "estimate/binade_grid.h"
#include "estimate/sweep.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "estimate/stretch_sums.cc"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

#ifndef PROPSMOOTH_ESTIMATE_STRETCH_SUMS_ONCE_
#define PROPSMOOTH_ESTIMATE_STRETCH_SUMS_ONCE_
namespace propsmooth {
namespace stretch_detail {

// Stretches are taken from where they hold about this many terms: an end
// costs about as much as a term of the kernel, and a sweep costs least
// where the kernel's terms and the ends left are about as many.
constexpr double kShortestStretch = 1.0;
// Sweeps shorter than this are left to the kernel.
constexpr std::int64_t kShortestSweep = std::int64_t{1} << 22;
// Nor does a sweep hand over before this k: the kernel is at full speed.
constexpr std::int64_t kEarliestStart = std::int64_t{1} << 16;
// Terms of this many ulps or more are added one at a time: their stretches
// are short, and a stretch's ulps, at most (m + 1) * length < 2^53, must
// stay exact.
constexpr double kLargestQuotient = 0x1p40;
// Nor are stretches taken where the terms fall by this many ulps a term or
// more: each would hold less than a term, and finding their ends would
// cost more than adding the terms.
constexpr double kSteepestFall = 8.0;
constexpr std::int64_t kTopSteps = std::int64_t{1} << 53;
// The vectors find ends only on grids this fine or coarser: then the
// term at every edge, at most 2^40 ulps, and its reciprocal are normal.
constexpr double kFinestVectorUnit = 0x1p-900;

enum class Kind { kFirst, kSecond };

// The term of k as the plain loop rounds it.
template <Kind kKind>
double TermAt(double base, std::int64_t k) {
  const double d = base + static_cast<double>(k);
  if constexpr (kKind == Kind::kFirst) {
    return 1.0 / d;
  } else {
    return 1.0 / (d * d);
  }
}

// One running sum: whole ulps of its binade where it has a grid.
struct Running {
  bool OnGrid = false;
  std::int64_t Steps = 0;  // in [2^52, 2^53)
  double Unit = 0.0;
  double Inverse = 0.0;
  double Plain = 0.0;   // the sum, where it has no grid
  bool Silent = false;  // every later term rounds away
};

inline void SetSum(double sum, Running* running) {
  Grid grid;
  running->OnGrid = MakeGrid(sum, &grid);
  if (running->OnGrid) {
    running->Steps = static_cast<std::int64_t>(grid.Steps);
    running->Unit = grid.Unit;
    running->Inverse = grid.Inverse;
  } else {
    running->Plain = sum;
  }
}

inline double SumOf(const Running& running) {
  return running.OnGrid ? static_cast<double>(running.Steps) * running.Unit : running.Plain;
}

// The first j in (lo, hi] whose quotient is past the stretch, or hi when
// none before it is; the quotient of lo is not past it. Starts from
// `guess` in (lo, hi], gallops away from it while the guess is off and
// halves the bracket after: by the quotients' order alone, so a poor
// guess costs time, never a wrong end. *quotient_at_end is the end's
// quotient where it was computed, NaN where not.
template <class Quotient, class Past>
std::int64_t FirstPast(std::int64_t lo, std::int64_t hi, std::int64_t guess,
                       const Quotient& quotient, const Past& past,
                       double* quotient_at_end) {
  double at_hi = std::numeric_limits<double>::quiet_NaN();
  double q = 0.0;
  const auto is_past = [&](std::int64_t j) {
    q = quotient(j);
    return past(q);
  };
  if (guess < hi && !is_past(guess)) {
    lo = guess;
    for (std::int64_t step = 1;; step *= 2) {
      const std::int64_t j = lo + step;
      if (j >= hi) break;
      if (is_past(j)) {
        hi = j;
        at_hi = q;
        break;
      }
      lo = j;
    }
  } else {
    if (guess < hi) at_hi = q;
    hi = guess;
    for (std::int64_t step = 1;; step *= 2) {
      const std::int64_t j = hi - step;
      if (j <= lo) break;
      if (!is_past(j)) {
        lo = j;
        break;
      }
      hi = j;
      at_hi = q;
    }
  }
  while (hi - lo > 1) {
    const std::int64_t middle = lo + (hi - lo) / 2;
    if (is_past(middle)) {
      hi = middle;
      at_hi = q;
    } else {
      lo = middle;
    }
  }
  *quotient_at_end = at_hi;
  return hi;
}

// Where the stretch whose last quotients are about `edge` ulps ends: the
// real d at which the term is edge * u, less the base. Only a guess.
template <Kind kKind>
double GuessEnd(double base, double edge, double unit) {
  if constexpr (kKind == Kind::kFirst) {
    return 1.0 / (edge * unit) - base;
  } else {
    return 1.0 / std::sqrt(edge * unit) - base;
  }
}

}  // namespace stretch_detail
}  // namespace propsmooth
#endif  // PROPSMOOTH_ESTIMATE_STRETCH_SUMS_ONCE_

HWY_BEFORE_NAMESPACE();
namespace propsmooth {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using namespace stretch_detail;  // NOLINT(build/namespaces): this file's own helpers

using D = hn::ScalableTag<double>;
using V = decltype(hn::Zero(D()));

// Takes the stretches from k on, where the quotient of k is no tie and
// rounds to `places` ulps: the ends of the stretches of places, places - 1,
// ... ulps, a vector of them at a time. Each end is the closed form's, and
// is taken where the term there and the one before it are far enough from
// the edge to be sure of their rounding without dividing them. Stops at
// the first end not confirmed (one near its edge, or past `to`, or past
// the room below the next power of two); returns the next k, k itself
// when no end was taken.
template <Kind kKind>
std::int64_t TakeStretches(double base, std::int64_t k, std::int64_t to, std::int64_t places,
                           Running* running) {
  const D d;
  const auto lanes = static_cast<std::int64_t>(hn::Lanes(d));
  // Even if every term rounded up, S + (places + 1) * length <= 2^53 - 2.
  const std::int64_t room = (kTopSteps - 2 - running->Steps) / (places + 1);
  const V from = hn::Set(d, static_cast<double>(k));
  const V last = hn::Set(d, static_cast<double>(std::min(to, k + room)));
  const V bases = hn::Set(d, base);
  const V unit = hn::Set(d, running->Unit);
  const V one = hn::Set(d, 1.0);
  // R = fl(1 / c) is within a factor 1 +- 2^-53 of 1 / c; a denominator
  // beyond these bounds is so far from 1 / c that the term's rounding
  // cannot reach c (doc/exact-sums.md).
  const V above = hn::Set(d, 1.0 + 0x1p-50);
  const V below = hn::Set(d, 1.0 - 0x1p-50);
  const V step = hn::Set(d, static_cast<double>(lanes));
  V edges = hn::Sub(hn::Set(d, static_cast<double>(places) - 0.5), hn::Iota(d, 0.0));
  // The sum of (end - k) over the ends taken: whole numbers, less than the
  // stretches' ulps, so exact.
  V lengths = hn::Zero(d);
  V ends = from;
  std::int64_t taken = 0;
  std::size_t in_last = 0;  // ends taken of the last vector
  while (taken < places) {
    const V reciprocal = hn::Div(one, hn::Mul(edges, unit));  // R: where the term is edge ulps
    V guess;
    if constexpr (kKind == Kind::kFirst) {
      guess = hn::Ceil(hn::Sub(reciprocal, bases));
    } else {
      guess = hn::Ceil(hn::Sub(hn::Sqrt(reciprocal), bases));
    }
    V after = hn::Add(bases, guess);                   // d at the end, as the loop rounds it
    V before = hn::Add(bases, hn::Sub(guess, one));    // d before it
    if constexpr (kKind == Kind::kSecond) {
      after = hn::Mul(after, after);
      before = hn::Mul(before, before);
    }
    const auto confirmed =
        hn::And(hn::And(hn::Gt(guess, from), hn::Le(guess, last)),
                hn::And(hn::Gt(after, hn::Mul(reciprocal, above)),
                        hn::Lt(before, hn::Mul(reciprocal, below))));
    const std::int64_t live = std::min(lanes, places - taken);
    if (live == lanes && hn::AllTrue(d, confirmed)) {
      lengths = hn::Add(lengths, hn::Sub(guess, from));
      ends = guess;
      in_last = static_cast<std::size_t>(lanes);
      taken += lanes;
      edges = hn::Sub(edges, step);
      continue;
    }
    const auto not_confirmed =
        hn::Or(hn::Not(confirmed), hn::Not(hn::FirstN(d, static_cast<std::size_t>(live))));
    const auto count = static_cast<std::size_t>(hn::FindFirstTrue(d, not_confirmed));
    if (count > 0) {
      lengths = hn::Add(lengths, hn::IfThenElseZero(hn::FirstN(d, count), hn::Sub(guess, from)));
      ends = guess;
      in_last = count;
      taken += static_cast<std::int64_t>(count);
    }
    break;
  }
  if (taken == 0) return k;
  // The ulps of stretch i are (places - i) * (end(i) - end(i - 1)), with
  // end(-1) = k: summed by parts, the ends' lengths from k, and the last
  // one's (places - taken) times more.
  const double end = hn::ExtractLane(ends, in_last - 1);
  const double added = hn::GetLane(hn::SumOfLanes(d, lengths)) +
                       static_cast<double>(places - taken) * (end - static_cast<double>(k));
  running->Steps += static_cast<std::int64_t>(added);
  return static_cast<std::int64_t>(end);
}

// Takes one running sum from term *at up to term `to` (not included), as
// the plain loop would; base + *at > 0, so the terms fall as k grows.
template <Kind kKind>
void Advance(double base, std::int64_t to, std::int64_t* at, Running* running) {
  std::int64_t k = *at;
  *at = to;
  // The quotient of `known`, where the last stretch's search computed it.
  std::int64_t known = -1;
  double known_quotient = 0.0;
  while (k < to && !running->Silent) {
    if (!running->OnGrid) {
      double sum = running->Plain;
      for (; k < to; ++k) sum = sum + TermAt<kKind>(base, k);
      SetSum(sum, running);
      return;
    }
    const double inverse = running->Inverse;
    const auto quotient = [base, inverse](std::int64_t j) {
      return TermAt<kKind>(base, j) * inverse;
    };
    const double q = known == k ? known_quotient : quotient(k);
    known = -1;
    if (q < 0.5) {
      // It and every later term round to nothing (the terms fall).
      running->Silent = true;
      return;
    }
    // Where a term falls by more than a few ulps from one k to the next,
    // a stretch holds less than a term: the terms are added as written.
    const double fall = (kKind == Kind::kFirst ? 1.0 : 2.0) * q / (base + static_cast<double>(k));
    if (!(q < kLargestQuotient) || !(fall < kSteepestFall)) {
      SetSum(SumOf(*running) + TermAt<kKind>(base, k), running);
      ++k;
      continue;
    }
    const double whole = std::floor(q);
    const bool tie = q - whole == 0.5;
    const auto places =
        static_cast<std::int64_t>(tie || q - whole < 0.5 ? whole : whole + 1.0);
    if (!tie && running->Unit >= kFinestVectorUnit) {
      const std::int64_t next = TakeStretches<kKind>(base, k, to, places, running);
      if (next > k) {
        k = next;
        continue;
      }
    }
    // A stretch: the terms from k on that add `places` ulps each, or that
    // are the same tie; it ends at the first quotient past `edge`.
    const double edge = tie ? q : static_cast<double>(places) - 0.5;
    const auto past = [tie, edge](double quotient_j) {
      return tie ? quotient_j < edge : quotient_j <= edge;
    };
    const double guess = GuessEnd<kKind>(base, edge, running->Unit);
    std::int64_t start = to;
    if (!(guess < static_cast<double>(to))) {
      start = to;
    } else if (!(guess > static_cast<double>(k + 1))) {
      start = k + 1;
    } else {
      start = static_cast<std::int64_t>(std::ceil(guess));
    }
    double quotient_at_end = 0.0;
    const std::int64_t end = FirstPast(k, to, start, quotient, past, &quotient_at_end);
    // Below the next power of two, with room for a term's rounding up.
    const std::int64_t room = (kTopSteps - 2 - running->Steps) / (places + 1);
    const std::int64_t length = std::min(end - k, room);
    if (length > 0) {
      if (tie) {
        // The first tie goes to the even neighbour, which depends on the
        // sum; from an even sum every later one adds the even of places
        // and places + 1.
        std::int64_t steps = running->Steps + places;
        steps += steps & 1;
        running->Steps = steps + (length - 1) * (places + (places & 1));
      } else {
        running->Steps += places * length;
      }
    }
    k += length;
    if (k < end) {
      // The next term may reach the next power of two: as written.
      SetSum(SumOf(*running) + TermAt<kKind>(base, k), running);
      ++k;
    } else if (!std::isnan(quotient_at_end)) {
      known = end;
      known_quotient = quotient_at_end;
    }
  }
}

}  // namespace

void ContinueOn(double base, std::int64_t from, double sum1, double sum2,
                  std::span<const std::int64_t> counts, std::span<double> first,
                  std::span<double> second) {
  const GradualUnderflow gradual_underflow;
  Running running;
  SetSum(sum1, &running);
  std::int64_t k = from;
  for (std::size_t j = 0; j < counts.size(); ++j) {
    Advance<Kind::kFirst>(base, counts[j], &k, &running);
    first[j] = SumOf(running);
  }
  running = Running();
  SetSum(sum2, &running);
  k = from;
  for (std::size_t j = 0; j < counts.size(); ++j) {
    Advance<Kind::kSecond>(base, counts[j], &k, &running);
    second[j] = SumOf(running);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace propsmooth
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace propsmooth {
namespace {

using namespace stretch_detail;  // NOLINT(build/namespaces): this file's own helpers

// Estimates of the sums after `count` terms, to within a few percent for
// base > 0: the first terms added, the rest as the integral.
void EstimateSums(double base, std::int64_t count, double* sum1, double* sum2) {
  constexpr std::int64_t kAdded = 16;
  double first = 0.0;
  double second = 0.0;
  const std::int64_t added = std::min(count, kAdded);
  for (std::int64_t k = 0; k < added; ++k) {
    const double d = base + static_cast<double>(k);
    first += 1.0 / d;
    second += 1.0 / (d * d);
  }
  if (count > added) {
    const double low = base + (static_cast<double>(added) - 0.5);
    const double high = base + (static_cast<double>(count) - 0.5);
    first += std::log(high / low);
    second += 1.0 / low - 1.0 / high;
  }
  *sum1 = first;
  *sum2 = second;
}

double UlpOf(double sum) {
  int exponent = 0;
  std::frexp(sum, &exponent);  // sum in [2^(exponent-1), 2^exponent)
  return std::ldexp(1.0, exponent - 53);
}

}  // namespace

HWY_EXPORT(ContinueOn);

std::int64_t StretchStart(double base, std::int64_t largest) {
  if (largest < kShortestSweep || !(base > 0.0 && base < 0x1p40)) return 0;
  // A stretch of the first sum holds about d^2 * u1 terms (its terms fall
  // by 1/d^2 a step, its ulps by 1/(d^2 u1)); of the second about
  // d^3 * u2 / 2. Where the sums' ulps are taken matters little: once
  // from the sums at the largest count, once from those at the answer.
  double start = static_cast<double>(largest);
  for (int pass = 0; pass < 2; ++pass) {
    double sum1 = 0.0;
    double sum2 = 0.0;
    EstimateSums(base, static_cast<std::int64_t>(start), &sum1, &sum2);
    if (!(sum1 > 0x1p-900 && sum1 < 0x1p900 && sum2 > 0x1p-900 && sum2 < 0x1p900)) {
      return 0;
    }
    const double d = std::max(std::sqrt(kShortestStretch / UlpOf(sum1)),
                              std::cbrt(2.0 * kShortestStretch / UlpOf(sum2)));
    start = std::max(d - base, static_cast<double>(kEarliestStart));
    if (!(start < static_cast<double>(largest))) return 0;
  }
  // Worth it where the stretches spare at least half the terms.
  if (!(2.0 * start < static_cast<double>(largest))) return 0;
  return static_cast<std::int64_t>(start);
}

void ContinueInStretches(double base, std::int64_t from, double sum1, double sum2,
                         std::span<const std::int64_t> counts, std::span<double> first,
                         std::span<double> second) {
  HWY_DYNAMIC_DISPATCH(ContinueOn)(base, from, sum1, sum2, counts, first, second);
}

void SweepInnerSumsInStretches(const std::vector<std::int64_t>& counts, double base,
                               std::vector<double>* first, std::vector<double>* second) {
  const std::int64_t from = counts.empty() ? 0 : StretchStart(base, counts.back());
  if (from == 0) {
    SweepInnerSums(counts, base, first, second);
    return;
  }
  // The kernel up to `from`, read off there as one more rung.
  const auto split = static_cast<std::size_t>(
      std::lower_bound(counts.begin(), counts.end(), from) - counts.begin());
  std::vector<std::int64_t> head(counts.begin(),
                                 counts.begin() + static_cast<std::ptrdiff_t>(split));
  head.push_back(from);
  std::vector<double> head_first;
  std::vector<double> head_second;
  SweepInnerSums(head, base, &head_first, &head_second);
  first->resize(counts.size());
  second->resize(counts.size());
  std::copy_n(head_first.begin(), split, first->begin());
  std::copy_n(head_second.begin(), split, second->begin());
  ContinueInStretches(base, from, head_first.back(), head_second.back(),
                      std::span<const std::int64_t>(counts).subspan(split),
                      std::span<double>(*first).subspan(split),
                      std::span<double>(*second).subspan(split));
}

}  // namespace propsmooth
#endif  // HWY_ONCE
