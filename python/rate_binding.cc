#include "rate_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "array_view.h"
#include "fit_result.h"
#include "input/data_file.h"
#include "input/grouping.h"
#include "stats/group_fit.h"
#include "stats/poisson_gamma_likelihood.h"
#include "stats/rate_estimates.h"
#include "stats/rate_fit.h"
#include "stats/rate_moments.h"

namespace propsmooth {
namespace {

namespace py = pybind11;


constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

struct RateRows {
  std::span<const std::int32_t> Counts;
  std::span<const double> Expected;
};

std::string Shortest(double value) {
  return py::repr(py::float_(value)).cast<std::string>();
}

// The package refuses bad rows by the caller's labels before they get
// here; this is the last guard, so that no row the reader would refuse
// reaches the estimators.
RateRows CheckedRows(const IntArray& count_array, const DoubleArray& expected_array) {
  const RateRows rows{Values(count_array, "counts"), Values(expected_array, "expected")};
  if (rows.Counts.size() != rows.Expected.size()) {
    throw py::value_error("counts has " + std::to_string(rows.Counts.size()) +
                          " values but expected has " + std::to_string(rows.Expected.size()));
  }
  if (rows.Counts.size() > kMaxRecords) {
    throw py::value_error("more than 2147483647 rows, the most one run can number");
  }
  for (std::size_t i = 0; i < rows.Counts.size(); ++i) {
    if (rows.Counts[i] < 0) {
      throw py::value_error("row " + std::to_string(i) + ": count " +
                            std::to_string(rows.Counts[i]) + " is below 0");
    }
    if (!(std::isfinite(rows.Expected[i]) && rows.Expected[i] > 0.0)) {
      throw py::value_error("row " + std::to_string(i) + ": expected value " +
                            Shortest(rows.Expected[i]) + " is not above 0 and finite");
    }
  }
  return rows;
}

void CheckProbabilities(std::initializer_list<double> probabilities, const char* names) {
  for (const double probability : probabilities) {
    if (!(probability > 0.0 && probability < 1.0)) {
      throw py::value_error(std::string(names) + " must lie strictly between 0 and 1");
    }
  }
}

void CheckThreshold(std::optional<double> threshold) {
  if (threshold && !(std::isfinite(*threshold) && *threshold > 0.0)) {
    throw py::value_error("the threshold must be a rate above 0");
  }
}

// What applying a fit to rows needs of it, in plain values: the moment
// estimators (each row's eb_me) and the posterior choice with its
// parameters. Python's floats carry every double exactly.
py::dict PriorDict(const RateMoments& moments, const GroupFit& fit) {
  py::dict prior;
  prior["moment_mean"] = moments.Mean;
  prior["moment_variance"] = moments.Variance;
  prior["choice"] = std::string(PriorName(fit));
  prior["alpha"] = fit.Alpha;
  prior["beta"] = fit.Beta;
  prior["pooled_rate"] = fit.PooledRate;
  return prior;
}

struct PriorOfDict {
  RateMoments Moments;
  GroupFit Fit;
};

PriorOfDict PriorOf(const py::dict& prior) {
  PriorOfDict read;
  try {
    for (const char* key : {"moment_mean", "moment_variance", "choice", "alpha", "beta",
                            "pooled_rate"}) {
      if (!prior.contains(key)) throw py::value_error(std::string("the prior has no ") + key);
    }
    read.Moments.Mean = prior["moment_mean"].cast<double>();
    read.Moments.Variance = prior["moment_variance"].cast<double>();
    const auto choice = prior["choice"].cast<std::string>();
    const std::optional<GroupFit> named =
        FitOfPriorName(choice, prior["alpha"].cast<double>(), prior["beta"].cast<double>(),
                       prior["pooled_rate"].cast<double>());
    if (!named) throw py::value_error("the prior's choice " + choice + " is none of the fit's");
    read.Fit = *named;
  } catch (const py::cast_error& error) {
    throw py::value_error(std::string("the prior holds a value of the wrong type: ") +
                          error.what());
  }
  return read;
}

py::dict Fit(const IntArray& count_array, const DoubleArray& expected_array,
             std::optional<double> alpha, std::optional<double> beta, double eps,
             std::int32_t max_iter) {
  const RateRows rows = CheckedRows(count_array, expected_array);
  if (rows.Counts.empty()) throw py::value_error("no regions to fit a prior to");
  const RunSettings settings = FitSettings(alpha, beta, eps, max_iter);
  RateMoments moments;
  PriorFit fit;
  GroupFit chosen;
  {
    py::gil_scoped_release unlocked;
    moments = ComputeRateMoments(rows.Counts, rows.Expected);
    const PoissonGammaData data = MakePoissonGammaData(rows.Counts, rows.Expected);
    fit = FitRatePrior(data, moments, settings, false);
    chosen = ChooseRateFit(static_cast<double>(data.TotalEvents), data.TotalExpected, fit,
                           moments, PriorEstimator::kMle);
  }
  const auto or_nan = [](const std::optional<double>& value) { return value.value_or(kNan); };
  // As the summary table has them: the moment prior only where it is one.
  const bool moment_prior = moments.Alpha > 0.0;
  py::dict result;
  result["mean"] = moments.Mean;
  result["variance"] = moments.Variance;
  result["alpha_me"] = moment_prior ? moments.Alpha : kNan;
  result["beta_me"] = moment_prior ? moments.Beta : kNan;
  result["alpha"] = fit.Prior ? fit.Prior->Alpha : kNan;
  result["beta"] = fit.Prior ? fit.Prior->Beta : kNan;
  result["se_alpha"] = or_nan(fit.SeAlpha);
  result["se_beta"] = or_nan(fit.SeBeta);
  result["loglik"] = or_nan(fit.LogLik);
  result["iterations"] = fit.Iterations;
  result["fit"] = FitLabelText(fit.Label);
  result["boundary"] = FitBoundaryText(fit.Boundary, CountModel::kPoisson);
  result["prior"] = PriorDict(moments, chosen);
  return result;
}

template <typename T>
py::array_t<T> NewColumn(std::size_t rows) {
  return py::array_t<T>(static_cast<py::ssize_t>(rows));
}

// The figures of the CSV table in rates per unit of E, prior and
// discovery coded as _core.smooth codes them.
constexpr std::array<const char*, 8> kFigures = {"raw",   "eb_me",    "eb",  "lower",
                                                 "upper", "p_exceed", "pep", "q_value"};

struct FigureColumns {
  explicit FigureColumns(std::size_t rows)
      : prior(NewColumn<std::int8_t>(rows)), discovery(NewColumn<std::int8_t>(rows)) {
    for (std::size_t f = 0; f < kFigures.size(); ++f) {
      figures.push_back(NewColumn<double>(rows));
      out[f] = figures.back().mutable_data();
    }
    prior_out = prior.mutable_data();
    discovery_out = discovery.mutable_data();
  }

