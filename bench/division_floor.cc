// Compiled for every target Highway can reach, as the step kernel is, so
// that PROPSMOOTH_SIMD selects the same target for both.
#include "division_floor.h"

#include <cstdint>

#include "common/float_env.h"
#include "common/parallel.h"
#include "estimate/count_ladder.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "bench/division_floor.cc"
#include <hwy/foreach_target.h>  // before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace propsmooth {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

void SumReciprocalsOn(double base, std::int64_t terms, ReciprocalSums* sums) {
  // The step's sweeps compute in this environment too: a subnormal term
  // must cost here what it costs there.
  const GradualUnderflow gradual_underflow;
  using D = hn::ScalableTag<double>;
  const D d;
  const auto lanes = static_cast<std::int64_t>(hn::Lanes(d));
  const auto one = hn::Set(d, 1.0);
  const auto bases = hn::Set(d, base);
  // Four of everything, so that the divisions, not the latency of a
  // loop-carried addition, set the pace.
  const auto step = hn::Set(d, static_cast<double>(4 * lanes));
  auto k0 = hn::Iota(d, 0.0);
  auto k1 = hn::Iota(d, static_cast<double>(lanes));
  auto k2 = hn::Iota(d, static_cast<double>(2 * lanes));
  auto k3 = hn::Iota(d, static_cast<double>(3 * lanes));
  auto first0 = hn::Zero(d);
  auto first1 = first0;
  auto first2 = first0;
  auto first3 = first0;
  auto second0 = first0;
  auto second1 = first0;
  auto second2 = first0;
  auto second3 = first0;
  std::int64_t k = 0;
  for (; k + 4 * lanes <= terms; k += 4 * lanes) {
    const auto d0 = hn::Add(bases, k0);
    const auto d1 = hn::Add(bases, k1);
    const auto d2 = hn::Add(bases, k2);
    const auto d3 = hn::Add(bases, k3);
    first0 = hn::Add(first0, hn::Div(one, d0));
    first1 = hn::Add(first1, hn::Div(one, d1));
    first2 = hn::Add(first2, hn::Div(one, d2));
    first3 = hn::Add(first3, hn::Div(one, d3));
    second0 = hn::Add(second0, hn::Div(one, hn::Mul(d0, d0)));
    second1 = hn::Add(second1, hn::Div(one, hn::Mul(d1, d1)));
    second2 = hn::Add(second2, hn::Div(one, hn::Mul(d2, d2)));
    second3 = hn::Add(second3, hn::Div(one, hn::Mul(d3, d3)));
    // Whole numbers below 2^53: each k stays exact.
    k0 = hn::Add(k0, step);
    k1 = hn::Add(k1, step);
    k2 = hn::Add(k2, step);
    k3 = hn::Add(k3, step);
  }
  // The last few terms, a vector at a time, the lanes past the end zeroed.
  auto k_rest = hn::Iota(d, static_cast<double>(k));
  const auto lane_step = hn::Set(d, static_cast<double>(lanes));
  for (; k < terms; k += lanes) {
    const auto live = hn::FirstN(d, static_cast<std::size_t>(terms - k));
    const auto d0 = hn::Add(bases, k_rest);
    first0 = hn::Add(first0, hn::IfThenElseZero(live, hn::Div(one, d0)));
    second0 = hn::Add(second0, hn::IfThenElseZero(live, hn::Div(one, hn::Mul(d0, d0))));
    k_rest = hn::Add(k_rest, lane_step);
  }
  const auto first = hn::Add(hn::Add(first0, first1), hn::Add(first2, first3));
  const auto second = hn::Add(hn::Add(second0, second1), hn::Add(second2, second3));
  sums->First = hn::GetLane(hn::SumOfLanes(d, first));
  sums->Second = hn::GetLane(hn::SumOfLanes(d, second));
}

const char* FloorTargetNameOn() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace propsmooth
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace propsmooth {

HWY_EXPORT(SumReciprocalsOn);
HWY_EXPORT(FloorTargetNameOn);

DivisionFloorSums DivisionFloor(StepPlan& plan, double alpha, double beta) {
  DivisionFloorSums sums;
  RunPair(
      plan.Helper.get(),
      [&] {
        HWY_DYNAMIC_DISPATCH(SumReciprocalsOn)(alpha + beta, Largest(plan.Size), &sums.Size);
      },
      [&] {
        HWY_DYNAMIC_DISPATCH(SumReciprocalsOn)(alpha, Largest(plan.Success), &sums.Success);
        HWY_DYNAMIC_DISPATCH(SumReciprocalsOn)(beta, Largest(plan.Failure), &sums.Failure);
      });
  return sums;
}

ReciprocalSums SweepDivisionFloor(double base, std::int64_t terms) {
  ReciprocalSums sums;
  HWY_DYNAMIC_DISPATCH(SumReciprocalsOn)(base, terms, &sums);
  return sums;
}

std::string DivisionFloorTarget() { return HWY_DYNAMIC_DISPATCH(FloorTargetNameOn)(); }

}  // namespace propsmooth
#endif  // HWY_ONCE
