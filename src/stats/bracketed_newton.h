// Newton's method on one variable kept inside a bracket of the root, with
// bisection wherever a step would leave it. The profile over the mean and
// the profile bound of the size are both this search; one copy keeps their
// stopping rule and their answer to a NaN alike, and makes each say whether
// it converged instead of handing back its last iterate as if it had.
#ifndef PROPSMOOTH_STATS_BRACKETED_NEWTON_H_
#define PROPSMOOTH_STATS_BRACKETED_NEWTON_H_

#include <cstdint>
#include <functional>

namespace propsmooth {

/// f(x) and f'(x) of a function rising through its root.
struct NewtonValue {
  double Value = 0.0;
  double Slope = 0.0;
};

/// The root, and whether the steps settled. Unconverged: the step limit was
/// reached or f was NaN somewhere (a NaN is on neither side of the root, so
/// the bracket cannot use it); Root is then the last iterate, for no use.
struct BracketedRoot {
  double Root = 0.0;
  bool Converged = false;
  std::int32_t Steps = 0;
};

/// The rule of one search: settled once a step moves x by at most
/// Relative * max(Floor, |x|); at most StepLimit evaluations of f.
struct BracketedNewtonRule {
  double Relative = 1e-12;
  double Floor = 1.0;
  std::int32_t StepLimit = 200;
};

/// The root of `f` in (lo, hi), where f < 0 towards lo and f >= 0 towards
/// hi, from `start` (inside or at an end), whose value `at_start` is given
/// when known. A Newton step that leaves the open bracket, or is taken on a
/// slope not above 0, is replaced by the bracket's midpoint. The root is
/// the first step of at most the rule's length, not evaluated.
BracketedRoot FindBracketedRoot(const std::function<NewtonValue(double)>& f, double lo,
                                double hi, double start, const BracketedNewtonRule& rule,
                                const NewtonValue* at_start = nullptr);

}  // namespace propsmooth

#endif  // PROPSMOOTH_STATS_BRACKETED_NEWTON_H_
