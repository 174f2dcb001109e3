// The R package's entry points into the statistics library: the same core
// as propsmooth-report and the Python module, so that the numbers are the
// programs' to the last bit. The R code checks and names the data before
// they get here; what arrives unchecked all the same is refused with an R
// error (Rcpp turns every C++ exception into one at the boundary), never
// with an end of the session.
#include <Rcpp.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "estimate/eb.h"
#include "estimate/simd_targets.h"
#include "input/grouping.h"
#include "stats/beta_binomial_likelihood.h"
#include "stats/equal_proportions.h"
#include "stats/group_fit.h"
#include "stats/prior_fit.h"
#include "stats/record_estimates.h"
#include "stats/record_figures.h"
#include "stats/record_rule.h"

// Makevars names -fno-fast-math last on every compile line; should a
// compiler take another road, the numbers must not change silently.
#ifdef __FAST_MATH__
#error "propsmooth must not be compiled with -ffast-math"
#endif

namespace {

using namespace propsmooth;

std::span<const std::int32_t> Values(const Rcpp::IntegerVector& values) {
  return {values.begin(), static_cast<std::size_t>(values.size())};
}

// The rows R's checks let through, judged again: a crash of the session is
// never the price of a missed check.
void CheckRecords(const Rcpp::IntegerVector& x, const Rcpp::IntegerVector& n) {
  if (x.size() != n.size()) Rcpp::stop("x and n differ in length");
  if (const std::optional<BadRecord> bad = FirstBadRecord(Values(x), Values(n))) {
    Rcpp::stop("row " + std::to_string(bad->Row + 1) + " breaks the rule " +
               std::string(RecordRuleText()) + ": " + std::string(RecordFaultText(bad->Fault)));
  }
}

unsigned Workers(int threads) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return threads <= 0 ? cores : std::min(static_cast<unsigned>(threads), cores);
}

RunSettings FitSettings(double alpha, double beta, double eps, int max_iter) {
  RunSettings settings;
  // NA from R: no start given, as propsmooth without -A/-B.
  settings.AlphaInit = std::isnan(alpha) ? -1.0 : alpha;
  settings.BetaInit = std::isnan(beta) ? -1.0 : beta;
  settings.Eps = eps;
  settings.IterationLimit = max_iter;
  return settings;
}

double OrNa(const std::optional<double>& value) { return value.value_or(NA_REAL); }

// The covariance of Alpha and Beta at the prior: the inverse of minus the
// Hessian in (logit mu, log(Alpha + Beta)), the coordinates the standard
// errors are taken in, carried over by the delta method as they are; NA
// where the fit has no standard errors.
Rcpp::NumericMatrix Covariance(const std::vector<Region>& regions, const PriorFit& fit) {
  Rcpp::NumericMatrix covariance(2, 2);
  std::fill(covariance.begin(), covariance.end(), NA_REAL);
  if (!fit.Prior || !fit.SeAlpha || !fit.SeBeta) return covariance;
  const double alpha = fit.Prior->Alpha;
  const double beta = fit.Prior->Beta;
  const ModelPoint point = PointOfPrior(alpha, beta);
  const LocalShape shape =
      ShapeInLogitLogSize(EvaluateLikelihood(MakeBetaBinomialData(regions), point), point);
  const double m00 = -shape.Hessian[0][0];
  const double m01 = -shape.Hessian[0][1];
  const double m11 = -shape.Hessian[1][1];
  const double det = m00 * m11 - m01 * m01;
  const double var_logit = m11 / det;
  const double var_size = m00 / det;
  const double cov = -m01 / det;
  const double spread = (alpha + beta) * point.Mean * point.Complement;
  // Rows of the Jacobian: d(Alpha, Beta) / d(logit mu, log size).
  const std::array<std::array<double, 2>, 2> jacobian = {{{spread, alpha}, {-spread, beta}}};
  for (std::size_t i = 0; i < 2; ++i) {
    for (std::size_t j = 0; j < 2; ++j) {
      const auto& a = jacobian[i];
      const auto& b = jacobian[j];
      covariance(i, j) = a[0] * b[0] * var_logit + (a[0] * b[1] + a[1] * b[0]) * cov +
                         a[1] * b[1] * var_size;
    }
  }
  // The diagonal as the standard errors have it, so that the two agree.
  covariance(0, 0) = *fit.SeAlpha * *fit.SeAlpha;
  covariance(1, 1) = *fit.SeBeta * *fit.SeBeta;
  return covariance;
}

}  // namespace

