// The Newton-Raphson fit: starting values, the three outcomes, the
// tolerance and limit settings, and steps without a defined result.
#include "estimate/mle.h"

#include <gtest/gtest.h>

#include <cmath>  // std::isfinite, std::fabs
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "estimate/mle_internal.h"
#include "estimate/moments.h"
#include "estimate/step_sums.h"
#include "estimate/same_bits.h"
#include "estimate/worked_groups.h"
#include "reference/reference.h"
#include "strict_output/printed.h"

namespace propsmooth {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const Counts& kTwo = kTwoRegions;
const Counts& kSix = kSixRegions;
const Counts kFive = {{12, 100}, {30, 120}, {5, 90}, {22, 110}, {9, 70}};
const Counts kNegative = {{0, 10}, {9, 10}, {1, 10}};
const Counts kFour = {{0, 10}, {10, 10}, {1, 10}, {9, 10}};

// Moments first, as EstimateGroup runs them, then the fit.
GroupSummary Fit(const Counts& counts, const RunSettings& settings) {
  GroupWorkspace workspace = MakeGroup(counts);
  ComputeMoments(&workspace);
  FitMle(settings, false, &workspace);
  return workspace.Summary;
}

// The real step sums, noting every point the fit asks for.

// Fits `counts` through the recording kernel; returns the points visited.
std::vector<std::pair<double, double>> RecordFit(const Counts& counts,
                                                 const RunSettings& settings,
                                                 GroupSummary* summary) {
  GroupWorkspace workspace = MakeGroup(counts);
  ComputeMoments(&workspace);
  StepPlan plan = MakeStepPlan(workspace.Regions, false);
  std::vector<std::pair<double, double>> points;
  FitMleWith(
      settings,
      [&](double alpha, double beta) {
        points.emplace_back(alpha, beta);
        return ComputeStepSums(plan, alpha, beta);
      },
      &workspace.Summary);
  *summary = workspace.Summary;
  return points;
}

// Expected figures: the tool's documented worked examples (six, five, two,
// negative and four regions), and first steps recomputed as exact rationals
// (Python fractions: the five sums at the exact moment estimators, then
// -H^-1 g) rounded to six decimals, which reproduce the documented ones.
// `error_below` > 0 checks both corrections lie in [0, error_below) instead
// of comparing their digits.
TEST(FitMle, OutcomesOnWorkedGroups) {
  struct Case {
    const char* name;
    Counts counts;
    RunSettings settings;
    int converged;
    int iterations;
    const char* alpha_start;
    const char* beta_start;
    const char* alpha_mle;  // "***" when the fit failed
    const char* beta_mle;
    const char* err_alpha;
    const char* err_beta;
    double error_below;
  };
  const RunSettings defaults;
  const Case cases[] = {
      {"six regions", kSix, defaults, 1, 6, "4.087291", "17.286048",
       "6.706688", "28.030148", "", "", 1e-7},
      {"five regions", kFive, defaults, 1, 6, "3.241812", "18.251995",
       "5.269712", "29.226411", "0.000000", "0.000000", 0.00001},
      {"negative start", kNegative, defaults, 0, 0, "-0.028919", "-0.057839",
       "***", "***", "-0.034568", "-0.069391", 0.0},
      {"four regions", kFour, defaults, 0, 0, "-0.042683", "-0.042683",
       "***", "***", "-0.055065", "-0.055065", 0.0},
      {"negative limit", kSix, Settings(0.00001, -3, -1.0, -1.0), 0, 0,
       "4.087291", "17.286048", "***", "***", "9999.000000", "9999.000000", 0.0},
      {"eps 9999", kSix, Settings(9999.0, 20, -1.0, -1.0), 1, 0, "4.087291",
       "17.286048", "4.087291", "17.286048", "9999.000000", "9999.000000", 0.0},
      // No step is made, so the negative start is the result as it stands.
      {"eps 9999 negative start", kNegative, Settings(9999.0, 20, -1.0, -1.0),
       1, 0, "-0.028919", "-0.057839", "-0.028919", "-0.057839",
       "9999.000000", "9999.000000", 0.0},
      // No correction is ever at or below a negative Eps: the fit runs to
      // the limit although it has long reached the optimum.
      {"negative eps", kSix, Settings(-0.00001, 20, -1.0, -1.0), 0, 20,
       "4.087291", "17.286048", "***", "***", "", "", 1e-7},
      {"eps minus infinity", kSix, Settings(-kInf, 20, -1.0, -1.0), 0, 20,
       "4.087291", "17.286048", "***", "***", "", "", 1e-7},
      {"negative eps, negative start", kNegative,
       Settings(-1.0, 20, -1.0, -1.0), 0, 0, "-0.028919", "-0.057839", "***",
       "***", "-0.034568", "-0.069391", 0.0},
      // 0.0 is not above 0.0: as if not given.
      {"zero inits", kSix, Settings(0.00001, 20, 0.0, 0.0), 1, 6, "4.087291",
       "17.286048", "6.706688", "28.030148", "", "", 1e-7},
      {"minus infinite inits", kSix, Settings(0.00001, 20, -kInf, -kInf), 1, 6,
       "4.087291", "17.286048", "6.706688", "28.030148", "", "", 1e-7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GroupSummary s = Fit(c.counts, c.settings);
    EXPECT_EQ(s.Mle.has_value(), c.converged == 1);
    EXPECT_EQ(s.Iterations, c.iterations);
    EXPECT_EQ(FormatFixed6(s.AlphaStart), c.alpha_start);
    EXPECT_EQ(FormatFixed6(s.BetaStart), c.beta_start);
    EXPECT_EQ(Shown(MleAlpha(s)), c.alpha_mle);
    EXPECT_EQ(Shown(MleBeta(s)), c.beta_mle);
    if (c.error_below > 0.0) {
      EXPECT_GE(s.ErrAlpha, 0.0);
      EXPECT_LT(s.ErrAlpha, c.error_below);
      EXPECT_GE(s.ErrBeta, 0.0);
      EXPECT_LT(s.ErrBeta, c.error_below);
    }
    if (c.err_alpha[0] != '\0') {
      EXPECT_EQ(FormatFixed6(s.ErrAlpha), c.err_alpha);
      EXPECT_EQ(FormatFixed6(s.ErrBeta), c.err_beta);
    }
  }
}

// The two choices of starting value are independent and use the user's
// value exactly; the moment estimators themselves do not change.
TEST(FitMle, StartingValuesAreChosenOneByOne) {
  GroupWorkspace workspace = MakeGroup(kSix);
  ComputeMoments(&workspace);
  const double alpha_me = workspace.Summary.AlphaMe;
  const double beta_me = workspace.Summary.BetaMe;
  FitMle(Settings(0.00001, 20, 12.3, -1.0), false, &workspace);
  EXPECT_EQ(workspace.Summary.AlphaStart, 12.3);
  EXPECT_EQ(workspace.Summary.BetaStart, beta_me);
  FitMle(Settings(0.00001, 20, 0.0, 1e-300), false, &workspace);
  EXPECT_EQ(workspace.Summary.AlphaStart, alpha_me);
  EXPECT_EQ(workspace.Summary.BetaStart, 1e-300);
  EXPECT_EQ(workspace.Summary.AlphaMe, alpha_me);
  EXPECT_EQ(workspace.Summary.BetaMe, beta_me);
}

// Newton-Raphson converges only near the optimum: from the user's values
// the six regions' fit may run away. Expected outcomes come from an
// independent run of the same iteration in Python, each step's sums and
// corrections exact rationals (fractions) at the current point, the new
// point then rounded to a double.
TEST(FitMle, UserStartingValues) {
  struct Case {
    double alpha_init, beta_init;
    int converged;
    int iterations;
    double alpha_mle, beta_mle;  // when converged
    double err_alpha, err_beta;  // to 1e-4 relative
  };
  const Case cases[] = {
      // The user's Alpha with the moment Beta, and the reverse: both climb
      // away and reach the limit with corrections in the millions.
      {12.3, -1.0, 0, 20, 0.0, 0.0, 14361198.025, 26579738.752},
      {-1.0, 40.0, 0, 20, 0.0, 0.0, 8583498.405, 75521995.614},
      // The first step overshoots below 0: signed corrections, no step.
      {12.3, 50.0, 0, 0, 0.0, 0.0, -33.629088618, -132.825172217},
      // Closer starts reach the documented optimum.
      {6.0, 25.0, 1, 4, 6.706688, 28.030148, 1.8703675e-6, 7.7864189e-6},
      {8.0, 30.0, 1, 7, 6.706688, 28.030148, 0.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "from " << c.alpha_init << ", "
                                      << c.beta_init);
    const GroupSummary s =
        Fit(kSix, Settings(0.00001, 20, c.alpha_init, c.beta_init));
    EXPECT_EQ(s.Mle.has_value(), c.converged == 1);
    EXPECT_EQ(s.Iterations, c.iterations);
    if (c.converged == 1 && s.Mle) {
      EXPECT_EQ(FormatFixed6(s.Mle->Alpha), FormatFixed6(c.alpha_mle));
      EXPECT_EQ(FormatFixed6(s.Mle->Beta), FormatFixed6(c.beta_mle));
    }
    EXPECT_NEAR(s.ErrAlpha, c.err_alpha, std::fabs(c.err_alpha) * 1e-4 + 1e-9);
    EXPECT_NEAR(s.ErrBeta, c.err_beta, std::fabs(c.err_beta) * 1e-4 + 1e-9);
  }
}

// Two regions, 1 of 10 and 3 of 10: the first step goes from the moment
// estimators (1.4, 5.6) to (2.198762, 8.808100) (exact rational step), every
// later step raises both again, and the limit ends the fit after 20 steps
// with corrections in the thousands.
TEST(FitMle, TwoRegionsClimbUntilTheLimit) {
  GroupSummary summary;
  const auto points = RecordFit(kTwo, RunSettings(), &summary);
  ASSERT_EQ(points.size(), 20u);
  EXPECT_EQ(FormatFixed6(points[0].first), "1.400000");
  EXPECT_EQ(FormatFixed6(points[0].second), "5.600000");
  EXPECT_EQ(FormatFixed6(points[1].first), "2.198762");
  EXPECT_EQ(FormatFixed6(points[1].second), "8.808100");
  for (std::size_t i = 1; i < points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_GT(points[i].first, points[i - 1].first);
    EXPECT_GT(points[i].second, points[i - 1].second);
  }
  EXPECT_FALSE(summary.Mle);
  EXPECT_EQ(summary.Iterations, 20);
  EXPECT_GE(summary.ErrAlpha, 1000.0);
  EXPECT_LT(summary.ErrAlpha, 10000.0);
  EXPECT_GE(summary.ErrBeta, 1000.0);
  EXPECT_LT(summary.ErrBeta, 10000.0);
}

// A region with Data1 0 adds no Alpha terms and one with Data1 >= Data2 no
// Beta terms (5 of 4 included). The first step from (2, 3), as an exact
// rational with the empty inner sums left out, ends at
// (3.969128162960481, 5.362976997491968).
TEST(FitMle, EmptyInnerSumsAddNothing) {
  GroupSummary summary;
  const auto points = RecordFit({{0, 5}, {3, 3}, {5, 4}, {2, 6}},
                                Settings(0.00001, 2, 2.0, 3.0), &summary);
  ASSERT_EQ(points.size(), 2u);
  EXPECT_EQ(points[0].first, 2.0);
  EXPECT_EQ(points[0].second, 3.0);
  EXPECT_NEAR(points[1].first, 3.969128162960481, 1e-12);
  EXPECT_NEAR(points[1].second, 5.362976997491968, 1e-12);
}

const Counts kThree = {{40, 90}, {3, 70}, {55, 60}};

// Fits from `start` with a tolerance never met and limits of 20,000,000
// and 2^31 - 1, where the steps of `kernel` fall into a cycle of one or two
// points within 200 steps. From there every step of the plain loop repeats
// the cycle, so its outcome depends on the limit only through the limit's
// parity: the fit must end as the plain loop ends at 200 or 201 steps
// (with the limit as its count), after no more than 200 steps of its own.
void ExpectCycleCutShort(const StepSumsFunction& kernel, const GroupSummary& start,
                         double alpha_init, double beta_init) {
  for (const int limit : {20000000, 2147483647}) {
    SCOPED_TRACE(limit);
    GroupSummary expected = start;
    PlainFit(Settings(-1.0, 200 + limit % 2, alpha_init, beta_init), kernel, &expected);
    ASSERT_FALSE(expected.Mle);
    ASSERT_GE(expected.Iterations, 200);
    expected.Iterations = limit;
    // Past 200 steps the sums are NaN, which fails the fit at once: a fit
    // that has not seen the cycle ends there, and differs.
    int steps = 0;
    GroupSummary actual = start;
    FitMleWith(
        Settings(-1.0, limit, alpha_init, beta_init),
        [&](double alpha, double beta) {
          StepSums sums = kernel(alpha, beta);
          if (++steps > 200) sums.GradAlpha = kNaN;
          return sums;
        },
        &actual);
    ExpectSameFit(expected, actual);
  }
}

TEST(FitMle, CutsARepeatingCycleShort) {
  // Both fits settle on a point that steps to itself. (Not every group
  // does: the six regions' iterates keep moving in their last bits, and
  // their fit runs to the limit as the plain loop does.)
  for (const Counts& counts : {kFive, kThree}) {
    SCOPED_TRACE(::testing::Message() << "from " << counts[0].first << " of "
                                      << counts[0].second);
    GroupWorkspace workspace = MakeGroup(counts);
    ComputeMoments(&workspace);
    StepPlan plan = MakeStepPlan(workspace.Regions, false);
    ExpectCycleCutShort(
        [&plan](double alpha, double beta) { return ComputeStepSums(plan, alpha, beta); },
        workspace.Summary, -1.0, -1.0);
  }
  // Two points, with corrections that differ: with Hessian -I the step is
  // the gradient. From Alpha 1 it is 0.75 ulp, which rounds to 1 + 2^-52;
  // from there -1.125 ulp, which rounds back to 1. The last correction is
  // the first after an odd number of steps, the second after an even one.
  constexpr double kUlp = 0x1p-52;
  const StepSumsFunction two_points = [](double alpha, double) {
    StepSums sums;
    sums.GradAlpha = alpha == 1.0 ? 0.75 * kUlp : -1.125 * kUlp;
    sums.HessAlpha = -1.0;
    sums.HessBeta = -1.0;
    return sums;
  };
  GroupSummary odd;
  PlainFit(Settings(-1.0, 201, 1.0, 1.0), two_points, &odd);
  EXPECT_EQ(odd.ErrAlpha, 0.75 * kUlp);
  GroupSummary even;
  PlainFit(Settings(-1.0, 200, 1.0, 1.0), two_points, &even);
  EXPECT_EQ(even.ErrAlpha, 1.125 * kUlp);
  ExpectCycleCutShort(two_points, GroupSummary(), 1.0, 1.0);
}

// A fake kernel with a constant gradient (1, 1) and Hessian -I: every step
// adds exactly 1 to both parameters, except at call `bad_call` (from 0),
// which returns the sums `bad` instead.
struct ScriptedKernel {
  int bad_call = -1;
  StepSums bad;
  int calls = 0;
};

StepSums Sums(double ga, double gb, double haa, double hbb, double hab) {
  StepSums s;
  s.GradAlpha = ga;
  s.GradBeta = gb;
  s.HessAlpha = haa;
  s.HessBeta = hbb;
  s.HessMixed = hab;
  return s;
}

StepSumsFunction Scripted(ScriptedKernel* kernel) {
  return [kernel](double, double) {
    const int call = kernel->calls++;
    return call == kernel->bad_call ? kernel->bad : Sums(1.0, 1.0, -1.0, -1.0, 0.0);
  };
}

// A step without a defined result ends the fit as failed at once: the steps
// before it count, and the corrections stay as they were (9999.0 before the
// first step). No infinity or NaN reaches the summary.
TEST(FitMleWith, UndefinedStepEndsTheFit) {
  struct Case {
    const char* name;
    StepSums bad;
    double alpha_start;
  };
  const Case kinds[] = {
      {"determinant zero", Sums(1.0, 1.0, -1.0, -1.0, -1.0), 1.0},
      {"determinant underflows", Sums(1.0, 1.0, -1e-200, -1e-200, 0.0), 1.0},
      {"determinant overflows", Sums(1.0, 1.0, -1e200, -1e200, 0.0), 1.0},
      {"gradient NaN", Sums(kNaN, 1.0, -1.0, -1.0, 0.0), 1.0},
      {"gradient minus infinity", Sums(1.0, -kInf, -1.0, -1.0, 0.0), 1.0},
      {"Hessian infinite", Sums(1.0, 1.0, -1.0, -1.0, kInf), 1.0},
      {"Hessian NaN", Sums(1.0, 1.0, -1.0, kNaN, 0.0), 1.0},
      // det 1e-10: dA = 1e308 / 1e-10 overflows.
      {"alpha correction overflows", Sums(1e308, 1.0, -1e-10, -1.0, 0.0), 1.0},
      {"beta correction overflows", Sums(1.0, 1e308, -1.0, -1e-10, 0.0), 1.0},
      // dA = 1e308 is finite, but 1e308 + 1e308 is not.
      {"new alpha overflows", Sums(1e308, 1.0, -1.0, -1.0, 0.0), 1e308},
  };
  for (const Case& kind : kinds) {
    for (const int bad_call : {0, 3}) {
      SCOPED_TRACE(std::string(kind.name) + " at call " +
                   std::to_string(bad_call));
      ScriptedKernel kernel;
      kernel.bad_call = bad_call;
      kernel.bad = kind.bad;
      GroupSummary summary;
      FitMleWith(Settings(0.00001, 20, kind.alpha_start, 1.0), Scripted(&kernel), &summary);
      EXPECT_EQ(kernel.calls, bad_call + 1);
      EXPECT_FALSE(summary.Mle);
      EXPECT_EQ(summary.Iterations, bad_call);
      const double kept = bad_call == 0 ? 9999.0 : 1.0;
      EXPECT_EQ(summary.ErrAlpha, kept);
      EXPECT_EQ(summary.ErrBeta, kept);
      EXPECT_EQ(summary.AlphaStart, kind.alpha_start);
    }
  }
}

// The fake's fits that end without an undefined step: at the limit, as
// its corrections of 1 never reach Eps; at a correction equal to Eps, which
// is small enough even on the last allowed step; and with Eps 0, met only
// by corrections that are exactly 0, here from a zero gradient at call 2.
TEST(FitMleWith, FakeKernelFitsEnd) {
  struct Case {
    const char* name;
    double eps;
    int limit;
    int zero_call;  // the call that returns a zero gradient, -1 for none
    int calls;
    int converged;
    int iterations;
    double mle;  // both parameters of the ML prior, when it converged
    double err;  // both corrections
  };
  const Case cases[] = {
      {"limit", 0.00001, 5, -1, 5, 0, 5, 0.0, 1.0},
      // Only the start is evaluated; the fit fails although its step was fine.
      {"limit one", 0.00001, 1, -1, 1, 0, 1, 0.0, 1.0},
      {"correction equal to Eps", 1.0, 1, -1, 1, 1, 1, 2.0, 1.0},
      {"Eps 0", 0.0, 20, 2, 3, 1, 3, 3.0, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedKernel kernel;
    kernel.bad_call = c.zero_call;
    kernel.bad = Sums(0.0, 0.0, -1.0, -1.0, 0.0);
    GroupSummary summary;
    FitMleWith(Settings(c.eps, c.limit, 1.0, 1.0), Scripted(&kernel), &summary);
    EXPECT_EQ(kernel.calls, c.calls);
    ASSERT_EQ(summary.Mle.has_value(), c.converged == 1);
    EXPECT_EQ(summary.Iterations, c.iterations);
    if (summary.Mle) {
      EXPECT_EQ(summary.Mle->Alpha, c.mle);
      EXPECT_EQ(summary.Mle->Beta, c.mle);
    }
    EXPECT_EQ(summary.ErrAlpha, c.err);
    EXPECT_EQ(summary.ErrBeta, c.err);
  }
}

}  // namespace
}  // namespace propsmooth
