#include "sufficient_statistics_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "array_view.h"
#include "fit_result.h"
#include "record_check.h"
#include "stats/discovery.h"
#include "stats/sufficient_statistics.h"

namespace propsmooth {
namespace {

namespace py = pybind11;


template <typename T>
py::array_t<T> ArrayOf(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

// The statistics as a dict of plain values, which Dask carries between
// workers: each histogram as its values and their row counts.
constexpr const char* kHistograms[3] = {"x", "n_minus_x", "n"};

py::dict DictOf(const SufficientStatistics& statistics) {
  const CountHistogram* histograms[3] = {&statistics.Success, &statistics.Failure,
                                         &statistics.Size};
  py::dict dict;
  for (int h = 0; h < 3; ++h) {
    dict[(std::string(kHistograms[h]) + "_values").c_str()] = ArrayOf(histograms[h]->Values);
    dict[(std::string(kHistograms[h]) + "_rows").c_str()] = ArrayOf(histograms[h]->Rows);
  }
  dict["count"] = statistics.Proportions.Count;
  dict["mean"] = statistics.Proportions.Mean;
  dict["m2"] = statistics.Proportions.M2;
  dict["first_x"] = statistics.Fraction.FirstX;
  dict["first_n"] = statistics.Fraction.FirstN;
  dict["equal_proportions"] = statistics.Fraction.Equal;
  return dict;
}

// Refuses, naming the fault, what no regions could have given.
SufficientStatistics StatisticsOf(const py::dict& dict) {
  SufficientStatistics statistics;
  CountHistogram* histograms[3] = {&statistics.Success, &statistics.Failure, &statistics.Size};
  try {
    for (int h = 0; h < 3; ++h) {
      for (const char* part : {"_values", "_rows"}) {
        const std::string key = std::string(kHistograms[h]) + part;
        if (!dict.contains(key)) throw py::value_error("the statistics have no " + key);
        const auto array = dict[key.c_str()].cast<LongArray>();
        const std::span<const std::int64_t> values = Values(array, key.c_str());
        (part[1] == 'v' ? histograms[h]->Values : histograms[h]->Rows)
            .assign(values.begin(), values.end());
      }
    }
    for (const char* key : {"count", "mean", "m2", "first_x", "first_n", "equal_proportions"}) {
      if (!dict.contains(key)) throw py::value_error(std::string("the statistics have no ") + key);
    }
    statistics.Proportions.Count = dict["count"].cast<std::int64_t>();
    statistics.Proportions.Mean = dict["mean"].cast<double>();
    statistics.Proportions.M2 = dict["m2"].cast<double>();
    statistics.Fraction.FirstX = dict["first_x"].cast<std::int64_t>();
    statistics.Fraction.FirstN = dict["first_n"].cast<std::int64_t>();
    statistics.Fraction.Regions = statistics.Proportions.Count;
    statistics.Fraction.Equal = dict["equal_proportions"].cast<bool>();
  } catch (const py::cast_error& error) {
    throw py::value_error(std::string("the statistics hold a value of the wrong type: ") +
                          error.what());
  }
  if (const std::optional<std::string> error = StatisticsError(statistics)) {
    throw py::value_error("not the statistics of any regions: " + *error);
  }
  return statistics;
}

py::dict Statistics(const IntArray& count_array, const IntArray& size_array) {
  const std::span<const std::int32_t> counts = Values(count_array, "counts");
  const std::span<const std::int32_t> sizes = Values(size_array, "sizes");
  CheckRecords(counts, sizes);
  SufficientStatistics statistics;
  {
    py::gil_scoped_release unlocked;
    statistics = StatisticsOfRegions(counts, sizes);
  }
  return DictOf(statistics);
}

py::dict Merge(const py::dict& a, const py::dict& b) {
  return DictOf(MergeStatistics(StatisticsOf(a), StatisticsOf(b)));
}

// What applying a fit to rows needs of it, in plain values: propsmooth's
// moment estimators and ML prior (NaN when its fit failed) and the
// posterior choice with its parameters.
py::dict PriorDict(const StatisticsFit& fit) {
  const double nan = std::nan("");
  py::dict prior;
  prior["alpha_me"] = fit.Summary.AlphaMe;
  prior["beta_me"] = fit.Summary.BetaMe;
  prior["mle_alpha"] = fit.Summary.Mle ? fit.Summary.Mle->Alpha : nan;
  prior["mle_beta"] = fit.Summary.Mle ? fit.Summary.Mle->Beta : nan;
  prior["choice"] = std::string(PriorName(fit.Fit));
  prior["alpha"] = fit.Fit.Alpha;
  prior["beta"] = fit.Fit.Beta;
  prior["pooled_rate"] = fit.Fit.PooledRate;
  return prior;
}

StatisticsFit FitOfPrior(const py::dict& prior) {
  StatisticsFit fit;
  try {
    fit.Summary.AlphaMe = prior["alpha_me"].cast<double>();
    fit.Summary.BetaMe = prior["beta_me"].cast<double>();
    const auto alpha = prior["mle_alpha"].cast<double>();
    const auto beta = prior["mle_beta"].cast<double>();
    if (!std::isnan(alpha) && !std::isnan(beta)) fit.Summary.Mle = BetaPrior{alpha, beta};
    const auto choice = prior["choice"].cast<std::string>();
    std::optional<GroupFit> named =
        FitOfPriorName(choice, prior["alpha"].cast<double>(), prior["beta"].cast<double>(),
                       prior["pooled_rate"].cast<double>());
    if (!named) throw py::value_error("the prior's choice " + choice + " is none of the fit's");
    fit.Fit = *named;
  } catch (const py::error_already_set& error) {
    throw py::value_error(std::string("the prior lacks a value: ") + error.what());
  } catch (const py::cast_error& error) {
    throw py::value_error(std::string("the prior holds a value of the wrong type: ") +
                          error.what());
  }
  return fit;
}

py::dict Fit(const py::dict& statistics_dict, std::optional<double> alpha,
             std::optional<double> beta, double eps, std::int32_t max_iter, bool safeguarded) {
  const SufficientStatistics statistics = StatisticsOf(statistics_dict);
  if (statistics.Proportions.Count == 0) throw py::value_error("no regions to fit a prior to");
  const RunSettings settings = FitSettings(alpha, beta, eps, max_iter);
  StatisticsFit fit;
  {
    py::gil_scoped_release unlocked;
    fit = FitStatistics(statistics, settings, PriorEstimator::kMle, false);
  }
  py::dict result = FitResultDict(fit.Summary, safeguarded ? std::optional(fit.Fit.Fit)
                                                           : std::nullopt);
  result["prior"] = PriorDict(fit);
  return result;
}

py::dict Apply(const IntArray& count_array, const IntArray& size_array, const py::dict& prior,
               double level, std::optional<double> threshold) {
  const std::span<const std::int32_t> counts = Values(count_array, "counts");
  const std::span<const std::int32_t> sizes = Values(size_array, "sizes");
  CheckRecords(counts, sizes);
  for (const double probability : {level, threshold.value_or(0.5)}) {
    if (!(probability > 0.0 && probability < 1.0)) {
      throw py::value_error("level and threshold must lie strictly between 0 and 1");
    }
  }
  const StatisticsFit fit = FitOfPrior(prior);
  const std::size_t rows = counts.size();
  constexpr const char* kFigures[7] = {"raw", "eb_me", "eb", "lower", "upper", "p_exceed", "pep"};
  std::vector<DoubleArray> columns;
  double* out[7];
  for (int f = 0; f < 7; ++f) {
    columns.emplace_back(static_cast<py::ssize_t>(rows));
    out[f] = columns.back().mutable_data();
  }
  py::array_t<bool> named(static_cast<py::ssize_t>(rows));
  bool* named_out = named.mutable_data();
  {
    py::gil_scoped_release unlocked;
    FiguresUnderFit(counts, sizes, fit, level, threshold,
                    [&](std::size_t i, const RecordFigures& row) {
                      const double values[7] = {row.Raw,   row.EbMe,    row.Eb, row.Lower,
                                                row.Upper, row.PExceed, row.Pep};
                      for (int f = 0; f < 7; ++f) out[f][i] = values[f];
                      named_out[i] = !row.PriorName.empty();
                    });
  }
  py::dict result;
  for (int f = 0; f < 7; ++f) result[kFigures[f]] = columns[static_cast<std::size_t>(f)];
  result["named"] = named;
  result["prior_name"] = std::string(PriorName(fit.Fit));
  return result;
}

DoubleArray DistinctQValues(const DoubleArray& pep_array, const LongArray& row_array) {
  const std::span<const double> peps = Values(pep_array, "peps");
  const std::span<const std::int64_t> rows = Values(row_array, "rows");
  if (peps.size() != rows.size()) {
    throw py::value_error("peps has " + std::to_string(peps.size()) + " values but rows has " +
                          std::to_string(rows.size()));
  }
  for (std::size_t j = 0; j < peps.size(); ++j) {
    if (!std::isfinite(peps[j]) || (j > 0 && !(peps[j - 1] < peps[j])) || rows[j] < 1) {
      throw py::value_error("the PEPs must be finite and strictly ascending, each with at "
                            "least one row; not so at position " + std::to_string(j));
    }
  }
  std::vector<double> q;
  {
    py::gil_scoped_release unlocked;
    q = QValuesOfDistinct(peps, rows);
  }
  return ArrayOf(q);
}

}  // namespace

void RegisterSufficientStatistics(pybind11::module_& m) {
  m.def("sufficient_statistics", &Statistics, py::arg("counts"), py::arg("sizes"),
        "What one prior's fit needs of some rows: the histograms of x, n - x and n and "
        "the count, mean and M2 of x/n, as a dict.");
  m.def("merge_sufficient_statistics", &Merge, py::arg("a"), py::arg("b"),
        "The statistics of the rows of both.");
  m.def("fit_sufficient_statistics", &Fit, py::arg("statistics"), py::kw_only(),
        py::arg("alpha"), py::arg("beta"), py::arg("eps"), py::arg("max_iter"),
        py::arg("safeguarded"),
        "fit's dict for all rows of the statistics, with 'prior' for apply_prior.");
  m.def("apply_prior", &Apply, py::arg("counts"), py::arg("sizes"), py::arg("prior"),
        py::kw_only(), py::arg("level"), py::arg("threshold"),
        "The CSV table's figures of rows under a prior of fit_sufficient_statistics, "
        "without q-values; 'named' where the row has a posterior.");
  m.def("q_values_of_distinct", &DistinctQValues, py::arg("peps"), py::arg("rows"),
        "The q-value of each distinct PEP (ascending) given how many rows have it.");
}

}  // namespace propsmooth