// [[Rcpp::export(.first_bad_record)]]
Rcpp::List FirstBadRecordR(Rcpp::NumericVector x, Rcpp::NumericVector n) {
  // Whole numbers within 64 bits: R's checks have made sure of it.
  std::vector<std::int64_t> counts(x.begin(), x.end());
  std::vector<std::int64_t> sizes(n.begin(), n.end());
  if (counts.size() != sizes.size()) Rcpp::stop("x and n differ in length");
  const std::optional<BadRecord> bad = FirstBadRecord(counts, sizes);
  if (!bad) return Rcpp::List();
  const char* fault = bad->Fault == RecordFault::kCountAboveSize    ? "count_above_size"
                      : bad->Fault == RecordFault::kCountBelowLeast ? "count_below_least"
                                                                     : "size_below_least";
  return Rcpp::List::create(Rcpp::Named("row") = static_cast<double>(bad->Row) + 1.0,
                            Rcpp::Named("fault") = fault);
}

// [[Rcpp::export(.fit)]]
Rcpp::List FitR(Rcpp::IntegerVector x, Rcpp::IntegerVector n, double alpha, double beta,
                double eps, int max_iter, int threads) {
  CheckRecords(x, n);
  if (x.size() == 0) Rcpp::stop("no regions to fit a prior to");
  const RunSettings settings = FitSettings(alpha, beta, eps, max_iter);
  GroupWorkspace workspace;
  workspace.Regions.resize(static_cast<std::size_t>(x.size()));
  for (std::size_t i = 0; i < workspace.Regions.size(); ++i) {
    workspace.Regions[i].Data1 = x[static_cast<R_xlen_t>(i)];
    workspace.Regions[i].Data2 = n[static_cast<R_xlen_t>(i)];
  }
  EstimateGroup(settings, threads != 1, &workspace);
  SettleEqualProportions(ProportionsAllEqual(workspace.Regions), &workspace.Summary);
  const PriorFit fit = FitPrior(workspace.Regions, workspace.Summary, settings, false);
  const GroupSummary& summary = workspace.Summary;
  return Rcpp::List::create(
      Rcpp::Named("alpha") = fit.Prior ? fit.Prior->Alpha : NA_REAL,
      Rcpp::Named("beta") = fit.Prior ? fit.Prior->Beta : NA_REAL,
      Rcpp::Named("se_alpha") = OrNa(fit.SeAlpha), Rcpp::Named("se_beta") = OrNa(fit.SeBeta),
      Rcpp::Named("vcov") = Covariance(workspace.Regions, fit),
      Rcpp::Named("loglik") = OrNa(fit.LogLik),
      Rcpp::Named("fit") = FitLabelText(fit.Label),
      Rcpp::Named("boundary") = FitBoundaryText(fit.Boundary),
      Rcpp::Named("iterations") = fit.Iterations, Rcpp::Named("mean") = summary.Mean,
      Rcpp::Named("variance") = summary.Variance, Rcpp::Named("alpha_me") = summary.AlphaMe,
      Rcpp::Named("beta_me") = summary.BetaMe, Rcpp::Named("err_alpha") = summary.ErrAlpha,
      Rcpp::Named("err_beta") = summary.ErrBeta);
}

