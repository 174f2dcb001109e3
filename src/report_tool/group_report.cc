#include "report_tool/group_report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "report/log_report.h"
#include "report/number_format.h"
#include "report_tool/html_text.h"
#include "report_tool/svg_chart.h"

namespace propsmooth {
namespace {

// Tail probabilities of the funnel plot's limits: 95% and 99.8% central.
constexpr double kInner = 0.025;
constexpr double kOuter = 0.001;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

bool PriorIsBeta(const GroupPrior& prior) {
  return IsPositive(prior.Alpha) && IsPositive(prior.Beta);
}

void AppendPercent(double proportion, std::string* out) {
  AppendFixed6(100.0 * proportion, out);
}

// The level as a percentage without trailing zeros: 0.95 -> "95".
std::string LevelText(double level) {
  std::string text;
  AppendDecimal(100.0 * level, 6, &text);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// Every k-th region, k the smallest step that keeps at most `cap` of them.
std::size_t SampleStep(std::size_t count, std::size_t cap) {
  if (cap == 0 || count <= cap) return 1;
  return (count + cap - 1) / cap;
}

void AppendSampleNote(std::size_t count, std::size_t step, std::string* out) {
  if (step == 1) return;
  out->append(" Every ");
  out->append(std::to_string(step));
  out->append("th region is drawn (");
  out->append(std::to_string((count + step - 1) / step));
  out->append(" of ");
  out->append(std::to_string(count));
  out->append(").");
}

void AppendBetaName(const char* name, double alpha, double beta, std::string* out) {
  out->append(name);
  out->append(" Beta(");
  AppendFixed6(alpha, out);
  out->append(", ");
  AppendFixed6(beta, out);
  out->append(")");
}

std::string DotTooltip(const RegionRecord& record) {
  std::string text = "Code ";
  AppendInt(record.Code, &text);
  text.append(": ");
  AppendInt(record.Data1, &text);
  text.append(" of ");
  AppendInt(record.Data2, &text);
  return text;
}

void OpenFigure(std::string* html) { html->append("<figure>"); }

void CloseFigure(const std::string& caption, std::string* html) {
  html->append("<figcaption>");
  html->append(caption);
  html->append("</figcaption></figure>\n");
}

// A legend key: a short coloured sample followed by its text.
void AppendKey(std::string_view css_class, std::string_view text, std::string* out) {
  out->append("<span class=\"key ");
  out->append(css_class);
  out->append("\"></span>");
  AppendEscaped(text, out);
  out->append(" ");
}

void AppendHistogram(const GroupView& group, const std::string& id,
                     std::string* html) {
  const std::vector<RegionRecord>& regions = group.Regions;
  const GroupSummary& summary = group.Summary;
  double low = 0.0;
  double high = 0.0;
  for (const RegionRecord& region : regions) {
    low = std::min(low, region.Proportion);
    high = std::max(high, region.Proportion);
  }
  PlotFrame frame;
  frame.X = NiceRange(low, high);
  const auto bins = static_cast<std::size_t>(std::clamp(
      std::ceil(1.5 * std::sqrt(static_cast<double>(regions.size()))), 5.0, 40.0));
  const double width = (frame.X.Max - frame.X.Min) / static_cast<double>(bins);
  std::vector<std::size_t> counts(bins, 0);
  for (const RegionRecord& region : regions) {
    const double slot = std::floor((region.Proportion - frame.X.Min) / width);
    const auto bin = static_cast<std::size_t>(
        std::clamp(slot, 0.0, static_cast<double>(bins - 1)));
    ++counts[bin];
  }
  const double scale = 1.0 / (static_cast<double>(regions.size()) * width);
  double bar_top = 0.0;
  for (const std::size_t count : counts) {
    bar_top = std::max(bar_top, static_cast<double>(count) * scale);
  }

  struct Curve {
    const char* Class;
    const char* Name;
    double Alpha;
    double Beta;
    std::vector<DataPoint> Points;
  };
  std::vector<Curve> curves;
  const bool fit_ok = summary.Converged == 1 && summary.AlphaMle != MissingValue;
  if (IsPositive(summary.AlphaMe) && IsPositive(summary.BetaMe)) {
    curves.push_back({"me", "ME", summary.AlphaMe, summary.BetaMe, {}});
  }
  if (fit_ok) curves.push_back({"mle", "MLE", summary.AlphaMle, summary.BetaMle, {}});
  constexpr int kSamples = 240;
  double curve_top = 0.0;
  for (Curve& curve : curves) {
    for (int k = 0; k < kSamples; ++k) {
      const double x = frame.X.Min + (frame.X.Max - frame.X.Min) *
                                         (static_cast<double>(k) + 0.5) / kSamples;
      const std::optional<double> density = BetaDensity(curve.Alpha, curve.Beta, x);
      if (!density) continue;
      curve.Points.emplace_back(x, *density);
      curve_top = std::max(curve_top, *density);
    }
  }
  // A density with a pole would flatten the bars; cut it at three times
  // their height (the clip path hides the rest).
  const double top = std::max(bar_top, std::min(curve_top, 3.0 * bar_top));
  frame.Y = NiceRange(0.0, top * 1.05);

  const std::string clip = id + "-hist";
  OpenFigure(html);
  OpenChart(frame, clip, "Histogram of the raw proportions with fitted beta densities",
            html);
  AppendAxes(frame, "raw proportion", "density", html);
  for (std::size_t b = 0; b < bins; ++b) {
    if (counts[b] == 0) continue;
    const double x0 = frame.X.Min + width * static_cast<double>(b);
    AppendBar(frame, clip, x0, x0 + width, 0.0,
              static_cast<double>(counts[b]) * scale, "bar", html);
  }
  for (const Curve& curve : curves) AppendPolyline(frame, clip, curve.Points, curve.Class, html);
  CloseChart(html);

  std::string caption = "Raw proportions (bars, as a density; ";
  caption.append(std::to_string(bins));
  caption.append(" bins) and the fitted prior densities. ");
  for (const Curve& curve : curves) {
    std::string name;
    AppendBetaName(curve.Name, curve.Alpha, curve.Beta, &name);
    AppendKey(curve.Class, name, &caption);
  }
  if (!fit_ok) caption.append("No MLE curve: the fit failed (***). ");
  if (!IsPositive(summary.AlphaMe) || !IsPositive(summary.BetaMe)) {
    caption.append("No ME curve: the moment estimators are not positive. ");
  }
  CloseFigure(caption, html);
}

void AppendShrinkagePlot(const GroupView& group, const GroupPrior& prior,
                         const std::string& id, const SectionLimits& limits,
                         std::string* html) {
  const std::vector<RegionRecord>& regions = group.Regions;
  double low = 0.0;
  double high = 0.0;
  std::int32_t largest = 1;
  for (const RegionRecord& region : regions) {
    const double eb = EbUnderPrior(region, prior.Source);
    low = std::min({low, region.Proportion, eb});
    high = std::max({high, region.Proportion, eb});
    largest = std::max(largest, region.Data2);
  }
  PlotFrame frame;
  frame.X = NiceRange(low, high);
  frame.Y = frame.X;
  const std::string clip = id + "-shrink";
  OpenFigure(html);
  OpenChart(frame, clip, "Shrinkage: raw proportion against EB proportion", html);
  AppendAxes(frame, "raw proportion", "EB proportion", html);
  AppendPolyline(frame, clip, {{frame.X.Min, frame.X.Min}, {frame.X.Max, frame.X.Max}},
                 "diag", html);
  const bool proper = PriorIsBeta(prior);
  const double prior_mean = prior.Alpha / (prior.Alpha + prior.Beta);
  if (proper) {
    AppendPolyline(frame, clip, {{frame.X.Min, prior_mean}, {frame.X.Max, prior_mean}},
                   "prior", html);
  }
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const RegionRecord& region = regions[i];
    // Area in proportion to Data2.
    const double radius =
        1.5 + 6.5 * std::sqrt(static_cast<double>(region.Data2) / static_cast<double>(largest));
    AppendDot(frame, clip, {region.Proportion, EbUnderPrior(region, prior.Source)},
              radius, "dot", DotTooltip(region), html);
  }
  CloseChart(html);

  std::string caption = "Each region's EB proportion (";
  caption.append(PriorSourceText(prior.Source));
  caption.append(" prior) against its raw proportion; dot area in proportion to Data2. ");
  AppendKey("diag", "no shrinkage (y = x)", &caption);
  if (proper) {
    std::string text = "prior mean ";
    AppendFixed6(prior_mean, &text);
    AppendKey("prior", text, &caption);
  } else {
    caption.append("No prior mean: the prior's parameters are not positive, so the "
                   "EB values are no shrinkage towards a mean. ");
  }
  if (prior.Source == PriorSource::kMeAfterFailedFit) {
    caption.append("The ML fit failed: the moment estimators are used instead.");
  }
  AppendSampleNote(regions.size(), step, &caption);
  CloseFigure(caption, html);
}

void AppendFunnelPlot(const GroupView& group, const std::string& id,
                      const SectionLimits& limits, std::string* html) {
  const std::vector<RegionRecord>& regions = group.Regions;
  std::int64_t total_data1 = 0;
  std::int64_t total_data2 = 0;
  std::int32_t smallest = regions.front().Data2;
  std::int32_t largest = regions.front().Data2;
  double low = 0.0;
  double high = 0.0;
  for (const RegionRecord& region : regions) {
    total_data1 += region.Data1;
    total_data2 += region.Data2;
    smallest = std::min(smallest, region.Data2);
    largest = std::max(largest, region.Data2);
    low = std::min(low, region.Proportion);
    high = std::max(high, region.Proportion);
  }
  const double pooled = static_cast<double>(total_data1) / static_cast<double>(total_data2);
  const bool has_limits = pooled > 0.0 && pooled < 1.0;

  // The funnel runs from half the smallest size to the axis' end, at up to
  // 300 sizes; only its part over the regions' sizes sets the vertical
  // range (the clip path cuts the wide mouth).
  PlotFrame frame;
  frame.X = NiceRange(0.0, 1.05 * static_cast<double>(largest));
  const double probabilities[4] = {kOuter, kInner, 1.0 - kInner, 1.0 - kOuter};
  std::vector<DataPoint> curves[4];
  if (has_limits) {
    const std::int64_t first = std::max<std::int64_t>(1, smallest / 2);
    const auto span = std::max<std::int64_t>(0, static_cast<std::int64_t>(frame.X.Max) - first);
    const std::int64_t steps = std::min<std::int64_t>(span, 299);
    std::int64_t previous = 0;
    for (std::int64_t k = 0; k <= steps; ++k) {
      const std::int64_t size =
          steps == 0 ? first
                     : first + static_cast<std::int64_t>(std::llround(
                               static_cast<double>(span) * static_cast<double>(k) /
                               static_cast<double>(steps)));
      if (size == previous) continue;
      previous = size;
      for (int c = 0; c < 4; ++c) {
        const std::optional<double> limit = BinomialControlLimit(size, pooled, probabilities[c]);
        if (!limit) continue;
        curves[c].emplace_back(static_cast<double>(size), *limit);
        if (size < smallest || size > largest) continue;
        low = std::min(low, *limit);
        high = std::max(high, *limit);
      }
    }
  }
  frame.Y = NiceRange(low, high);
  const std::string clip = id + "-funnel";
  OpenFigure(html);
  OpenChart(frame, clip, "Funnel plot: raw proportion against Data2", html);
  AppendAxes(frame, "Data2 (region size)", "raw proportion", html);
  if (has_limits) {
    AppendPolyline(frame, clip, {{frame.X.Min, pooled}, {frame.X.Max, pooled}}, "pooled", html);
    AppendPolyline(frame, clip, curves[0], "lim998", html);
    AppendPolyline(frame, clip, curves[1], "lim95", html);
    AppendPolyline(frame, clip, curves[2], "lim95", html);
    AppendPolyline(frame, clip, curves[3], "lim998", html);
  }
  // Each drawn region is tested against the 99.8% limits at its own size.
  std::map<std::int32_t, std::pair<double, double>> outer;
  std::size_t drawn = 0;
  std::size_t outside = 0;
  const std::size_t step = SampleStep(regions.size(), limits.PlottedPoints);
  for (std::size_t i = 0; i < regions.size(); i += step) {
    const RegionRecord& region = regions[i];
    bool is_outside = false;
    if (has_limits) {
      auto found = outer.find(region.Data2);
      if (found == outer.end()) {
        const double lower = BinomialControlLimit(region.Data2, pooled, kOuter).value_or(-kInfinity);
        const double upper = BinomialControlLimit(region.Data2, pooled, 1.0 - kOuter).value_or(kInfinity);
        found = outer.emplace(region.Data2, std::make_pair(lower, upper)).first;
      }
      is_outside = region.Proportion < found->second.first ||
                   region.Proportion > found->second.second;
    }
    ++drawn;
    if (is_outside) ++outside;
    AppendDot(frame, clip, {static_cast<double>(region.Data2), region.Proportion}, 2.6,
              is_outside ? "dot out" : "dot", DotTooltip(region), html);
  }
  CloseChart(html);

  std::string caption = "Raw proportion against region size. ";
  if (has_limits) {
    std::string text = "pooled proportion ";
    AppendFixed6(pooled, &text);
    AppendKey("pooled", text, &caption);
    AppendKey("lim95", "95% limits", &caption);
    AppendKey("lim998", "99.8% limits", &caption);
    caption.append("(exact binomial, interpolated). ");
    caption.append(std::to_string(outside));
    caption.append(" of ");
    caption.append(std::to_string(drawn));
    caption.append(" drawn regions lie outside the 99.8% limits (red).");
  } else {
    caption.append("No control limits: the pooled proportion ");
    AppendFixed6(pooled, &caption);
    caption.append(" is not between 0 and 1.");
  }
  AppendSampleNote(regions.size(), step, &caption);
  CloseFigure(caption, html);
}

void AppendRegionTable(const GroupView& group, const GroupPrior& prior, double level,
                       const SectionLimits& limits, std::string* html) {
  const std::string level_text = LevelText(level);
  html->append("<table class=\"regions\"><thead><tr><th>Code</th><th>Data1</th>"
               "<th>Data2</th><th>Raw (%)</th><th>EB ME (%)</th><th>EB MLE (%)</th>"
               "<th>");
  html->append(level_text);
  html->append("% lower (%)</th><th>");
  html->append(level_text);
  html->append("% upper (%)</th><th>Note</th></tr></thead><tbody>\n");
  const std::size_t shown = std::min(group.Regions.size(), limits.TableRows);
  for (std::size_t i = 0; i < shown; ++i) {
    const RegionRecord& region = group.Regions[i];
    const CredibleBounds bounds =
        PosteriorInterval(region.Data1, region.Data2, prior.Alpha, prior.Beta, level);
    html->append("<tr><td>");
    AppendInt(region.Code, html);
    html->append("</td><td>");
    AppendInt(region.Data1, html);
    html->append("</td><td>");
    AppendInt(region.Data2, html);
    html->append("</td><td>");
    AppendPercent(region.Proportion, html);
    html->append("</td><td>");
    AppendPercent(region.EbPropMe, html);
    html->append("</td><td>");
    if (region.EbPropMle == MissingValue) {
      html->append("***");
    } else {
      AppendPercent(region.EbPropMle, html);
    }
    html->append("</td>");
    if (bounds.Status == IntervalStatus::kOk) {
      html->append("<td>");
      AppendPercent(bounds.Lower, html);
      html->append("</td><td>");
      AppendPercent(bounds.Upper, html);
      html->append("</td><td></td>");
    } else {
      html->append("<td>\u2014</td><td>\u2014</td><td>");
      AppendEscaped(IntervalStatusText(bounds.Status), html);
      html->append("</td>");
    }
    html->append("</tr>\n");
  }
  html->append("</tbody></table>\n");
  if (shown < group.Regions.size()) {
    html->append("<p class=\"note\">The first ");
    html->append(std::to_string(shown));
    html->append(" of ");
    html->append(std::to_string(group.Regions.size()));
    html->append(" regions are listed; the TSV table (--tsv) holds them all.</p>\n");
  }
}

void AppendPriorNote(const GroupView& group, const GroupPrior& prior, double level,
                     std::string* html) {
  html->append("<p class=\"prior-note\">Prior of the EB proportions in the shrinkage "
               "plot and of the credible intervals: <b>");
  html->append(PriorSourceText(prior.Source));
  html->append("</b>, Alpha = ");
  AppendFixed6(prior.Alpha, html);
  html->append(", Beta = ");
  AppendFixed6(prior.Beta, html);
  html->append(". Region i's posterior is Beta(Data1 + Alpha, Data2 \u2212 Data1 + Beta); "
               "the interval is its equal-tailed ");
  html->append(LevelText(level));
  html->append("% interval.</p>\n");
  if (prior.Source == PriorSource::kMeAfterFailedFit) {
    html->append("<p class=\"warn\">The maximum-likelihood fit failed after ");
    AppendInt(group.Summary.Iterations, html);
    html->append(" iterations (MLE *** above): the plots and intervals fall back to the "
                 "moment estimators.</p>\n");
  }
  if (!PriorIsBeta(prior)) {
    html->append("<p class=\"warn\">No credible intervals: ");
    html->append(prior.Alpha == 0.0 && prior.Beta == 0.0
                     ? "the moment estimators are 0 because the proportions do not vary, "
                       "so there is no prior."
                     : "Alpha or Beta is not positive, which no beta distribution has "
                       "(the proportions vary more than the binomial-beta model allows).");
    html->append("</p>\n");
  }
}

}  // namespace

GroupPrior ChoosePrior(const GroupSummary& summary, PriorEstimator estimator) {
  if (estimator == PriorEstimator::kMe) {
    return {summary.AlphaMe, summary.BetaMe, PriorSource::kMe};
  }
  if (summary.Converged == 1 && summary.AlphaMle != MissingValue) {
    return {summary.AlphaMle, summary.BetaMle, PriorSource::kMle};
  }
  return {summary.AlphaMe, summary.BetaMe, PriorSource::kMeAfterFailedFit};
}

const char* PriorSourceText(PriorSource source) {
  switch (source) {
    case PriorSource::kMle:
      return "MLE";
    case PriorSource::kMe:
      return "ME";
    case PriorSource::kMeAfterFailedFit:
      return "ME (MLE failed)";
  }
  return "";
}

double EbUnderPrior(const RegionRecord& record, PriorSource source) {
  return source == PriorSource::kMle ? record.EbPropMle : record.EbPropMe;
}

GroupShape ClassifyGroup(const GroupView& group) {
  if (group.Regions.size() <= 1) return GroupShape::kSingleRegion;
  const double first = group.Regions.front().Proportion;
  for (const RegionRecord& region : group.Regions) {
    if (region.Proportion != first) return GroupShape::kPlots;
  }
  return GroupShape::kEqualProportions;
}

std::string GroupTitle(const GroupView& group) {
  if (group.SingleGroup) return "All records";
  std::string title = "Unit ";
  AppendInt(group.Unit, &title);
  return title;
}

std::string SectionId(std::size_t index) { return "group-" + std::to_string(index); }

void AppendGroupSection(const GroupView& group, std::size_t index, double eps,
                        PriorEstimator estimator, double level,
                        const SectionLimits& limits, std::string* html) {
  const std::string id = SectionId(index);
  const auto count = static_cast<std::int64_t>(group.Regions.size());
  html->append("<section class=\"group\" id=\"");
  html->append(id);
  html->append("\">\n<h2>");
  html->append(GroupTitle(group));
  html->append(" <small>(");
  html->append(std::to_string(count));
  html->append(count == 1 ? " region" : " regions");
  html->append(")</small></h2>\n");

  // The log's own lines, so the two never disagree.
  std::string log;
  if (group.SingleGroup) {
    WriteGroupSection(count, group.Summary, eps, &log);
  } else {
    WriteUnitSection(group.Unit, count, group.Summary, eps, &log);
  }
  log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
  while (!log.empty() && log.back() == '\n') log.pop_back();
  html->append("<pre class=\"log\">");
  AppendEscaped(log, html);
  html->append("</pre>\n");

  const GroupPrior prior = ChoosePrior(group.Summary, estimator);
  const GroupShape shape = ClassifyGroup(group);
  if (shape == GroupShape::kSingleRegion) {
    html->append("<p class=\"shape\">A single region: one proportion has no spread, so "
                 "no prior can be estimated from it and there is nothing to plot.</p>\n");
  } else if (shape == GroupShape::kEqualProportions) {
    html->append("<p class=\"shape\">All ");
    html->append(std::to_string(count));
    html->append(" regions have the same proportion, ");
    AppendPercent(group.Regions.front().Proportion, html);
    html->append("%: with no spread no prior can be estimated and there is nothing to "
                 "plot.</p>\n");
  }
  AppendPriorNote(group, prior, level, html);
  if (shape == GroupShape::kPlots) {
    html->append("<div class=\"plots\">\n");
    AppendHistogram(group, id, html);
    AppendShrinkagePlot(group, prior, id, limits, html);
    AppendFunnelPlot(group, id, limits, html);
    html->append("</div>\n");
  }
  AppendRegionTable(group, prior, level, limits, html);
  html->append("</section>\n");
}

}  // namespace propsmooth
