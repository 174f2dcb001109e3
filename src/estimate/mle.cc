#include "estimate/mle.h"

#include <cmath>
#include <limits>

#include "estimate/mle_internal.h"
#include "estimate/step_sums.h"

namespace propsmooth {
namespace {

bool AllFinite(const StepSums& s) {
  return std::isfinite(s.GradAlpha) && std::isfinite(s.GradBeta) &&
         std::isfinite(s.HessAlpha) && std::isfinite(s.HessBeta) &&
         std::isfinite(s.HessMixed);
}

template <typename Row>
void FitOn(const RunSettings& settings, bool allow_threads, std::span<const Row> rows,
           GroupSummary* summary) {
  StepPlan plan = MakeStepPlan(rows, allow_threads);
  FitMleWith(
      settings, [&plan](double alpha, double beta) { return ComputeStepSums(plan, alpha, beta); },
      summary);
}

}  // namespace

void FitMleWith(const RunSettings& settings, const StepSumsFunction& step_sums,
                GroupSummary* summary) {
  double alpha = settings.AlphaInit > 0.0 ? settings.AlphaInit : summary->AlphaMe;
  double beta = settings.BetaInit > 0.0 ? settings.BetaInit : summary->BetaMe;
  summary->AlphaStart = alpha;
  summary->BetaStart = beta;

  double d_alpha = 9999.0;
  double d_beta = 9999.0;
  std::int32_t iterations = 0;
  bool converged = true;
  // The points one and two steps back (NaN: none yet, equal to nothing)
  // and the correction of the step into the first of them.
  double back1_alpha = alpha;
  double back1_beta = beta;
  double back2_alpha = std::numeric_limits<double>::quiet_NaN();
  double back2_beta = back2_alpha;
  double back1_d_alpha = d_alpha;
  double back1_d_beta = d_beta;
  while (d_alpha > settings.Eps || d_beta > settings.Eps) {
    if (iterations >= settings.IterationLimit) {
      converged = false;
      break;
    }
    const StepSums s = step_sums(alpha, beta);
    // A zero denominator in a term shows here as an infinite sum.
    if (!AllFinite(s)) {
      converged = false;
      break;
    }
    const double det = s.HessAlpha * s.HessBeta - s.HessMixed * s.HessMixed;
    if (det == 0.0 || !std::isfinite(det)) {
      converged = false;
      break;
    }
    const double step_alpha = -(s.HessBeta * s.GradAlpha - s.HessMixed * s.GradBeta) / det;
    const double step_beta = (s.HessMixed * s.GradAlpha - s.HessAlpha * s.GradBeta) / det;
    const double next_alpha = alpha + step_alpha;
    const double next_beta = beta + step_beta;
    // A step past the double range has no defined result either.
    if (!std::isfinite(step_alpha) || !std::isfinite(step_beta) ||
        !std::isfinite(next_alpha) || !std::isfinite(next_beta)) {
      converged = false;
      break;
    }
    alpha = next_alpha;
    beta = next_beta;
    d_alpha = step_alpha;
    d_beta = step_beta;
    if (alpha <= 0.0 || beta <= 0.0) {
      // The signed corrections of the failing step stay, uncounted.
      converged = false;
      break;
    }
    d_alpha = std::fabs(d_alpha);
    d_beta = std::fabs(d_beta);
    ++iterations;
    // A step is a function of the point alone. Back at the point of one or
    // two steps before, with the loop test still passing, the fit repeats
    // that cycle until the iteration limit stops it (a tolerance below 0
    // does so at every fixed point): end it now as it would end then, with
    // the correction of the step the limit falls on, instead of spending up
    // to 2^31 steps.
    const bool same_as_back1 = alpha == back1_alpha && beta == back1_beta;
    const bool same_as_back2 = alpha == back2_alpha && beta == back2_beta;
    if ((same_as_back1 || same_as_back2) &&
        (d_alpha > settings.Eps || d_beta > settings.Eps)) {
      if (!same_as_back1 && (settings.IterationLimit - iterations) % 2 != 0) {
        d_alpha = back1_d_alpha;
        d_beta = back1_d_beta;
      }
      iterations = settings.IterationLimit;
      converged = false;
      break;
    }
    back2_alpha = back1_alpha;
    back2_beta = back1_beta;
    back1_alpha = alpha;
    back1_beta = beta;
    back1_d_alpha = d_alpha;
    back1_d_beta = d_beta;
  }

  summary->Iterations = iterations;
  summary->Mle = converged ? std::optional(BetaPrior{alpha, beta}) : std::nullopt;
  summary->ErrAlpha = d_alpha;
  summary->ErrBeta = d_beta;
}

void FitMle(const RunSettings& settings, bool allow_threads,
            GroupWorkspace* workspace) {
  FitMle(settings, allow_threads, std::span<const Region>(workspace->Regions),
         &workspace->Summary);
}

void FitMle(const RunSettings& settings, bool allow_threads, std::span<const Region> regions,
            GroupSummary* summary) {
  FitOn(settings, allow_threads, regions, summary);
}

void FitMle(const RunSettings& settings, bool allow_threads,
            std::span<const RegionRecord> records, GroupSummary* summary) {
  FitOn(settings, allow_threads, records, summary);
}

void FitMleOfHistograms(const RunSettings& settings, const CountHistogram& success,
                        const CountHistogram& failure, const CountHistogram& size,
                        GroupSummary* summary) {
  const CountHistogram x = ClampedAtZero(success);
  const CountHistogram n_minus_x = ClampedAtZero(failure);
  const CountHistogram n = ClampedAtZero(size);
  InnerSums scratch;
  FitMleWith(
      settings,
      [&](double alpha, double beta) {
        return ComputeHistogramStepSums(x, n_minus_x, n, alpha, beta, &scratch);
      },
      summary);
}

}  // namespace propsmooth
