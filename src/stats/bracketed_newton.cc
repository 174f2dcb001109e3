#include "stats/bracketed_newton.h"

#include <algorithm>
#include <cmath>

namespace propsmooth {

BracketedRoot FindBracketedRoot(const std::function<NewtonValue(double)>& f, double lo,
                                double hi, double start, const BracketedNewtonRule& rule,
                                const NewtonValue* at_start) {
  BracketedRoot result;
  double x = start;
  for (std::int32_t i = 0; i < rule.StepLimit; ++i) {
    const NewtonValue value = i == 0 && at_start != nullptr ? *at_start : f(x);
    ++result.Steps;
    if (std::isnan(value.Value)) {
      result.Root = x;
      return result;
    }
    if (value.Value >= 0.0) {
      hi = x;
    } else {
      lo = x;
    }
    double next = x - value.Value / value.Slope;
    if (!(value.Slope > 0.0) || !(next > lo && next < hi)) next = (lo + hi) / 2.0;
    const bool settled = std::fabs(next - x) <= rule.Relative * std::max(rule.Floor, std::fabs(x));
    x = next;
    if (settled) {
      result.Root = x;
      result.Converged = true;
      return result;
    }
  }
  result.Root = x;
  return result;
}

}  // namespace propsmooth