// [[Rcpp::export(.smooth)]]
Rcpp::List SmoothR(Rcpp::IntegerVector x, Rcpp::IntegerVector n, Rcpp::IntegerVector units,
                   double level, double threshold, double fdr, double alpha, double beta,
                   double eps, int max_iter, int threads) {
  CheckRecords(x, n);
  const auto rows = static_cast<std::size_t>(x.size());
  // No groups: one of all rows, as propsmooth-report without --group.
  const bool grouped = units.size() != 0;
  if (grouped && static_cast<std::size_t>(units.size()) != rows) {
    Rcpp::stop("the group codes differ in length from x");
  }
  if (rows > static_cast<std::size_t>(INT32_MAX)) Rcpp::stop("more than 2147483647 rows");
  EstimateSettings settings;
  settings.Fit = FitSettings(alpha, beta, eps, max_iter);
  settings.Level = level;
  if (!std::isnan(threshold)) settings.Threshold = threshold;
  settings.Fdr = fdr;

  RecordTable records(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    const auto r = static_cast<R_xlen_t>(i);
    if (grouped && units[r] < 0) Rcpp::stop("group codes must be 0 or more");
    records[i].Unit = grouped ? units[r] : -1;
    records[i].Code = static_cast<std::int32_t>(i + 1);
    records[i].Data1 = x[r];
    records[i].Data2 = n[r];
  }
  EstimatedGroups data;
  data.Plan = PlanGroups(records);
  EstimateParts parts;
  parts.Fits = true;
  parts.Posteriors = true;
  const RecordEstimates estimates =
      EstimateRecords(settings, parts, Workers(threads), StageProgress(), &records, &data);

  const auto length = static_cast<R_xlen_t>(rows);
  Rcpp::NumericVector raw(length), eb_me(length), eb(length), lower(length), upper(length),
      p_exceed(length), pep(length), q_value(length);
  Rcpp::CharacterVector prior(length);
  Rcpp::LogicalVector discovery(length);
  for (std::size_t i = 0; i < rows; ++i) {
    const auto r = static_cast<R_xlen_t>(i);
    const RecordFigures row = FiguresOf(
        records[i],
        FigureSourcesOf(records, data, estimates.Posteriors, i, settings.Threshold.has_value()),
        estimates.Posteriors[i]);
    // NaN is the library's empty cell; R's is NA.
    const auto cell = [](double value) { return std::isnan(value) ? NA_REAL : value; };
    raw[r] = cell(row.Raw);
    eb_me[r] = cell(row.EbMe);
    eb[r] = cell(row.Eb);
    lower[r] = cell(row.Lower);
    upper[r] = cell(row.Upper);
    p_exceed[r] = cell(row.PExceed);
    pep[r] = cell(row.Pep);
    q_value[r] = cell(row.QValue);
    prior[r] = row.PriorName.empty() ? Rcpp::String(NA_STRING)
                                     : Rcpp::String(std::string(row.PriorName));
    discovery[r] = row.Discovery ? static_cast<int>(*row.Discovery) : NA_LOGICAL;
  }
  return Rcpp::List::create(Rcpp::Named("raw") = raw, Rcpp::Named("eb_me") = eb_me,
                            Rcpp::Named("eb") = eb, Rcpp::Named("lower") = lower,
                            Rcpp::Named("upper") = upper, Rcpp::Named("prior") = prior,
                            Rcpp::Named("p_exceed") = p_exceed, Rcpp::Named("pep") = pep,
                            Rcpp::Named("q_value") = q_value,
                            Rcpp::Named("discovery") = discovery);
}

// [[Rcpp::export(.cap_simd)]]
void CapSimdR() {
  // As the programs do first thing: before any thread runs the kernel.
  if (std::string error; !CapSimdTargetsFromEnvironment(&error)) Rcpp::stop(error);
}

// [[Rcpp::export]]
std::string simd_target() { return ActiveSimdTarget(); }

// [[Rcpp::export(.parse_doubles)]]
Rcpp::NumericVector ParseDoublesR(Rcpp::CharacterVector texts) {
  // Correctly rounded, as R's own reader is not guaranteed to be: the tests
  // compare the programs' shortest round-trip numbers bit for bit.
  Rcpp::NumericVector values(texts.size());
  for (R_xlen_t i = 0; i < texts.size(); ++i) {
    if (Rcpp::CharacterVector::is_na(texts[i])) {
      values[i] = NA_REAL;
      continue;
    }
    const std::string text(texts[i]);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
      values[i] = NA_REAL;
    } else {
      values[i] = value;
    }
  }
  return values;
}
