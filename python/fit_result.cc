#include "fit_result.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace propsmooth {
namespace {

namespace py = pybind11;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

double OrNan(const std::optional<double>& value) { return value.value_or(kNan); }

}  // namespace

unsigned Workers(unsigned threads) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return threads == 0 ? cores : std::min(threads, cores);
}

RunSettings FitSettings(std::optional<double> alpha, std::optional<double> beta, double eps,
                        std::int32_t max_iter) {
  RunSettings settings;
  for (const std::optional<double>& start : {alpha, beta}) {
    if (start && (std::isnan(*start) || *start == std::numeric_limits<double>::infinity())) {
      throw py::value_error("alpha and beta must be numbers below infinity");
    }
  }
  if (std::isnan(eps)) throw py::value_error("eps must be a number, not NaN");
  settings.AlphaInit = alpha.value_or(-1.0);
  settings.BetaInit = beta.value_or(-1.0);
  settings.Eps = eps;
  settings.IterationLimit = max_iter;
  return settings;
}

py::dict FitResultDict(const GroupSummary& summary, const std::optional<PriorFit>& prior_fit) {
  py::dict result;
  result["mean"] = summary.Mean;
  result["variance"] = summary.Variance;
  result["alpha_me"] = summary.AlphaMe;
  result["beta_me"] = summary.BetaMe;
  result["err_alpha"] = summary.ErrAlpha;
  result["err_beta"] = summary.ErrBeta;
  if (!prior_fit) {
    result["alpha"] = OrNan(MleAlpha(summary));
    result["beta"] = OrNan(MleBeta(summary));
    result["iterations"] = summary.Iterations;
    result["fit"] = FitLabelText(summary.Mle ? FitLabel::kNewton : FitLabel::kFailed);
    result["boundary"] = "";
    result["se_alpha"] = kNan;
    result["se_beta"] = kNan;
    result["loglik"] = kNan;
    return result;
  }
  const std::optional<BetaPrior>& prior = prior_fit->Prior;
  result["alpha"] = prior ? prior->Alpha : kNan;
  result["beta"] = prior ? prior->Beta : kNan;
  result["iterations"] = prior_fit->Iterations;
  result["fit"] = FitLabelText(prior_fit->Label);
  result["boundary"] = FitBoundaryText(prior_fit->Boundary);
  result["se_alpha"] = OrNan(prior_fit->SeAlpha);
  result["se_beta"] = OrNan(prior_fit->SeBeta);
  result["loglik"] = OrNan(prior_fit->LogLik);
  return result;
}

}  // namespace propsmooth
