// propsmooth._core: the estimators of propsmooth and propsmooth-report for
// the Python package, which checks and labels the data before they get
// here. What reaches this module unchecked is refused with ValueError all
// the same: nothing here may end the interpreter.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "estimate/eb.h"
#include "estimate/simd_targets.h"
#include "input/grouping.h"
#include "stats/equal_proportions.h"
#include "stats/group_fit.h"
#include "stats/prior_fit.h"
#include "stats/record_estimates.h"
#include "stats/record_figures.h"
#include "array_view.h"
#include "fit_result.h"
#include "geo_binding.h"
#include "rate_binding.h"
#include "record_check.h"
#include "sufficient_statistics_binding.h"

namespace propsmooth {
namespace {

namespace py = pybind11;


py::dict Fit(const IntArray& count_array, const IntArray& size_array,
             std::optional<double> alpha, std::optional<double> beta, double eps,
             std::int32_t max_iter, bool safeguarded, unsigned threads) {
  const std::span<const std::int32_t> counts = Values(count_array, "counts");
  const std::span<const std::int32_t> sizes = Values(size_array, "sizes");
  CheckRecords(counts, sizes);
  if (counts.empty()) throw py::value_error("no regions to fit a prior to");
  const RunSettings settings = FitSettings(alpha, beta, eps, max_iter);
  GroupWorkspace workspace;
  workspace.Regions.resize(counts.size());
  for (std::size_t i = 0; i < counts.size(); ++i) {
    workspace.Regions[i].Data1 = counts[i];
    workspace.Regions[i].Data2 = sizes[i];
  }
  std::optional<PriorFit> prior_fit;
  {
    py::gil_scoped_release unlocked;
    EstimateGroup(settings, threads != 1, &workspace);
    SettleEqualProportions(ProportionsAllEqual(workspace.Regions), &workspace.Summary);
    if (safeguarded) prior_fit = FitPrior(workspace.Regions, workspace.Summary, settings, false);
  }
  return FitResultDict(workspace.Summary, prior_fit);
}

template <typename T>
py::array_t<T> NewColumn(std::size_t rows) {
  return py::array_t<T>(static_cast<py::ssize_t>(rows));
}

// The code smooth returns for a name of the CSV table's prior column: its
// place in PriorNames(); -1: no posterior.
std::int8_t PriorCode(std::string_view name) {
  if (name.empty()) return -1;
  const auto names = PriorNames();
  for (std::size_t c = 0; c < names.size(); ++c) {
    if (name == names[c]) return static_cast<std::int8_t>(c);
  }
  return -1;
}

// The numeric columns of propsmooth-report's CSV table for the records
// given, as the same core computes them: groups by `units` (first
// appearance from 0, as pd.factorize numbers them), one group of all
// without.
py::dict Smooth(const IntArray& count_array, const IntArray& size_array,
                const std::optional<IntArray>& unit_array, double level,
                std::optional<double> threshold, double fdr, std::optional<double> alpha,
                std::optional<double> beta, double eps, std::int32_t max_iter,
                unsigned threads) {
  const std::span<const std::int32_t> counts = Values(count_array, "counts");
  const std::span<const std::int32_t> sizes = Values(size_array, "sizes");
  CheckRecords(counts, sizes);
  std::span<const std::int32_t> units;
  if (unit_array) {
    units = Values(*unit_array, "groups");
    if (units.size() != counts.size()) {
      throw py::value_error("groups has " + std::to_string(units.size()) +
                            " values but counts has " + std::to_string(counts.size()));
    }
    if (std::any_of(units.begin(), units.end(), [](std::int32_t unit) { return unit < 0; })) {
      throw py::value_error("group codes must be 0 or more");
    }
  }
  for (const double probability : {level, fdr, threshold.value_or(0.5)}) {
    if (!(probability > 0.0 && probability < 1.0)) {
      throw py::value_error("level, fdr and threshold must lie strictly between 0 and 1");
    }
  }
  EstimateSettings settings;
  settings.Fit = FitSettings(alpha, beta, eps, max_iter);
  settings.Level = level;
  settings.Threshold = threshold;
  settings.Fdr = fdr;
  const std::size_t rows = counts.size();

  EstimatedGroups data;
  RecordTable records;
  records.resize(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    records[i].Unit = unit_array ? units[i] : -1;
    records[i].Code = static_cast<std::int32_t>(i + 1);
    records[i].Data1 = counts[i];
    records[i].Data2 = sizes[i];
  }

  constexpr std::array<const char*, 8> kFigures = {
      "raw", "eb_me", "eb", "lower", "upper", "p_exceed", "pep", "q_value"};
  std::vector<py::array_t<double>> figures;
  std::array<double*, kFigures.size()> out{};
  for (std::size_t f = 0; f < kFigures.size(); ++f) {
    figures.push_back(NewColumn<double>(rows));
    out[f] = figures.back().mutable_data();
  }
  py::array_t<std::int8_t> prior = NewColumn<std::int8_t>(rows);
  py::array_t<std::int8_t> discovery = NewColumn<std::int8_t>(rows);
  std::int8_t* prior_out = prior.mutable_data();
  std::int8_t* discovery_out = discovery.mutable_data();
  {
    py::gil_scoped_release unlocked;
    data.Plan = PlanGroups(records);
    EstimateParts parts;
    parts.Fits = true;
    parts.Posteriors = true;
    const RecordEstimates estimates =
        EstimateRecords(settings, parts, Workers(threads), StageProgress(), &records, &data);
    const bool with_threshold = threshold.has_value();
    for (std::size_t i = 0; i < rows; ++i) {
      const RecordFigures row = FiguresOf(
          records[i], FigureSourcesOf(records, data, estimates.Posteriors, i, with_threshold),
          estimates.Posteriors[i]);
      const std::array<double, kFigures.size()> values = {
          row.Raw, row.EbMe, row.Eb, row.Lower, row.Upper, row.PExceed, row.Pep, row.QValue};
      for (std::size_t f = 0; f < values.size(); ++f) out[f][i] = values[f];
      prior_out[i] = PriorCode(row.PriorName);
      discovery_out[i] = row.Discovery ? static_cast<std::int8_t>(*row.Discovery) : -1;
    }
  }
  py::dict columns;
  for (std::size_t f = 0; f < kFigures.size(); ++f) columns[kFigures[f]] = figures[f];
  columns["prior"] = prior;
  columns["discovery"] = discovery;
  return columns;
}

std::vector<std::string> PriorNameList() {
  std::vector<std::string> names;
  for (const std::string_view name : PriorNames()) names.emplace_back(name);
  return names;
}

}  // namespace
}  // namespace propsmooth

