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
#include <functional>
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
#include "stats/fit_standard_errors.h"
#include "stats/group_fit.h"
#include "stats/poisson_gamma_likelihood.h"
#include "stats/prior_fit.h"
#include "stats/rate_estimates.h"
#include "stats/rate_fit.h"
#include "stats/rate_moments.h"
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

// The covariance of Alpha and Beta at the prior, the library's own from the
// likelihood's shape at it in the fit's coordinates; NA where the fit has
// no standard errors.
Rcpp::NumericMatrix CovarianceAt(const PriorFit& fit, const LocalShape& shape,
                                 const ParameterJacobian& jacobian) {
  Rcpp::NumericMatrix matrix(2, 2);
  std::fill(matrix.begin(), matrix.end(), NA_REAL);
  const std::optional<FitCovariance> covariance = CovarianceWith(shape, jacobian);
  if (!covariance || !fit.SeAlpha || !fit.SeBeta) return matrix;
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      matrix(i, j) = covariance->Parameters[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    }
  }
  // The shape is taken again at Alpha and Beta rather than at the search's
  // last point: the diagonal as the standard errors have it, so that the
  // two agree to the bit.
  matrix(0, 0) = *fit.SeAlpha * *fit.SeAlpha;
  matrix(1, 1) = *fit.SeBeta * *fit.SeBeta;
  return matrix;
}

Rcpp::NumericMatrix Covariance(const std::vector<Region>& regions, const PriorFit& fit) {
  if (!fit.Prior) return CovarianceAt(fit, LocalShape(), {});
  const double alpha = fit.Prior->Alpha;
  const double beta = fit.Prior->Beta;
  const ModelPoint point = PointOfPrior(alpha, beta);
  const LocalShape shape =
      ShapeInLogitLogSize(EvaluateLikelihood(MakeBetaBinomialData(regions), point), point);
  return CovarianceAt(fit, shape, BetaParameterJacobian(point, alpha + beta));
}

Rcpp::NumericMatrix RateCovariance(const PoissonGammaData& data, const PriorFit& fit) {
  if (!fit.Prior) return CovarianceAt(fit, LocalShape(), {});
  const double alpha = fit.Prior->Alpha;
  const double beta = fit.Prior->Beta;
  const LocalShape shape = RateShapeAt(data, std::log(alpha) - std::log(beta), std::log(alpha));
  return CovarianceAt(fit, shape, GammaParameterJacobian(alpha, beta));
}

// The rows of rates R's checks let through, judged again as the reader
// judges a file's: a count of 0 or more, an expected value above 0 and
// finite.
void CheckRates(const Rcpp::IntegerVector& x, const Rcpp::NumericVector& expected) {
  if (x.size() != expected.size()) Rcpp::stop("x and expected differ in length");
  for (R_xlen_t i = 0; i < x.size(); ++i) {
    if (x[i] == NA_INTEGER || x[i] < 0) {
      Rcpp::stop("row " + std::to_string(i + 1) + ": a count must be a whole number >= 0");
    }
    if (!IsPositive(expected[i])) {
      Rcpp::stop("row " + std::to_string(i + 1) +
                 ": an expected count or exposure must be a finite number > 0");
    }
  }
}

std::span<const double> Values(const Rcpp::NumericVector& values) {
  return {values.begin(), static_cast<std::size_t>(values.size())};
}

// The groups of the table, by code from 0 in `units` (none: one group of
// all rows), as propsmooth-report plans them.
RecordTable RecordsOf(const Rcpp::IntegerVector& x, const Rcpp::IntegerVector& units,
                      const Rcpp::IntegerVector* n) {
  const auto rows = static_cast<std::size_t>(x.size());
  const bool grouped = units.size() != 0;
  if (grouped && static_cast<std::size_t>(units.size()) != rows) {
    Rcpp::stop("the group codes differ in length from x");
  }
  if (rows > static_cast<std::size_t>(INT32_MAX)) Rcpp::stop("more than 2147483647 rows");
  RecordTable records(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    const auto r = static_cast<R_xlen_t>(i);
    if (grouped && (units[r] == NA_INTEGER || units[r] < 0)) {
      Rcpp::stop("group codes must be 0 or more");
    }
    records[i].Unit = grouped ? units[r] : -1;
    records[i].Code = static_cast<std::int32_t>(i + 1);
    records[i].Data1 = x[r];
    records[i].Data2 = n != nullptr ? (*n)[r] : 0;
  }
  return records;
}