  void Set(std::size_t i, const RecordFigures& row) {
    const std::array<double, kFigures.size()> values = {
        row.Raw, row.EbMe, row.Eb, row.Lower, row.Upper, row.PExceed, row.Pep, row.QValue};
    for (std::size_t f = 0; f < values.size(); ++f) out[f][i] = values[f];
    prior_out[i] = -1;
    const auto names = PriorNames();
    for (std::size_t c = 0; c < names.size(); ++c) {
      if (!row.PriorName.empty() && row.PriorName == names[c]) {
        prior_out[i] = static_cast<std::int8_t>(c);
      }
    }
    discovery_out[i] = row.Discovery ? static_cast<std::int8_t>(*row.Discovery) : -1;
  }

  py::dict Dict() const {
    py::dict columns;
    for (std::size_t f = 0; f < kFigures.size(); ++f) columns[kFigures[f]] = figures[f];
    columns["prior"] = prior;
    columns["discovery"] = discovery;
    return columns;
  }

  std::vector<py::array_t<double>> figures;
  std::array<double*, kFigures.size()> out{};
  py::array_t<std::int8_t> prior;
  py::array_t<std::int8_t> discovery;
  std::int8_t* prior_out = nullptr;
  std::int8_t* discovery_out = nullptr;
};

py::dict Smooth(const IntArray& count_array, const DoubleArray& expected_array,
                const std::optional<IntArray>& unit_array, double level,
                std::optional<double> threshold, double fdr, std::optional<double> alpha,
                std::optional<double> beta, double eps, std::int32_t max_iter,
                unsigned threads) {
  const RateRows rows = CheckedRows(count_array, expected_array);
  std::span<const std::int32_t> units;
  if (unit_array) {
    units = Values(*unit_array, "groups");
    if (units.size() != rows.Counts.size()) {
      throw py::value_error("groups has " + std::to_string(units.size()) +
                            " values but counts has " + std::to_string(rows.Counts.size()));
    }
    for (const std::int32_t unit : units) {
      if (unit < 0) throw py::value_error("group codes must be 0 or more");
    }
  }
  CheckProbabilities({level, fdr}, "level and fdr");
  CheckThreshold(threshold);
  EstimateSettings settings;
  settings.Fit = FitSettings(alpha, beta, eps, max_iter);
  settings.Level = level;
  settings.Threshold = threshold;
  settings.Fdr = fdr;
  const std::size_t count = rows.Counts.size();
  RecordTable records(count);
  for (std::size_t i = 0; i < count; ++i) {
    records[i].Unit = unit_array ? units[i] : -1;
    records[i].Code = static_cast<std::int32_t>(i + 1);
    records[i].Data1 = rows.Counts[i];
  }
  FigureColumns columns(count);
  {
    py::gil_scoped_release unlocked;
    const GroupPlan plan = PlanGroups(records);
    const RateEstimates estimates =
        EstimateRates(rows.Counts, rows.Expected, plan, settings, false, Workers(threads));
    for (std::size_t i = 0; i < count; ++i) columns.Set(i, estimates.Figures[i]);
  }
  return columns.Dict();
}

py::dict Apply(const IntArray& count_array, const DoubleArray& expected_array,
               const py::dict& prior_dict, double level, std::optional<double> threshold) {
  const RateRows rows = CheckedRows(count_array, expected_array);
  CheckProbabilities({level}, "level");
  CheckThreshold(threshold);
  const PriorOfDict prior = PriorOf(prior_dict);
  FigureColumns columns(rows.Counts.size());
  {
    py::gil_scoped_release unlocked;
    for (std::size_t i = 0; i < rows.Counts.size(); ++i) {
      columns.Set(i, RateFiguresOf(rows.Counts[i], rows.Expected[i], prior.Moments, prior.Fit,
                                   level, threshold));
    }
  }
  return columns.Dict();
}

}  // namespace

void RegisterRates(pybind11::module_& m) {
  m.def("rate_fit", &Fit, py::arg("counts"), py::arg("expected"), py::kw_only(),
        py::arg("alpha"), py::arg("beta"), py::arg("eps"), py::arg("max_iter"),
        "One group's gamma prior as a dict, with 'prior' for apply_rate_prior; counts as "
        "int32, expected as float64.");
  m.def("smooth_rates", &Smooth, py::arg("counts"), py::arg("expected"), py::arg("units"),
        py::kw_only(), py::arg("level"), py::arg("threshold"), py::arg("fdr"), py::arg("alpha"),
        py::arg("beta"), py::arg("eps"), py::arg("max_iter"), py::arg("threads"),
        "The rates CSV table's numeric columns (rates per unit of expected) as a dict of "
        "arrays; prior and discovery coded as smooth codes them.");
  m.def("apply_rate_prior", &Apply, py::arg("counts"), py::arg("expected"), py::arg("prior"),
        py::kw_only(), py::arg("level"), py::arg("threshold"),
        "smooth_rates' columns of rows under the 'prior' of rate_fit, q-values NaN and "
        "discovery -1: those are over the whole table.");
}

}  // namespace propsmooth