PYBIND11_MODULE(_core, m) {
  namespace py = pybind11;
  using propsmooth::IntArray;
  // As the programs do first thing: before any thread runs the kernel. A
  // value the programs refuse fails the import with their words.
  if (std::string error; !propsmooth::CapSimdTargetsFromEnvironment(&error)) {
    throw py::value_error(error);
  }
  m.doc() = "propsmooth's estimators; use the functions of the propsmooth package";
  m.def("fit", &propsmooth::Fit, py::arg("counts"), py::arg("sizes"), py::kw_only(),
        py::arg("alpha"), py::arg("beta"), py::arg("eps"), py::arg("max_iter"),
        py::arg("safeguarded"), py::arg("threads"),
        "One group's fit as a dict; counts and sizes as int32 arrays.");
  m.def("smooth", &propsmooth::Smooth, py::arg("counts"), py::arg("sizes"), py::arg("units"),
        py::kw_only(), py::arg("level"), py::arg("threshold"), py::arg("fdr"), py::arg("alpha"),
        py::arg("beta"), py::arg("eps"), py::arg("max_iter"), py::arg("threads"),
        "The CSV table's numeric columns as a dict of arrays; prior and discovery coded.");
  m.attr("PRIOR_NAMES") = propsmooth::PriorNameList();
  m.def("simd_target", &propsmooth::ActiveSimdTarget,
        "The instruction set the likelihood kernel runs on, as Highway names it.");
  m.def("simd_targets", &propsmooth::AvailableSimdTargets,
        "The instruction sets the kernel may run on here, under any PROPSMOOTH_SIMD cap, best "
        "first.");
  propsmooth::RegisterSufficientStatistics(m);
  propsmooth::RegisterRecordRule(m);
  propsmooth::RegisterRates(m);
  propsmooth::RegisterGeo(m);
}
