#include "html/plot_view.h"

#include <cmath>
#include <cstdint>

#include "html/html_text.h"
#include "html/plot_figure.h"
#include "stats/beta_math.h"
#include "stats/gamma_math.h"
#include "strict_output/number_format.h"

namespace propsmooth {
namespace {

// --per as a reader writes it: whole numbers with thousands separators
// ("100,000"), anything else to six significant digits.
std::string PerText(double per) {
  std::string text;
  if (per >= 1.0 && per < 1e15 && std::floor(per) == per) {
    const std::string digits = std::to_string(static_cast<std::int64_t>(per));
    for (std::size_t i = 0; i < digits.size(); ++i) {
      if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
      text.push_back(digits[i]);
    }
  } else {
    AppendRounded(per, 6, &text);
  }
  return text;
}

std::optional<double> BinomialLimit(double size, double reference, double probability) {
  return BinomialControlLimit(static_cast<std::int64_t>(size), reference, probability);
}

// A value not finite is no value: the figures of rates mark a missing one
// with NaN.
std::optional<double> Shown(double value, double scale) {
  if (std::isnan(value)) return std::nullopt;
  return scale * value;
}

void FillProportions(const GroupView& group, double level, PlotView* view) {
  const GroupFit& fit = group.Fit;
  view->Range = PercentRange;
  for (std::size_t i = 0; i < group.Regions.size(); ++i) {
    const RegionRecord& record = group.Regions[i];
    PlotRegion& region = view->Regions[i];
    region.Value = record.Proportion();
    region.Raw = PercentOf(record.Proportion());
    region.Size = static_cast<double>(record.Data2);
    region.OnFunnel = record.Proportion() >= 0.0 && record.Proportion() <= 1.0;
    if (const std::optional<double> eb = EbUnderFit(record, fit)) {
      region.Eb = PercentOf(*eb);
      const CredibleBounds bounds = IntervalUnderFit(record, fit, level);
      if (bounds.Status == IntervalStatus::kOk) {
        region.Lower = PercentOf(bounds.Lower);
        region.Upper = PercentOf(bounds.Upper);
      }
    }
  }
  if (UsesFittedPrior(fit) || UsesMomentPrior(fit)) {
    view->Density = BetaDensity;
    view->PriorText = std::string(PriorName(fit)) + " Beta(";
    AppendRounded(fit.Alpha, 4, &view->PriorText);
    view->PriorText.append(", ");
    AppendRounded(fit.Beta, 4, &view->PriorText);
    view->PriorText.append(")");
    view->Centre = fit.Alpha / (fit.Alpha + fit.Beta);
  } else if (PoolsCompletely(fit)) {
    view->Centre = fit.PooledRate;
  }

  std::int64_t total_data1 = 0;
  std::int64_t total_data2 = 0;
  for (const RegionRecord& record : group.Regions) {
    total_data1 += record.Data1;
    total_data2 += record.Data2;
  }
  const double pooled = static_cast<double>(total_data1) / static_cast<double>(total_data2);
  FunnelModel& funnel = view->Funnel;
  if (pooled > 0.0 && pooled < 1.0) funnel.Reference = pooled;
  funnel.ReferenceText = "pooled proportion " + BriefPercentWords(pooled) + "%";
  funnel.NoLimits = "No control limits: the pooled proportion " + BriefPercentWords(pooled) +
                    "% is not between 0% and 100%.";
  funnel.SizeTitle = std::string(group.Columns.Size) + " (region size)";
  funnel.Intro = "Raw proportion against region size. ";
  funnel.LimitsKind = "binomial";
  funnel.Limit = BinomialLimit;
}

void FillRates(const GroupView& group, PlotView* view) {
  const GroupFit& fit = group.Fit;
  const RateView& rates = *group.Rates;
  const double per = rates.Per;
  view->Range = NiceRange;
  double events = 0.0;
  double exposure = 0.0;
  for (std::size_t i = 0; i < group.Regions.size(); ++i) {
    const RecordFigures& figures = rates.Figures[i];
    PlotRegion& region = view->Regions[i];
    region.Value = figures.Raw;
    region.Raw = per * figures.Raw;
    region.Eb = Shown(figures.Eb, per);
    if (region.Eb) {
      region.Lower = Shown(figures.Lower, per);
      region.Upper = Shown(figures.Upper, per);
      if (!region.Lower || !region.Upper) region.Lower = region.Upper = std::nullopt;
    }
    region.Size = rates.Expected[i];
    events += static_cast<double>(group.Regions[i].Data1);
    exposure += rates.Expected[i];
  }
  if (UsesFittedPrior(fit) || UsesMomentPrior(fit)) {
    view->Density = GammaDensity;
    view->PriorText = std::string(PriorName(fit)) + " Gamma prior: shape ";
    AppendShown(fit.Alpha, &view->PriorText);
    view->PriorText.append(", rate ");
    AppendShown(fit.Beta, &view->PriorText);
    view->Centre = fit.Alpha / fit.Beta;
  } else if (PoolsCompletely(fit)) {
    view->Centre = fit.PooledRate;
  }

  // Expected counts come from a standard the whole data share: an SMR of 1
  // is what sampling alone would give. Person-time has no such standard,
  // so the group's own pooled rate is the reference.
  FunnelModel& funnel = view->Funnel;
  const double reference = rates.Exposure ? events / exposure : 1.0;
  if (reference > 0.0 && std::isfinite(reference)) funnel.Reference = reference;
  funnel.ReferenceText = rates.Exposure
                             ? "pooled rate " + ValueWords(view->Terms, reference)
                             : std::string("reference SMR 1 (observed = expected)");
  funnel.NoLimits = "No control limits: the group has no events, so its pooled rate is 0.";
  funnel.SizeTitle = std::string(group.Columns.Size) +
                     (rates.Exposure ? " (person-time)" : " (expected count)");
  funnel.Intro = rates.Exposure ? "Raw rate against person-time. "
                                : "Raw SMR (observed / expected) against the expected count. ";
  funnel.LimitsKind = "Poisson";
  funnel.LimitsNote = "The limits are those of Spiegelhalter's funnel plots, about two and "
                      "three standard errors from the reference. ";
  funnel.WholeSizes = false;
  funnel.Limit = PoissonControlLimit;
}

}  // namespace

ValueTerms TermsOf(bool rates, double per, bool exposure) {
  ValueTerms terms;
  if (!rates) return terms;
  terms.Percent = false;
  terms.Scale = per;
  const bool scaled = per != 1.0;
  if (exposure) {
    terms.Singular = "rate";
    terms.Plural = "rates";
    terms.Unit = scaled ? " per " + PerText(per) : std::string();
    terms.TableUnit = scaled ? " (per " + PerText(per) + ")" : std::string(" rate");
    terms.DensityUnit = "unit of rate" + terms.Unit;
  } else {
    terms.Singular = "SMR";
    terms.Plural = "SMRs";
    terms.Unit = scaled ? " \u00d7 " + PerText(per) : std::string();
    terms.TableUnit = scaled ? " SMR (\u00d7 " + PerText(per) + ")" : std::string(" SMR");
    terms.DensityUnit = "unit of SMR" + terms.Unit;
  }
  return terms;
}

void AppendShown(double value, std::string* out) {
  if (std::isfinite(value) && std::fabs(value) >= 1e4 && std::fabs(value) < 1e15) {
    AppendDecimal(value, 0, out);
  } else {
    AppendRounded(value, 4, out);
  }
}

std::string ValueWords(const ValueTerms& terms, double value) {
  if (terms.Percent) return BriefPercentWords(value) + "%";
  std::string text;
  AppendShown(terms.Scale * value, &text);
  text.append(terms.Unit);
  return text;
}

PlotView PlotViewOf(const GroupView& group, double level) {
  PlotView view;
  view.Group = &group;
  view.Level = level;
  view.Regions.resize(group.Regions.size());
  if (group.Rates) {
    view.Terms = TermsOf(true, group.Rates->Per, group.Rates->Exposure);
    FillRates(group, &view);
  } else {
    FillProportions(group, level, &view);
  }
  for (std::size_t i = 0; i < group.Discoveries.size() && i < view.Regions.size(); ++i) {
    view.Regions[i].Discovery = group.Discoveries[i].Discovery;
  }
  return view;
}

std::string RegionTooltip(const PlotView& view, std::size_t i) {
  const GroupView& group = *view.Group;
  const RegionRecord& record = group.Regions[i];
  if (!group.Rates) return DotTooltip(record);
  std::string text = group.CodeIsRow ? "Row " : "Code ";
  AppendInt(record.Code, &text);
  text.append(": ");
  AppendInt(record.Data1, &text);
  text.append(" observed, ");
  AppendRounded(group.Rates->Expected[i], 6, &text);
  text.append(group.Rates->Exposure ? " person-time" : " expected");
  return text;
}

}  // namespace propsmooth