// The figure columns of the R result, NaN (the library's empty cell) as
// NA; the rates' figures times `per`, as the CSV table writes them.
Rcpp::List FigureColumns(std::size_t rows, double per,
                         const std::function<RecordFigures(std::size_t)>& figures_of) {
  const auto length = static_cast<R_xlen_t>(rows);
  Rcpp::NumericVector raw(length), eb_me(length), eb(length), lower(length), upper(length),
      p_exceed(length), pep(length), q_value(length);
  Rcpp::CharacterVector prior(length);
  Rcpp::LogicalVector discovery(length);
  const auto cell = [](double value) { return std::isnan(value) ? NA_REAL : value; };
  const auto scaled = [per, &cell](double value) {
    return cell(per != 1.0 ? per * value : value);
  };
  for (std::size_t i = 0; i < rows; ++i) {
    const auto r = static_cast<R_xlen_t>(i);
    const RecordFigures row = figures_of(i);
    raw[r] = scaled(row.Raw);
    eb_me[r] = scaled(row.EbMe);
    eb[r] = scaled(row.Eb);
    lower[r] = scaled(row.Lower);
    upper[r] = scaled(row.Upper);
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
  EstimateSettings settings;
  settings.Fit = FitSettings(alpha, beta, eps, max_iter);
  settings.Level = level;
  if (!std::isnan(threshold)) settings.Threshold = threshold;
  settings.Fdr = fdr;
  // No groups: one of all rows, as propsmooth-report without --group.
  RecordTable records = RecordsOf(x, units, &n);
  EstimatedGroups data;
  data.Plan = PlanGroups(records);
  EstimateParts parts;
  parts.Fits = true;
  parts.Posteriors = true;
  const RecordEstimates estimates =
      EstimateRecords(settings, parts, Workers(threads), StageProgress(), &records, &data);
  return FigureColumns(rows, 1.0, [&](std::size_t i) {
    return FiguresOf(
        records[i],
        FigureSourcesOf(records, data, estimates.Posteriors, i, settings.Threshold.has_value()),
        estimates.Posteriors[i]);
  });
}

// [[Rcpp::export(.fit_rates)]]
Rcpp::List FitRatesR(Rcpp::IntegerVector x, Rcpp::NumericVector expected, double alpha,
                     double beta, int max_iter) {
  CheckRates(x, expected);
  if (x.size() == 0) Rcpp::stop("no regions to fit a prior to");
  const RateMoments moments = ComputeRateMoments(Values(x), Values(expected));
  const PoissonGammaData data = MakePoissonGammaData(Values(x), Values(expected));
  // Newton's own test of settling is fixed for rates: -E has no part here.
  const PriorFit fit = FitRatePrior(data, moments, FitSettings(alpha, beta, 1e-5, max_iter), false);
  // No gamma prior of moments where their variance is 0, as the summary has it.
  const bool moment_prior = moments.Alpha > 0.0;
  return Rcpp::List::create(
      Rcpp::Named("alpha") = fit.Prior ? fit.Prior->Alpha : NA_REAL,
      Rcpp::Named("beta") = fit.Prior ? fit.Prior->Beta : NA_REAL,
      Rcpp::Named("se_alpha") = OrNa(fit.SeAlpha), Rcpp::Named("se_beta") = OrNa(fit.SeBeta),
      Rcpp::Named("vcov") = RateCovariance(data, fit), Rcpp::Named("loglik") = OrNa(fit.LogLik),
      Rcpp::Named("fit") = FitLabelText(fit.Label),
      Rcpp::Named("boundary") = FitBoundaryText(fit.Boundary, CountModel::kPoisson),
      Rcpp::Named("iterations") = fit.Iterations, Rcpp::Named("mean") = moments.Mean,
      Rcpp::Named("variance") = moments.Variance,
      Rcpp::Named("alpha_me") = moment_prior ? moments.Alpha : NA_REAL,
      Rcpp::Named("beta_me") = moment_prior ? moments.Beta : NA_REAL);
}

// [[Rcpp::export(.smooth_rates)]]
Rcpp::List SmoothRatesR(Rcpp::IntegerVector x, Rcpp::NumericVector expected,
                        Rcpp::IntegerVector units, double level, double threshold, double fdr,
                        double per, double alpha, double beta, int max_iter, int threads) {
  CheckRates(x, expected);
  if (!IsPositive(per)) Rcpp::stop("per must be a finite number > 0");
  const RecordTable records = RecordsOf(x, units, nullptr);
  EstimateSettings settings;
  settings.Fit = FitSettings(alpha, beta, 1e-5, max_iter);
  settings.Level = level;
  // The rate itself, as --threshold over --per.
  if (!std::isnan(threshold)) settings.Threshold = threshold;
  settings.Fdr = fdr;
  const RateEstimates estimates = EstimateRates(Values(x), Values(expected), PlanGroups(records),
                                                settings, false, Workers(threads));
  return FigureColumns(records.size(), per,
                       [&](std::size_t i) { return estimates.Figures[i]; });
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
