#include "html/group_report.h"

#include <algorithm>
#include <cstdint>

#include "strict_output/log_report.h"
#include "strict_output/number_format.h"
#include "html/funnel_plot.h"
#include "html/histogram_plot.h"
#include "tabular/csv_table.h"
#include "html/html_text.h"
#include "html/ranked_plot.h"
#include "html/region_table.h"
#include "html/shrinkage_plot.h"

namespace propsmooth {
namespace {

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

// What the fit that does not give up found, and what the CSV table and
// the ranked plot use.
void AppendFitNote(const GroupFit& fit, std::optional<double> threshold, std::string* html) {
  html->append("<p class=\"fit-note\">Fit that does not give up: <b>");
  html->append(FitLabelText(fit.Fit.Label));
  html->append("</b>");
  if (fit.Fit.Prior) {
    html->append(", Alpha = ");
    AppendShortest(fit.Fit.Prior->Alpha, html);
    html->append(", Beta = ");
    AppendShortest(fit.Fit.Prior->Beta, html);
  }
  if (fit.Fit.Boundary != FitBoundary::kNone) {
    html->append(" (");
    AppendEscaped(FitBoundaryText(fit.Fit.Boundary), html);
    html->append(")");
  }
  if (fit.Fit.SizeLower95Unconverged) {
    html->append(". The search for the lower 95% bound of Alpha + Beta did not converge: it "
                 "is left empty");
  }
  html->append(". The ranked plot and the CSV table use ");
  switch (fit.Choice) {
    case FitChoice::kNewton:
    case FitChoice::kSafeguarded:
      html->append("this prior.");
      break;
    case FitChoice::kMe:
      html->append("the moment estimators, as --estimator me asks.");
      break;
    case FitChoice::kCompletePooling:
      html->append("complete pooling: every region gets the common rate ");
      AppendPercent(fit.PooledRate, html);
      html->append("% and the interval of its posterior Beta(sum x + 1/2, sum (n \u2212 x) + "
                   "1/2).</p>\n<p class=\"warn\">These intervals understate the regions' "
                   "spread: they are the common rate's alone.");
      break;
    case FitChoice::kNone:
      html->append("no prior: this group has no posterior.");
      break;
  }
  html->append("</p>\n");
  if (threshold) {
    html->append("<p class=\"note\">Exceedance probabilities, PEPs and q-values at ");
    AppendPercent(*threshold, html);
    html->append("% treat Alpha and Beta as known: the prior's own uncertainty is not in "
                 "them. q-values are over every region of the file.</p>\n");
  }
}

}  // namespace

std::string SectionId(std::size_t index) { return "group-" + std::to_string(index); }

void AppendGroupSection(const GroupView& group, std::size_t index, double eps,
                        PriorEstimator estimator, double level,
                        std::optional<double> threshold, const SectionLimits& limits,
                        std::string* html) {
  const std::string id = SectionId(index);
  const auto count = static_cast<std::int64_t>(group.Regions.size());
  html->append("<section class=\"group\" id=\"");
  html->append(id);
  html->append("\">\n<h2>");
  AppendEscaped(GroupTitle(group), html);
  html->append(" <small>(");
  html->append(std::to_string(count));
  html->append(count == 1 ? " region" : " regions");
  html->append(")</small></h2>\n");

  // The log's own lines, so the two never disagree. A labelled group's
  // Unit is only its place in the data, which the log would show as a
  // number: the heading names it instead.
  std::string log;
  if (group.SingleGroup || group.Label) {
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
  if (group.Fit) AppendFitNote(*group.Fit, threshold, html);
  if (shape == GroupShape::kPlots) {
    html->append("<div class=\"plots\">\n");
    AppendHistogram(group, id, html);
    AppendShrinkagePlot(group, prior, id, limits, html);
    AppendFunnelPlot(group, id, limits, html);
    html->append("</div>\n");
    // Its own row: the three plots above keep theirs at common widths.
    if (group.Fit) {
      html->append("<div class=\"ranked\">\n");
      AppendRankedPlot(group, level, threshold, id, limits, html);
      html->append("</div>\n");
    }
  }
  AppendRegionTable(group, prior, level, limits, html);
  html->append("</section>\n");
}

}  // namespace propsmooth
