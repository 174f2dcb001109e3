#include "tabular/summary_table.h"

#include <optional>

#include "tabular/csv_table.h"

namespace propsmooth {
namespace {

void AppendCell(std::optional<double> value, std::string* out) {
  out->push_back(',');
  if (value) AppendShortest(*value, out);
}

}  // namespace

void AppendSummaryRow(std::string_view group, std::size_t regions, const GroupSummary& summary,
                      const PriorFit& fit, std::string* out) {
  AppendSummaryRow(group, regions,
                   SummaryMoments{summary.Mean, summary.Variance, summary.AlphaMe, summary.BetaMe},
                   fit, CountModel::kBinomial, out);
}

void AppendSummaryRow(std::string_view group, std::size_t regions, const SummaryMoments& moments,
                      const PriorFit& fit, CountModel model, std::string* out) {
  AppendCsvField(group, out);
  out->push_back(',');
  out->append(std::to_string(regions));
  AppendCell(moments.Mean, out);
  AppendCell(moments.Variance, out);
  AppendCell(moments.AlphaMe, out);
  AppendCell(moments.BetaMe, out);
  AppendCell(fit.Prior ? std::optional(fit.Prior->Alpha) : std::nullopt, out);
  AppendCell(fit.Prior ? std::optional(fit.Prior->Beta) : std::nullopt, out);
  for (const std::optional<double> value :
       {fit.SeAlpha, fit.SeBeta, fit.SeLogitMean, fit.SeLogSize, fit.SizeLower95, fit.LogLik}) {
    AppendCell(value, out);
  }
  out->push_back(',');
  out->append(std::to_string(fit.Iterations));
  out->push_back(',');
  AppendCsvField(FitLabelText(fit.Label), out);
  out->push_back(',');
  AppendCsvField(FitBoundaryText(fit.Boundary, model), out);
  out->push_back('\n');
}

}  // namespace propsmooth
